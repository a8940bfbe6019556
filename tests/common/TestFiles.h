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

/// Directory holding the built programs (build/bin) and the source tree.
std::string binDir();
std::string sourceDir();

}  // namespace testfiles
