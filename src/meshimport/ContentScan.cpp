// ContentScan: lines, tokens and binary blocks of a file's bytes, and the wording of a refusal.
#include "meshimport/ContentScan.h"

#include <algorithm>
#include <cstring>

namespace meshcheck {

namespace {

bool isSpace(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\v' || c == '\f'; }
bool isBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\v' || c == '\f'; }
bool isDigit(char c) { return c >= '0' && c <= '9'; }

/// Index past the digits starting at i.
size_t skipDigits(std::string_view s, size_t i) {
    while (i < s.size() && isDigit(s[i])) ++i;
    return i;
}

}  // namespace

bool isNumber(std::string_view token) {
    size_t i = 0;
    if (i < token.size() && (token[i] == '+' || token[i] == '-')) ++i;
    const size_t intStart = i;
    i = skipDigits(token, i);
    size_t digits = i - intStart;
    if (i < token.size() && token[i] == '.') {
        const size_t fracStart = ++i;
        i = skipDigits(token, i);
        digits += i - fracStart;
    }
    if (digits == 0) return false;
    if (i < token.size() && (token[i] == 'e' || token[i] == 'E')) {
        ++i;
        if (i < token.size() && (token[i] == '+' || token[i] == '-')) ++i;
        const size_t expStart = i;
        i = skipDigits(token, i);
        if (i == expStart) return false;
    }
    return i == token.size();
}

bool isInteger(std::string_view token) {
    size_t i = 0;
    if (i < token.size() && (token[i] == '+' || token[i] == '-')) ++i;
    return i < token.size() && skipDigits(token, i) == token.size();
}

bool parseCount(std::string_view token, uint64_t& value) {
    constexpr uint64_t kClamp = uint64_t(1) << 62;
    size_t i = 0;
    if (i < token.size() && token[i] == '+') ++i;
    if (i >= token.size() || skipDigits(token, i) != token.size()) return false;
    value = 0;
    for (; i < token.size(); ++i) {
        value = value * 10 + static_cast<uint64_t>(token[i] - '0');
        if (value > kClamp) {
            value = kClamp;
            return true;
        }
    }
    return true;
}

bool LineTokens::next(std::string_view& token) {
    size_t i = 0;
    while (i < m_rest.size() && isSpace(m_rest[i])) ++i;
    if (i == m_rest.size()) {
        m_rest = std::string_view();
        return false;
    }
    size_t end = i;
    while (end < m_rest.size() && !isSpace(m_rest[end])) ++end;
    token = m_rest.substr(i, end - i);
    m_rest.remove_prefix(end);
    return true;
}

size_t LineTokens::countRest() {
    size_t count = 0;
    std::string_view token;
    while (next(token)) ++count;
    return count;
}

bool ContentScan::readLine(std::string_view& line) {
    if (atEnd()) return false;
    const char* start = m_data + m_pos;
    const void* lf = std::memchr(start, '\n', m_size - m_pos);
    const size_t length = lf ? static_cast<size_t>(static_cast<const char*>(lf) - start) : m_size - m_pos;
    m_pos += length + (lf ? 1 : 0);
    line = std::string_view(start, length);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    return true;
}

bool ContentScan::readNonBlankLine(std::string_view& line) {
    while (readLine(line))
        if (std::any_of(line.begin(), line.end(), [](char c) { return !isSpace(c); })) return true;
    return false;
}

bool ContentScan::readToken(std::string_view& token) {
    skipWhitespace();
    if (atEnd()) return false;
    const size_t start = m_pos;
    while (m_pos < m_size && !isSpace(m_data[m_pos])) ++m_pos;
    token = std::string_view(m_data + start, m_pos - start);
    return true;
}

void ContentScan::skipWhitespace() {
    while (m_pos < m_size && isSpace(m_data[m_pos])) ++m_pos;
}

bool ContentScan::onlyWhitespaceLeft() {
    skipWhitespace();
    return atEnd();
}

bool ContentScan::endHeaderLine() {
    while (m_pos < m_size && isBlank(m_data[m_pos])) ++m_pos;
    if (m_pos >= m_size || m_data[m_pos] != '\n') return false;
    ++m_pos;
    return true;
}

bool ContentScan::readBytes(size_t n, const char*& bytes) {
    if (n > remaining()) return false;
    bytes = m_data + m_pos;
    m_pos += n;
    return true;
}

size_t ContentScan::lineNumber() const {
    return 1 + static_cast<size_t>(std::count(m_data, m_data + std::min(m_pos, m_size), '\n'));
}

bool ContentScan::numberTokens(uint64_t count, const char* what) {
    std::string_view token;
    for (uint64_t i = 0; i < count; ++i) {
        if (!readToken(token)) return fail(std::string("the file ends inside the ") + what);
        if (!isNumber(token)) return fail(std::string("expected a number in the ") + what + ", found " + shown(token));
    }
    return true;
}

bool ContentScan::fail(const std::string& detail) {
    // The position is past the token or line that failed: a line end just read belongs to it.
    size_t line = lineNumber();
    if (m_pos > 0 && m_pos <= m_size && m_data[m_pos - 1] == '\n' && line > 1) --line;
    m_error = m_name + " is not a valid " + m_label + " file: " + detail + " (line " + std::to_string(line) + ")";
    return false;
}

bool ContentScan::failAtByte(const std::string& detail) {
    m_error = m_name + " is not a valid " + m_label + " file: " + detail + " (byte " + std::to_string(m_pos) + ")";
    return false;
}

bool ContentScan::failPlain(const std::string& text) {
    m_error = m_name + " " + text;
    return false;
}

std::string ContentScan::shown(std::string_view token) {
    constexpr size_t kShownLength = 24;
    std::string text = "'";
    for (size_t i = 0; i < token.size() && i < kShownLength; ++i) {
        const unsigned char c = static_cast<unsigned char>(token[i]);
        text += c >= 0x20 && c < 0x7f ? static_cast<char>(c) : '?';
    }
    if (token.size() > kShownLength) text += "...";
    return text + "'";
}

std::string ContentScan::plain(std::string_view word) {
    constexpr size_t kPlainLength = 32;
    const bool printable = std::all_of(word.begin(), word.end(), [](char c) { return c > 0x20 && c < 0x7f; });
    return printable && word.size() <= kPlainLength ? std::string(word) : shown(word);
}

}  // namespace meshcheck
