// ContentScan: a cursor over a file's bytes for the mesh content checks (lines, tokens, binary
// blocks), which words its failures as one line naming the file and the place.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace meshcheck {

/// True for a decimal number: [+-] digits [. digits] [e|E [+-] digits], at least one digit in the
/// mantissa; no "inf", "nan" or hexadecimal forms.
bool isNumber(std::string_view token);

/// True for [+-] digits.
bool isInteger(std::string_view token);

/// A count or index: digits only (a leading '+' allowed); values above 2^62 are clamped to it, so
/// that a caller's bound check refuses them without overflow. False for anything else.
bool parseCount(std::string_view token, uint64_t& value);

/// Whitespace-separated tokens of one line.
class LineTokens {
   public:
    explicit LineTokens(std::string_view line) : m_rest(line) {}
    /// The next token; false when none is left.
    bool next(std::string_view& token);
    /// Number of tokens left (consumes them).
    size_t countRest();

   private:
    std::string_view m_rest;
};

/// Reading position in a file's bytes. The text operations treat space, tab, CR, LF, VT and FF as
/// white space and a line as ending at LF (a CR before it is dropped). Failures set the error
/// given at construction to "NAME is not a valid LABEL file: DETAIL (line N)" and return false,
/// so that checks end with `return scan.fail(...)`.
class ContentScan {
   public:
    ContentScan(const char* data, size_t size, const std::string& name, const char* label, std::string& error)
        : m_data(data), m_size(size), m_name(name), m_label(label), m_error(error) {}

    const char* data() const { return m_data; }
    size_t size() const { return m_size; }
    size_t pos() const { return m_pos; }
    size_t remaining() const { return m_size - m_pos; }
    bool atEnd() const { return m_pos >= m_size; }
    void seek(size_t pos) { m_pos = pos < m_size ? pos : m_size; }

    /// The next line without its end; false at the end of the data.
    bool readLine(std::string_view& line);
    /// The next line that holds more than white space; false when none is left.
    bool readNonBlankLine(std::string_view& line);
    /// The next token, skipping white space and line ends; false at the end of the data.
    bool readToken(std::string_view& token);
    /// Skips white space and line ends.
    void skipWhitespace();
    /// True when only white space is left.
    bool onlyWhitespaceLeft();
    /// Skips blanks to the end of the current line and past its LF, the place where a binary block
    /// starts; false when anything else is on the line or no LF follows.
    bool endHeaderLine();
    /// The next n bytes; false when fewer are left.
    bool readBytes(size_t n, const char*& bytes);
    /// Reads count tokens that must all be numbers; fails naming what ("node coordinates") when the
    /// data ends first or a token is not a number.
    bool numberTokens(uint64_t count, const char* what);

    /// Fails with DETAIL placed by line (text) at the current position.
    bool fail(const std::string& detail);
    /// Fails with DETAIL placed by byte offset (inside binary data).
    bool failAtByte(const std::string& detail);
    /// Fails with a whole message of the form "NAME TEXT" (no place).
    bool failPlain(const std::string& text);
    /// Forgets a failure, for a check that tries a second reading after the first failed.
    void clearError() { m_error.clear(); }

    /// A token as shown in a message: quoted, at most 24 characters, unprintable bytes as '?'.
    static std::string shown(std::string_view token);
    /// A word as written into a message: as it is when short and printable, else as shown().
    static std::string plain(std::string_view word);
    /// "N" for a count in a message.
    static std::string number(uint64_t value) { return std::to_string(value); }

   private:
    size_t lineNumber() const;

    const char* m_data;
    size_t m_size;
    size_t m_pos = 0;
    const std::string& m_name;
    const char* m_label;
    std::string& m_error;
};

/// The .msh check (MshContentCheck.cpp); scan is at the start of the data.
bool checkMshContent(ContentScan& scan);
/// The legacy VTK check (VtkContentCheck.cpp).
bool checkVtkContent(ContentScan& scan);
/// The VTK XML .vtu check (VtuContentCheck.cpp).
bool checkVtuContent(ContentScan& scan);

}  // namespace meshcheck
