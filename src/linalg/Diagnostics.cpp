// Diagnostics: routes console lines to standard error or to a replaceable sink.
#include "linalg/Diagnostics.h"

#include <cstdio>
#include <mutex>
#include <vector>

namespace {
DiagSink g_sink;
bool g_quiet = false;
// A model loads on a worker thread of the window while the window's own thread may print: the
// sink (a test's capture, say) is called by one thread at a time. Recursive: a sink may print.
std::recursive_mutex g_sinkLock;
}  // namespace

std::string diagVFormat(const char* format, va_list args) {
    va_list copy;
    va_copy(copy, args);
    const int needed = std::vsnprintf(nullptr, 0, format, copy);
    va_end(copy);
    if (needed <= 0) return std::string();
    std::vector<char> buffer(static_cast<size_t>(needed) + 1);
    std::vsnprintf(buffer.data(), buffer.size(), format, args);
    return std::string(buffer.data(), static_cast<size_t>(needed));
}

void diagVPrintf(const char* format, va_list args) {
    if (g_quiet) return;
    std::lock_guard<std::recursive_mutex> hold(g_sinkLock);
    if (!g_sink) {
        std::vfprintf(stderr, format, args);
        std::fflush(stderr);
        return;
    }
    std::string text = diagVFormat(format, args);
    if (!text.empty()) g_sink(text);
}

void diagPrintf(const char* format, ...) {
    va_list args;
    va_start(args, format);
    diagVPrintf(format, args);
    va_end(args);
}

DiagSink setDiagSink(DiagSink sink) {
    std::lock_guard<std::recursive_mutex> hold(g_sinkLock);
    DiagSink previous = std::move(g_sink);
    g_sink = std::move(sink);
    return previous;
}

void setDiagQuiet(bool quiet) { g_quiet = quiet; }

DiagCapture::DiagCapture() {
    m_previous = setDiagSink([this](const std::string& s) { m_text += s; });
}

DiagCapture::~DiagCapture() { setDiagSink(std::move(m_previous)); }
