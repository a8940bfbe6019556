// Locale-free token reading, number formatting and atomic file replacement.
#include "io/TextTokens.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <climits>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {
long long g_failWritesAfter = -1;

bool isSpace(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f'; }

/// Longest token that can still be a number; a longer one is refused without parsing.
constexpr size_t kMaxNumberLength = 400;
}  // namespace

void TextReader::skipSpace() {
    while (m_pos < m_text.size()) {
        const char c = m_text[m_pos];
        if (m_commentChar != '\0' && c == m_commentChar) {
            while (m_pos < m_text.size() && m_text[m_pos] != '\n') ++m_pos;
            continue;
        }
        if (!isSpace(c)) break;
        if (c == '\n') ++m_line;
        ++m_pos;
    }
}

bool TextReader::endsToken(char c) const { return isSpace(c) || (m_commentChar != '\0' && c == m_commentChar); }

bool TextReader::atEnd() {
    skipSpace();
    return m_pos >= m_text.size();
}

void TextReader::setError(const std::string& message) {
    if (m_failed) return;
    m_failed = true;
    m_error = message + " (line " + std::to_string(m_line) + ")";
}

bool TextReader::readToken(std::string_view& token) {
    if (m_failed) return false;
    skipSpace();
    if (m_pos >= m_text.size()) return false;
    const size_t start = m_pos;
    while (m_pos < m_text.size() && !endsToken(m_text[m_pos])) ++m_pos;
    token = std::string_view(m_text).substr(start, m_pos - start);
    m_lastTokenEnd = m_pos;
    return true;
}

bool TextReader::readRequiredToken(std::string_view& token) {
    if (m_failed) return false;
    if (readToken(token)) return true;
    setError("unexpected end of file");
    return false;
}

bool TextReader::readInt(int& value) {
    std::string_view token;
    if (!readRequiredToken(token)) return false;
    std::string_view digits = token;
    if (digits.size() > 1 && digits[0] == '+' && digits[1] != '-') digits.remove_prefix(1);
    long long parsed = 0;
    const char* end = digits.data() + digits.size();
    const auto result = std::from_chars(digits.data(), end, parsed);
    if (result.ec != std::errc() || result.ptr != end || parsed < INT_MIN || parsed > INT_MAX) {
        setError("'" + shownToken(token) + "' is not an integer");
        return false;
    }
    value = static_cast<int>(parsed);
    return true;
}

bool TextReader::readReal(double& value) {
    std::string_view token;
    if (!readRequiredToken(token)) return false;
    std::string_view digits = token;
    if (digits.size() > 1 && digits[0] == '+' && digits[1] != '-') digits.remove_prefix(1);
    double parsed = 0.0;
    const char* end = digits.data() + digits.size();
    const auto result = digits.size() <= kMaxNumberLength
                            ? std::from_chars(digits.data(), end, parsed, std::chars_format::general)
                            : std::from_chars_result{digits.data(), std::errc::invalid_argument};
    if (result.ec != std::errc() || result.ptr != end) {
        setError("'" + shownToken(token) + "' is not a number");
        return false;
    }
    if (!std::isfinite(parsed)) {
        setError("'" + shownToken(token) + "' is not a finite number");
        return false;
    }
    value = parsed;
    return true;
}

bool TextReader::readCount(int& count, int tokensPerItem) {
    if (!readInt(count)) return false;
    if (count < 0) {
        setError("negative count " + std::to_string(count));
        return false;
    }
    // Every token needs at least one character and one separator before it.
    const unsigned long long needed = static_cast<unsigned long long>(count) * tokensPerItem * 2ull;
    if (needed > remainingBytes()) {
        setError("count " + std::to_string(count) + " exceeds the data that follows");
        return false;
    }
    return true;
}

std::string shownToken(std::string_view token) {
    static const char kHex[] = "0123456789abcdef";
    std::string shown;
    for (const char c : token.substr(0, TextReader::kShownTokenLength)) {
        const auto byte = static_cast<unsigned char>(c);
        // A binary file must not put control sequences on the user's console, nor a NUL that
        // would cut the message short.
        if (byte > 0x20 && byte < 0x7f) {
            shown += c;
        } else {
            shown += "\\x";
            shown += kHex[byte >> 4];
            shown += kHex[byte & 0xf];
        }
    }
    if (token.size() > TextReader::kShownTokenLength) shown += "...";
    return shown;
}

