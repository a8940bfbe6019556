// Diagnostics: the one printf-style channel for the program's console lines.
#pragma once

#include <cstdarg>
#include <functional>
#include <string>

/// Prints a console line (C format, no newline added) to the current sink: standard error by default.
/// Callable from any thread (one thread at a time reaches the sink); never call it inside a parallel
/// region.
void diagPrintf(const char* format, ...) __attribute__((format(printf, 1, 2)));

/// Same as diagPrintf with a va_list.
void diagVPrintf(const char* format, va_list args);

/// The text diagPrintf would print for format and args, as a string.
std::string diagVFormat(const char* format, va_list args);

/// A sink receives every formatted piece of text exactly as printed.
using DiagSink = std::function<void(const std::string&)>;

/// Replaces the sink; an empty function restores standard error. Returns the previous sink.
DiagSink setDiagSink(DiagSink sink);

/// Silences all output (true) or restores it (false); used by `velmora-cli --quiet`.
void setDiagQuiet(bool quiet);

/// Collects every diagnostic printed while it lives (tests and the CLI use it); restores the
/// previous sink on destruction.
class DiagCapture {
public:
    DiagCapture();
    ~DiagCapture();
    DiagCapture(const DiagCapture&) = delete;
    DiagCapture& operator=(const DiagCapture&) = delete;

    const std::string& text() const { return m_text; }
    bool contains(const std::string& piece) const { return m_text.find(piece) != std::string::npos; }
    void clear() { m_text.clear(); }

private:
    std::string m_text;
    DiagSink m_previous;
};
