// Temporary directories and small file helpers for tests.
#pragma once

#include <string>

namespace testfiles {

/// A fresh directory under the system temp dir, removed with its contents on destruction.
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const std::string& path() const { return m_path; }
    /// path() + "/" + name
    std::string file(const std::string& name) const { return m_path + "/" + name; }

private:
    std::string m_path;
};

void writeText(const std::string& path, const std::string& text);
std::string readText(const std::string& path);
bool exists(const std::string& path);

/// Exit status and output of a finished command.
struct RunResult {
    int status = -1;  ///< exit status, -1 when it did not exit normally
    std::string out;  ///< standard output
    std::string err;  ///< standard error
};

/// Runs a shell command line, capturing standard output and (through a file in scratchDir)
/// standard error.
RunResult runCommand(const std::string& commandLine, const std::string& scratchDir);

/// Directory holding the built programs (build/bin) and the source tree.
std::string binDir();
std::string sourceDir();

}  // namespace testfiles
