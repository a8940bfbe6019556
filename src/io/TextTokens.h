// Locale-free text tokens: a bounded token reader over a file held in memory, number formatting
// with "." as the decimal separator, and files replaced atomically.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "linalg/vec3.h"

/// Reads whitespace-separated tokens and numbers from a text held in memory. Numbers are parsed
/// without the C or C++ locale, so "." is the decimal separator under any user locale. Every read
/// either yields a complete, finite value or sets the failure state, after which all reads fail;
/// fail() and error() tell why. Not thread-safe; one reader per text.
class TextReader {
public:
    /// Longest token kept for messages; longer tokens are still consumed whole.
    static constexpr size_t kShownTokenLength = 64;

    explicit TextReader(std::string text) : m_text(std::move(text)) {}
    /// A reader for a format with comments: commentChar starts a comment that runs to the end of
    /// its line, also right after a token ("5#five" reads as "5").
    TextReader(std::string text, char commentChar) : m_text(std::move(text)), m_commentChar(commentChar) {}

    /// Next token, or false at the end of the text (fail() stays false: the caller decides whether
    /// the end was expected). The view stays valid as long as the reader.
    bool readToken(std::string_view& token);
    /// Next token as a decimal integer in the range of int (a leading "+" is accepted).
    bool readInt(int& value);
    /// Next token as a finite real ("1.5", "-2e-3"; "nan" and "inf" are refused).
    bool readReal(double& value);
    /// Next token, which must exist (end of text is a failure here).
    bool readRequiredToken(std::string_view& token);
    /// Reads a count and checks that the rest of the text can hold count items of tokensPerItem
    /// tokens each, so that nothing is allocated for data that is not there.
    bool readCount(int& count, int tokensPerItem);

    /// True when the last token read runs up to the very end of the text: a file cut there may
    /// have cut that token too.
    bool lastTokenAtEnd() const { return m_lastTokenEnd == m_text.size() && !m_text.empty(); }

    bool fail() const { return m_failed; }
    bool atEnd();
    /// What made the reader fail, with the line number ("" while it has not failed).
    const std::string& error() const { return m_error; }
    /// Marks the reader failed with a message (the first message is kept).
    void setError(const std::string& message);
    /// 1-based line of the next unread character.
    int line() const { return m_line; }
    size_t remainingBytes() const { return m_text.size() - m_pos; }

private:
    void skipSpace();
    bool endsToken(char c) const;

    std::string m_text;
    size_t m_pos = 0;
    size_t m_lastTokenEnd = 0;
    int m_line = 1;
    bool m_failed = false;
    std::string m_error;
    char m_commentChar = '\0';  ///< '\0': no comments
};

/// Token for a message: its first TextReader::kShownTokenLength bytes, "..." when it is longer,
/// and every byte outside printable ASCII written as \xNN.
std::string shownToken(std::string_view token);

/// Appends value as the C format "%f" would write it in the C locale (six decimals, "." separator).
void appendReal(std::string& out, double value);
/// Appends the three coordinates, separated by spaces, and a newline.
void appendVec3Line(std::string& out, const vec3& p);
/// Appends value as "%d".
void appendInt(std::string& out, long long value);
/// Appends text padded with blanks to width characters (left-aligned field).
void appendPadded(std::string& out, std::string_view text, size_t width);

/// Reads a whole file; false with a message naming the file when it cannot be opened or read.
/// Files above maxBytes are refused rather than read.
bool readWholeFile(const std::string& path, std::string& text, std::string& error, size_t maxBytes = size_t(1) << 31);

/// Writes content to a temporary file beside path, flushes it to disk and renames it over path, so
/// that path holds either its previous content or the complete new content, never a part. A
/// symbolic link at path is followed; the permissions of an existing file are kept. False with a
/// message when any step fails; the temporary file is then removed.
bool writeFileAtomically(const std::string& path, const std::string& content, std::string& error);

/// Test hook: makes the next writes fail once this many bytes of a file have been written
/// (negative: off). Lets tests interrupt a save half-way.
void setWriteFailureAfterBytesForTesting(long long bytes);
