// ChildProcess: fork and exec with limits; between them only async-signal-safe calls.
#include "meshimport/ChildProcess.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cctype>
#include <cerrno>
#include <csignal>
#include <cstring>

namespace {

/// Seconds the hard CPU limit lies beyond the soft one: SIGXCPU first, SIGKILL if it is caught.
constexpr int kCpuHardMargin = 5;

void closeFd(int& fd) {
    if (fd >= 0) ::close(fd);
    fd = -1;
}

/// Child side of a failed step: the errno goes to the parent through the exec pipe, then _exit.
[[noreturn]] void failInChild(int reportFd, int code) {
    const int value = code;
    ssize_t written;
    do {
        written = ::write(reportFd, &value, sizeof value);
    } while (written < 0 && errno == EINTR);
    ::_exit(127);
}

/// The limit to set for resource: soft and hard as asked, but never above the hard limit this
/// process already has (a process cannot raise it, and asking to would make the start fail).
struct rlimit clampedLimit(int resource, std::uint64_t soft, std::uint64_t hard) {
    struct rlimit inherited;
    struct rlimit limit;
    limit.rlim_cur = static_cast<rlim_t>(soft);
    limit.rlim_max = static_cast<rlim_t>(hard);
    if (::getrlimit(resource, &inherited) == 0 && inherited.rlim_max != RLIM_INFINITY) {
        limit.rlim_max = std::min(limit.rlim_max, inherited.rlim_max);
        limit.rlim_cur = std::min(limit.rlim_cur, limit.rlim_max);
    }
    return limit;
}

/// Child side: fd becomes target, open across exec. A descriptor that already is the target
/// (the parent ran with that standard stream closed) only loses its close-on-exec flag.
bool moveTo(int fd, int target) {
    if (fd == target) return ::fcntl(target, F_SETFD, 0) == 0;
    return ::dup2(fd, target) == target;
}

}  // namespace

