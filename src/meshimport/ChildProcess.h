// ChildProcess: a program run in a child process with resource limits and bounded output.
#pragma once

#include <sys/types.h>

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

/// Resource limits of a child process; 0 leaves a limit as inherited.
struct ChildLimits {
    std::uint64_t memoryBytes = 0;        ///< RLIMIT_DATA: heap and private writable mappings
    int cpuSeconds = 0;                   ///< RLIMIT_CPU (SIGXCPU at the limit, SIGKILL a few seconds later)
    std::uint64_t fileBytes = 0;          ///< RLIMIT_FSIZE: largest file the child may write
    std::size_t outputBytes = 64 * 1024;  ///< kept of each of standard output and error; the rest is read and dropped
};

/// How a child ended, with what it printed (each stream cut at ChildLimits::outputBytes).
struct ChildOutcome {
    bool exited = false;  ///< true: exitCode is valid; false: it ended by signal
    int exitCode = 0;
    int signal = 0;               ///< the terminating signal when !exited
    bool killedByParent = false;  ///< kill() ended it (cancel or timeout)
    double cpuSeconds = 0.0;      ///< user + system time it used
    std::string out, err;
    bool outputCut = false;  ///< something of out or err was dropped
};

/// One child process: started by start() with argv, environment, working directory and limits
/// applied between fork and exec, its standard input /dev/null and its standard output and error
/// read through pipes. It runs in a process group of its own and is killed when the thread that
/// started it ends. The owner polls (poll) or blocks (wait) until it ends, or kills it (kill);
/// the destructor kills and reaps a child still running, so no zombie or orphan is left.
/// Not thread-safe: one owning thread.
class ChildProcess {
   public:
    /// Starts argv[0] (a path, not searched in PATH) with argv and env ("NAME=value" entries) in
    /// workDir ("" keeps the current one). Returns the running child, or nullptr with a one-line
    /// reason in error when the pipes or the fork fail or the program cannot be executed (the
    /// exec error comes back through a close-on-exec pipe).
    static std::unique_ptr<ChildProcess> start(const std::vector<std::string>& argv,
                                               const std::vector<std::string>& env, const std::string& workDir,
                                               const ChildLimits& limits, std::string& error);
    ~ChildProcess();
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    /// Reads what output is ready and reaps the child if it has ended; never blocks. True once
    /// it has ended (outcome() is then final).
    bool poll();
    /// Blocks up to timeoutMs (negative: without end) until the child ends; true when it has.
    bool wait(int timeoutMs);
    /// Kills the child and anything it started (SIGKILL to its process group) and reaps it.
    void kill();
    bool finished() const { return m_finished; }
    const ChildOutcome& outcome() const { return m_outcome; }

   private:
    ChildProcess() = default;
    void drain();
    void reap(bool block);

    pid_t m_pid = -1;
    int m_outFd = -1, m_errFd = -1;
    std::size_t m_keep = 0;
    bool m_finished = false;
    ChildOutcome m_outcome;
};

/// "segmentation fault" for SIGSEGV and so on: a signal named for a message.
std::string signalDescription(int signal);
