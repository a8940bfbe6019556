// GmshSession: one mutex around gmsh's global state, its log turned into our messages.
#include "meshimport/GmshSession.h"

#include <gmsh.h>
#include <omp.h>

#include <exception>
#include <mutex>

#if defined(__SANITIZE_ADDRESS__)
// gmsh 4.8 never frees some of what its STL reader and surface classification allocate (not even
// in gmsh::finalize); the leak checker of sanitizer builds is told to leave the library's own
// allocations alone, so that it still reports ours.
extern "C" __attribute__((visibility("default"), used)) const char* __lsan_default_suppressions() {
    return "leak:libgmsh.so\n";
}
#endif

namespace {

std::mutex& gmshMutex() {
    static std::mutex mutex;
    return mutex;
}

/// Strips gmsh's "Level: " prefix from a logged line when it has that level.
bool takeLevel(const std::string& line, const char* level, std::string& text) {
    const std::string prefix = std::string(level) + ": ";
    if (line.compare(0, prefix.size(), prefix) != 0) return false;
    text = line.substr(prefix.size());
    return true;
}

/// The first logged error, else gmsh's last error, else fallback.
std::string gmshError(const std::string& fallback) {
    std::vector<std::string> log;
    try {
        gmsh::logger::get(log);
    } catch (...) {
    }
    for (const std::string& line : log) {
        std::string text;
        if (takeLevel(line, "Error", text)) return text;
    }
    std::string last;
    try {
        gmsh::logger::getLastError(last);
    } catch (...) {
    }
    return last.empty() ? fallback : last;
}

}  // namespace

bool GmshSession::run(const std::function<bool(std::string& error)>& work, std::string& error) {
    std::lock_guard<std::mutex> lock(gmshMutex());
    error.clear();
    // gmsh sets the calling thread's OpenMP thread count from its own option; the simulator run
    // after an import in the window must keep the count it had.
    const int threads = omp_get_max_threads();
    bool ok = false;
    try {
        // No user configuration files: their options would change what an import gives.
        gmsh::initialize(0, nullptr, false);
        gmsh::option::setNumber("General.Terminal", 0);
        // Errors are logged, not thrown: gmsh meshes inside OpenMP regions, and an exception
        // leaving one ends the process. The log is checked after the work instead.
        gmsh::option::setNumber("General.AbortOnError", 0);
        // Errors and warnings only: the log is read for them, and meshing logs much besides.
        gmsh::option::setNumber("General.Verbosity", 2);
        // One thread keeps the generated meshes the same from run to run.
        gmsh::option::setNumber("General.NumThreads", 1);
        gmsh::logger::start();
        gmsh::clear();
        ok = work(error);
        if (!ok && error.empty()) error = gmshError("gmsh reported no reason");
        if (ok && loggedError(error)) ok = false;
    } catch (const std::exception& e) {
        error = gmshError(e.what());
        ok = false;
    } catch (const std::string& e) {
        error = gmshError(e);
        ok = false;
    } catch (...) {
        error = gmshError("unknown gmsh failure");
        ok = false;
    }
    try {
        gmsh::logger::stop();
        gmsh::clear();
        gmsh::finalize();
    } catch (...) {
    }
    omp_set_num_threads(threads);
    return ok;
}

bool GmshSession::loggedError(std::string& error) {
    std::vector<std::string> log;
    try {
        gmsh::logger::get(log);
    } catch (...) {
        return false;
    }
    for (const std::string& line : log)
        if (takeLevel(line, "Error", error)) return true;
    return false;
}
