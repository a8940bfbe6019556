// ImportCopy: mkdtemp folder, a byte-for-byte copy with a size bound, a read-only mapping for the
// content check, removal of the folder.
#include "meshimport/ImportCopy.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <vector>

namespace {

/// Closes a descriptor on every path out.
struct FileDescriptor {
    int fd = -1;
    ~FileDescriptor() {
        if (fd >= 0) ::close(fd);
    }
};

std::string tooLarge(const std::string& name, uint64_t maxBytes) {
    char text[64];
    std::snprintf(text, sizeof text, "%g GiB", static_cast<double>(maxBytes) / (1024.0 * 1024.0 * 1024.0));
    return name + " is larger than " + text + "; files over " + text + " cannot be imported";
}

bool writeAll(int fd, const char* data, size_t size) {
    while (size > 0) {
        const ssize_t written = ::write(fd, data, size);
        if (written < 0 && errno == EINTR) continue;
        if (written <= 0) return false;
        data += written;
        size -= static_cast<size_t>(written);
    }
    return true;
}

}  // namespace

std::unique_ptr<ImportCopy> ImportCopy::create(const std::string& source, const std::string& name,
                                               const std::string& extension, uint64_t maxBytes, std::string& error) {
    FileDescriptor in;
    in.fd = ::open(source.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY);
    if (in.fd < 0) {
        error = "cannot open " + source + " (" + std::strerror(errno) + ")";
        return nullptr;
    }
    struct stat info;
    if (::fstat(in.fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        error = "cannot open " + source + " (not a regular file)";
        return nullptr;
    }
    if (static_cast<uint64_t>(info.st_size) > maxBytes) {
        error = tooLarge(name, maxBytes);
        return nullptr;
    }

    std::error_code ec;
    const std::filesystem::path temp = std::filesystem::temp_directory_path(ec);
    std::string pattern = ((ec ? std::filesystem::path("/tmp") : temp) / "velmora-import-XXXXXX").string();
    std::vector<char> buffer(pattern.begin(), pattern.end());
    buffer.push_back('\0');
    // mkdtemp makes the folder with mode 0700 under a name nobody else can have chosen.
    if (!::mkdtemp(buffer.data())) {
        error = "cannot make a private folder for importing " + name + " in " + pattern.substr(0, pattern.rfind('/')) +
                " (" + std::strerror(errno) + ")";
        return nullptr;
    }
    std::unique_ptr<ImportCopy> copy(new ImportCopy());
    copy->m_folder = buffer.data();
    copy->m_path = copy->m_folder + "/input." + extension;

    FileDescriptor out;
    out.fd = ::open(copy->m_path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (out.fd < 0) {
        error = "cannot copy " + name + " to a private folder (" + std::strerror(errno) + ")";
        return nullptr;
    }
    std::vector<char> chunk(1 << 20);
    uint64_t copied = 0;
    for (;;) {
        const ssize_t got = ::read(in.fd, chunk.data(), chunk.size());
        if (got < 0 && errno == EINTR) continue;
        if (got < 0) {
            error = "cannot read " + source + " (" + std::strerror(errno) + ")";
            return nullptr;
        }
        if (got == 0) break;
        copied += static_cast<uint64_t>(got);
        // The file may have grown since it was measured.
        if (copied > maxBytes) {
            error = tooLarge(name, maxBytes);
            return nullptr;
        }
        if (!writeAll(out.fd, chunk.data(), static_cast<size_t>(got))) {
            error = "cannot copy " + name + " to a private folder (" + std::strerror(errno) + ")";
            return nullptr;
        }
    }
    const int closed = ::close(out.fd);
    out.fd = -1;
    if (closed != 0) {
        error = "cannot copy " + name + " to a private folder (" + std::strerror(errno) + ")";
        return nullptr;
    }
    return copy;
}

ImportCopy::~ImportCopy() {
    std::error_code ec;
    if (!m_folder.empty()) std::filesystem::remove_all(m_folder, ec);
}

bool ImportCopy::withBytes(const std::function<bool(const char* data, size_t size)>& use, std::string& error) const {
    FileDescriptor file;
    file.fd = ::open(m_path.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
    struct stat info;
    if (file.fd < 0 || ::fstat(file.fd, &info) != 0) {
        error = "cannot read the private copy " + m_path + " (" + std::strerror(errno) + ")";
        return false;
    }
    const size_t size = static_cast<size_t>(info.st_size);
    if (size == 0) return use(nullptr, 0);
    void* map = ::mmap(nullptr, size, PROT_READ, MAP_PRIVATE, file.fd, 0);
    if (map == MAP_FAILED) {
        error = "cannot read the private copy " + m_path + " (" + std::strerror(errno) + ")";
        return false;
    }
    ::madvise(map, size, MADV_SEQUENTIAL);
    const bool ok = use(static_cast<const char*>(map), size);
    ::munmap(map, size);
    return ok;
}