std::unique_ptr<ChildProcess> ChildProcess::start(const std::vector<std::string>& argv,
                                                  const std::vector<std::string>& env, const std::string& workDir,
                                                  const ChildLimits& limits, std::string& error) {
    error.clear();
    if (argv.empty()) {
        error = "no program to start";
        return nullptr;
    }
    // Everything the child needs is built before fork: after it only async-signal-safe calls.
    std::vector<char*> args, envp;
    for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    for (const std::string& e : env) envp.push_back(const_cast<char*>(e.c_str()));
    envp.push_back(nullptr);
    const char* dir = workDir.empty() ? nullptr : workDir.c_str();
    struct rlimit files;
    const int maxFd =
        ::getrlimit(RLIMIT_NOFILE, &files) == 0 && files.rlim_cur != RLIM_INFINITY && files.rlim_cur < 65536
            ? static_cast<int>(files.rlim_cur)
            : 65536;
    const pid_t parent = ::getpid();
    const struct rlimit noCore = clampedLimit(RLIMIT_CORE, 0, 0);
    const struct rlimit memory = clampedLimit(RLIMIT_DATA, limits.memoryBytes, limits.memoryBytes);
    const struct rlimit cpu = clampedLimit(RLIMIT_CPU, static_cast<std::uint64_t>(limits.cpuSeconds),
                                           static_cast<std::uint64_t>(limits.cpuSeconds) + kCpuHardMargin);
    const struct rlimit fileSize = clampedLimit(RLIMIT_FSIZE, limits.fileBytes, limits.fileBytes);

    int outPipe[2] = {-1, -1}, errPipe[2] = {-1, -1}, execPipe[2] = {-1, -1};
    const int nullFd = ::open("/dev/null", O_RDONLY | O_CLOEXEC);
    if (nullFd < 0 || ::pipe2(outPipe, O_CLOEXEC) != 0 || ::pipe2(errPipe, O_CLOEXEC) != 0 ||
        ::pipe2(execPipe, O_CLOEXEC) != 0) {
        error = std::string("cannot start ") + argv[0] + ": " + std::strerror(errno);
        for (int fd : {nullFd, outPipe[0], outPipe[1], errPipe[0], errPipe[1], execPipe[0], execPipe[1]})
            if (fd >= 0) ::close(fd);
        return nullptr;
    }

    const pid_t pid = ::fork();
    if (pid == 0) {
        const int report = execPipe[1];
        // Its own process group, so that kill() reaches anything it starts; killed with the
        // thread that started it, so that a parent that dies leaves no mesher behind.
        ::setpgid(0, 0);
        if (::prctl(PR_SET_PDEATHSIG, SIGKILL) != 0) failInChild(report, errno);
        if (::getppid() != parent) failInChild(report, ESRCH);
        sigset_t all;
        sigemptyset(&all);
        ::sigprocmask(SIG_SETMASK, &all, nullptr);
        for (int s : {SIGPIPE, SIGINT, SIGTERM, SIGQUIT, SIGXCPU, SIGXFSZ, SIGSEGV, SIGBUS, SIGABRT, SIGCHLD})
            ::signal(s, SIG_DFL);
        if (!moveTo(nullFd, 0) || !moveTo(outPipe[1], 1) || !moveTo(errPipe[1], 2)) failInChild(report, errno);
        // Nothing else of the parent's (sockets of the window system, open projects) reaches the
        // program: every descriptor above the standard three closes on exec.
        if (::syscall(SYS_close_range, 3u, ~0u, 4u /* CLOSE_RANGE_CLOEXEC */) != 0)
            for (int fd = 3; fd < maxFd; ++fd) ::fcntl(fd, F_SETFD, FD_CLOEXEC);
        if (dir && ::chdir(dir) != 0) failInChild(report, errno);
        if (::setrlimit(RLIMIT_CORE, &noCore) != 0) failInChild(report, errno);
        if (limits.memoryBytes > 0 && ::setrlimit(RLIMIT_DATA, &memory) != 0) failInChild(report, errno);
        if (limits.cpuSeconds > 0 && ::setrlimit(RLIMIT_CPU, &cpu) != 0) failInChild(report, errno);
        if (limits.fileBytes > 0 && ::setrlimit(RLIMIT_FSIZE, &fileSize) != 0) failInChild(report, errno);
        ::execve(args[0], args.data(), envp.data());
        failInChild(report, errno);
    }

    ::close(nullFd);
    ::close(outPipe[1]);
    ::close(errPipe[1]);
    ::close(execPipe[1]);
    if (pid < 0) {
        error = std::string("cannot start ") + argv[0] + ": " + std::strerror(errno);
        ::close(outPipe[0]);
        ::close(errPipe[0]);
        ::close(execPipe[0]);
        return nullptr;
    }
    // Both sides set the group, so kill() reaches it whichever runs first.
    ::setpgid(pid, pid);

    std::unique_ptr<ChildProcess> child(new ChildProcess());
    child->m_pid = pid;
    child->m_outFd = outPipe[0];
    child->m_errFd = errPipe[0];
    child->m_keep = limits.outputBytes;
    ::fcntl(child->m_outFd, F_SETFL, ::fcntl(child->m_outFd, F_GETFL) | O_NONBLOCK);
    ::fcntl(child->m_errFd, F_SETFL, ::fcntl(child->m_errFd, F_GETFL) | O_NONBLOCK);

    // The exec pipe closes with a successful exec; otherwise it brings the errno of the step
    // that failed.
    int code = 0;
    ssize_t got;
    do {
        got = ::read(execPipe[0], &code, sizeof code);
    } while (got < 0 && errno == EINTR);
    ::close(execPipe[0]);
    if (got == static_cast<ssize_t>(sizeof code)) {
        error = std::string("cannot start ") + argv[0] + ": " + std::strerror(code);
        child->reap(true);
        return nullptr;
    }
    return child;
}

ChildProcess::~ChildProcess() {
    if (!m_finished) kill();
    closeFd(m_outFd);
    closeFd(m_errFd);
}

void ChildProcess::drain() {
    char buffer[16384];
    for (int* fd : {&m_outFd, &m_errFd}) {
        std::string& kept = fd == &m_outFd ? m_outcome.out : m_outcome.err;
        while (*fd >= 0) {
            const ssize_t got = ::read(*fd, buffer, sizeof buffer);
            if (got > 0) {
                const std::size_t room = m_keep > kept.size() ? m_keep - kept.size() : 0;
                const std::size_t take = std::min(room, static_cast<std::size_t>(got));
                kept.append(buffer, take);
                if (take < static_cast<std::size_t>(got)) m_outcome.outputCut = true;
                continue;
            }
            if (got < 0 && errno == EINTR) continue;
            if (got < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) break;
            closeFd(*fd);  // end of file, or an error that will not go away
        }
    }
}