void appendReal(std::string& out, double value) {
    char buffer[400];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::fixed, 6);
    if (result.ec == std::errc()) {
        out.append(buffer, result.ptr);
    } else {
        out += "0.000000";  // only for magnitudes beyond 1e390, which a double cannot hold
    }
}

void appendVec3Line(std::string& out, const vec3& p) {
    appendReal(out, p.x);
    out += ' ';
    appendReal(out, p.y);
    out += ' ';
    appendReal(out, p.z);
    out += '\n';
}

void appendInt(std::string& out, long long value) {
    char buffer[32];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
    out.append(buffer, result.ptr);
}

void appendPadded(std::string& out, std::string_view text, size_t width) {
    out += text;
    if (text.size() < width) out.append(width - text.size(), ' ');
}

bool readWholeFile(const std::string& path, std::string& text, std::string& error, size_t maxBytes) {
    FILE* file = std::fopen(path.c_str(), "rb");
    if (!file) {
        error = "cannot open " + path + ": " + std::strerror(errno);
        return false;
    }
    text.clear();
    char buffer[65536];
    size_t got;
    bool ok = true;
    while ((got = std::fread(buffer, 1, sizeof buffer, file)) > 0) {
        if (text.size() + got > maxBytes) {
            error = path + " is too large to be read";
            ok = false;
            break;
        }
        text.append(buffer, got);
    }
    if (ok && std::ferror(file)) {
        error = "cannot read " + path;
        ok = false;
    }
    std::fclose(file);
    if (!ok) text.clear();
    return ok;
}

void setWriteFailureAfterBytesForTesting(long long bytes) { g_failWritesAfter = bytes; }

namespace {
/// The file a save must replace: the target of a symbolic link, else the path itself.
std::string resolveTarget(const std::string& path) {
    struct stat info;
    if (lstat(path.c_str(), &info) == 0 && S_ISLNK(info.st_mode)) {
        if (char* real = realpath(path.c_str(), nullptr)) {
            std::string target(real);
            std::free(real);
            return target;
        }
    }
    return path;
}

bool writeAll(int fd, const std::string& content, std::string& error) {
    size_t written = 0;
    while (written < content.size()) {
        size_t chunk = content.size() - written;
        if (g_failWritesAfter >= 0) {
            if (static_cast<long long>(written) >= g_failWritesAfter) {
                error = "write failed (simulated)";
                return false;
            }
            chunk = std::min<size_t>(chunk, static_cast<size_t>(g_failWritesAfter) - written);
        }
        const ssize_t n = ::write(fd, content.data() + written, chunk);
        if (n < 0) {
            if (errno == EINTR) continue;
            error = std::string("write failed: ") + std::strerror(errno);
            return false;
        }
        written += static_cast<size_t>(n);
    }
    return true;
}
}  // namespace

bool writeFileAtomically(const std::string& path, const std::string& content, std::string& error) {
    const std::string target = resolveTarget(path);
    std::string temp = target + ".saving-XXXXXX";
    const int fd = mkstemp(temp.data());
    if (fd < 0) {
        error = "cannot create a temporary file beside " + target + ": " + std::strerror(errno);
        return false;
    }
    // Keep the permissions of the file being replaced; a new file gets the usual 0666 less umask.
    struct stat info;
    mode_t mode;
    if (stat(target.c_str(), &info) == 0) {
        mode = info.st_mode & 07777;
    } else {
        const mode_t mask = umask(0);
        umask(mask);
        mode = 0666 & ~mask;
    }
    if (fchmod(fd, mode) != 0) {
        // A file system without permission bits still takes the data.
    }
    bool ok = writeAll(fd, content, error);
    if (ok && fsync(fd) != 0) {
        error = std::string("cannot flush the file to disk: ") + std::strerror(errno);
        ok = false;
    }
    if (::close(fd) != 0 && ok) {
        error = std::string("cannot close the file: ") + std::strerror(errno);
        ok = false;
    }
    if (ok && std::rename(temp.c_str(), target.c_str()) != 0) {
        error = "cannot replace " + target + ": " + std::strerror(errno);
        ok = false;
    }
    if (!ok) {
        ::unlink(temp.c_str());
        error = "saving " + path + " failed: " + error;
    }
    return ok;
}
