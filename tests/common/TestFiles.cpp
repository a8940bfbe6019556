// Temporary directories and small file helpers for tests.
#include "common/TestFiles.h"

#include <sys/wait.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace testfiles {

TempDir::TempDir() {
    std::string pattern = (std::filesystem::temp_directory_path() / "velmora-test-XXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr) std::abort();
    m_path = pattern;
}

TempDir::~TempDir() {
    std::error_code ec;
    std::filesystem::remove_all(m_path, ec);
}

void writeText(const std::string& path, const std::string& text) {
    std::ofstream out(path, std::ios::binary);
    out << text;
}

std::string readText(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

bool exists(const std::string& path) { return std::filesystem::exists(path); }

RunResult runCommand(const std::string& commandLine, const std::string& scratchDir) {
    const std::string errPath = scratchDir + "/stderr.txt";
    RunResult r;
    FILE* pipe = popen((commandLine + " 2>" + errPath).c_str(), "r");
    if (!pipe) return r;
    char buffer[4096];
    size_t got;
    while ((got = fread(buffer, 1, sizeof buffer, pipe)) > 0) r.out.append(buffer, got);
    const int raw = pclose(pipe);
    r.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    r.err = readText(errPath);
    return r;
}

std::string binDir() { return VELMORA_BIN_DIR; }
std::string sourceDir() { return VELMORA_SOURCE_DIR; }

}  // namespace testfiles
