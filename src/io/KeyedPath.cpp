// KeyedPath: a file in a shared folder that stands for a file elsewhere.
#include "io/KeyedPath.h"

#include <cstdio>
#include <filesystem>

namespace fs = std::filesystem;

unsigned long long fnv1aHash(const std::string& text) {
    unsigned long long hash = 0xcbf29ce484222325ULL;
    for (unsigned char c : text) {
        hash ^= c;
        hash *= 0x100000001b3ULL;
    }
    return hash;
}

std::string keyedPathIn(const std::string& folder, const std::string& path, const std::string& suffix) {
    if (folder.empty()) return "";
    std::error_code ec;
    fs::path absolute = fs::absolute(path, ec);
    if (ec) absolute = path;
    const std::string key = absolute.lexically_normal().string();
    char hash[17];
    std::snprintf(hash, sizeof hash, "%016llx", fnv1aHash(key));
    return (fs::path(folder) / (fs::path(key).filename().string() + "-" + hash + suffix)).string();
}