void ChildProcess::reap(bool block) {
    if (m_finished || m_pid < 0) return;
    siginfo_t info;
    std::memset(&info, 0, sizeof info);
    // Looked at without reaping first: the zombie keeps the process group's number taken while
    // the rest of the group (whatever the program started) is killed.
    int r;
    do {
        r = ::waitid(P_PID, static_cast<id_t>(m_pid), &info, WEXITED | WNOWAIT | (block ? 0 : WNOHANG));
    } while (r < 0 && errno == EINTR);
    if (r != 0 || info.si_pid != m_pid) return;
    ::kill(-m_pid, SIGKILL);
    int status = 0;
    struct rusage usage;
    std::memset(&usage, 0, sizeof usage);
    pid_t done;
    do {
        done = ::wait4(m_pid, &status, 0, &usage);
    } while (done < 0 && errno == EINTR);
    m_finished = true;
    m_outcome.exited = WIFEXITED(status);
    m_outcome.exitCode = m_outcome.exited ? WEXITSTATUS(status) : 0;
    m_outcome.signal = WIFSIGNALED(status) ? WTERMSIG(status) : 0;
    m_outcome.cpuSeconds = static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
                           1e-6 * static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec);
}

bool ChildProcess::poll() {
    if (m_finished) return true;
    drain();
    reap(false);
    if (m_finished) {
        // What it wrote just before it ended; a grandchild holding the pipes open is dead by now.
        drain();
        closeFd(m_outFd);
        closeFd(m_errFd);
    }
    return m_finished;
}

bool ChildProcess::wait(int timeoutMs) {
    // Output is read while waiting, so a child that prints much never blocks on a full pipe.
    // The time limit is measured on the clock: a poll that returns early with output must not
    // count as a whole slice, or a chatty child would seem to run past its time.
    constexpr int kSliceMs = 50;
    const auto start = std::chrono::steady_clock::now();
    while (!poll()) {
        int slice = kSliceMs;
        if (timeoutMs >= 0) {
            const auto waited = std::chrono::duration_cast<std::chrono::milliseconds>(
                                    std::chrono::steady_clock::now() - start)
                                    .count();
            if (waited >= timeoutMs) return false;
            slice = static_cast<int>(std::min<long long>(kSliceMs, timeoutMs - waited));
        }
        struct pollfd fds[2];
        nfds_t count = 0;
        for (int fd : {m_outFd, m_errFd})
            if (fd >= 0) fds[count++] = {fd, POLLIN, 0};
        if (count > 0)
            ::poll(fds, count, slice);
        else
            ::usleep(static_cast<useconds_t>(slice) * 1000);
    }
    return true;
}

void ChildProcess::kill() {
    if (m_finished) return;
    ::kill(-m_pid, SIGKILL);
    ::kill(m_pid, SIGKILL);
    m_outcome.killedByParent = true;
    reap(true);
    drain();
    closeFd(m_outFd);
    closeFd(m_errFd);
}

std::string signalDescription(int signal) {
    switch (signal) {
        case SIGSEGV:
            return "segmentation fault";
        case SIGBUS:
            return "bus error";
        case SIGABRT:
            return "aborted";
        case SIGFPE:
            return "floating-point exception";
        case SIGILL:
            return "illegal instruction";
        case SIGKILL:
            return "killed";
        case SIGTERM:
            return "terminated";
        case SIGXCPU:
            return "CPU time limit exceeded";
        case SIGXFSZ:
            return "file size limit exceeded";
        case SIGPIPE:
            return "broken pipe";
        default:
            break;
    }
    const char* text = ::strsignal(signal);
    std::string name = text ? text : "unknown signal";
    if (!name.empty()) name[0] = static_cast<char>(std::tolower(static_cast<unsigned char>(name[0])));
    return name;
}
