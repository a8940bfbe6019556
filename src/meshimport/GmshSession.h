// GmshSession: serialised, silent use of the process-wide gmsh library.
#pragma once

#include <functional>
#include <string>
#include <vector>

/// Runs one piece of work against the gmsh library. gmsh keeps a single global state (one
/// current model, global options), so every use goes through here: a process-wide mutex is held,
/// gmsh is initialised without reading user configuration files, its terminal output is off and
/// its messages are logged. gmsh's errors (thrown by its API, or logged) come back as one line
/// instead of reaching the console. The calling thread's OpenMP thread count, which gmsh changes,
/// is restored afterwards. Any thread; callers are serialised.
class GmshSession {
   public:
    /// Calls work() with gmsh initialised and an empty model; the model is cleared and gmsh
    /// finalised afterwards. work returns false after setting error itself for faults it finds;
    /// an exception out of gmsh becomes false with gmsh's last error (or the exception's text).
    /// True when work returned true and nothing was thrown.
    static bool run(const std::function<bool(std::string& error)>& work, std::string& error);

    /// True, with the first one in error, when gmsh has logged an error during the current run.
    /// Only meaningful inside work().
    static bool loggedError(std::string& error);
};
