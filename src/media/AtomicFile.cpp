// AtomicFile: temporary beside the destination, fsync, rename.
#include "media/AtomicFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <vector>

std::unique_ptr<AtomicFile> AtomicFile::create(const std::string& finalPath, std::string& error) {
    if (finalPath.empty() || finalPath.back() == '/') {
        error = "cannot write '" + finalPath + "': not a file name";
        return nullptr;
    }
    const size_t slash = finalPath.rfind('/');
    const std::string folder = slash == std::string::npos ? std::string() : finalPath.substr(0, slash + 1);
    const std::string name = slash == std::string::npos ? finalPath : finalPath.substr(slash + 1);
    std::string pattern = folder + "." + name + ".XXXXXX";
    std::vector<char> buffer(pattern.begin(), pattern.end());
    buffer.push_back('\0');
    const int fd = mkstemp(buffer.data());
    if (fd < 0) {
        error = "cannot write '" + finalPath + "': " + std::strerror(errno);
        return nullptr;
    }
    // mkstemp makes the file private (0600); the finished file gets what any new file would.
    const mode_t mask = umask(0);
    umask(mask);
    fchmod(fd, 0666 & ~mask);
    close(fd);
    std::unique_ptr<AtomicFile> file(new AtomicFile());
    file->m_finalPath = finalPath;
    file->m_tempPath = buffer.data();
    return file;
}

AtomicFile::~AtomicFile() { discard(); }

bool AtomicFile::commit(std::string& error) {
    if (m_done) {
        error = "cannot write '" + m_finalPath + "': already finished";
        return false;
    }
    const int fd = open(m_tempPath.c_str(), O_RDONLY);
    if (fd >= 0) {
        fsync(fd);
        close(fd);
    }
    if (std::rename(m_tempPath.c_str(), m_finalPath.c_str()) != 0) {
        error = "cannot write '" + m_finalPath + "': " + std::strerror(errno);
        discard();
        return false;
    }
    m_done = true;
    return true;
}

void AtomicFile::discard() {
    if (m_done) return;
    unlink(m_tempPath.c_str());
    m_done = true;
}
