// ModelPaths: load-command extension rule, command-line model names and file filters.
#include "app/ModelPaths.h"

const char* const kWrongModelExtensionMessage = "Please set *ele or *prcdf!";

namespace {

bool endsWith(const std::string& s, const std::string& suffix) {
    return s.size() >= suffix.size() && s.compare(s.size() - suffix.size(), suffix.size(), suffix) == 0;
}

/// The extension after the last '.', if that dot belongs to the file name and not to a directory.
std::string extensionOf(const std::string& path) {
    const size_t dot = path.find_last_of('.');
    const size_t slash = path.find_last_of('/');
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return "";
    return path.substr(dot + 1);
}

std::vector<std::string> split(const std::string& s, char separator) {
    std::vector<std::string> parts;
    size_t start = 0;
    while (start <= s.size()) {
        const size_t end = s.find(separator, start);
        parts.push_back(s.substr(start, end == std::string::npos ? std::string::npos : end - start));
        if (end == std::string::npos) break;
        start = end + 1;
    }
    return parts;
}

}  // namespace

bool modelBaseFromChosenFile(const std::string& path, std::string& basePath) {
    const std::string extension = extensionOf(path);
    if (extension == "ele") {
        basePath = path.substr(0, path.size() - 4);
        return true;
    }
    if (extension == "vm") {
        basePath = path.substr(0, path.size() - 3);
        return true;
    }
    return false;
}

std::string modelBaseFromArgument(const std::string& argument) {
    for (const char* suffix : {".ele", ".vm", ".node"})
        if (endsWith(argument, suffix) && extensionOf(argument) == std::string(suffix + 1))
            return argument.substr(0, argument.size() - std::string(suffix).size());
    return argument;
}

std::vector<FileFilterEntry> parseFileFilter(const std::string& filter) {
    std::vector<FileFilterEntry> entries;
    const std::vector<std::string> parts = split(filter, '|');
    for (size_t i = 0; i + 1 < parts.size(); i += 2) {
        if (parts[i].empty()) break;
        FileFilterEntry entry;
        entry.description = parts[i];
        for (const std::string& pattern : split(parts[i + 1], ';'))
            if (!pattern.empty()) entry.patterns.push_back(pattern);
        entries.push_back(entry);
    }
    return entries;
}

std::string qtFileFilter(const std::string& filter) {
    std::string result;
    for (const FileFilterEntry& entry : parseFileFilter(filter)) {
        std::string description = entry.description;
        const size_t paren = description.find(" (");
        if (paren != std::string::npos && !description.empty() && description.back() == ')') description.erase(paren);
        std::string patterns;
        for (const std::string& p : entry.patterns) patterns += (patterns.empty() ? "" : " ") + p;
        if (!result.empty()) result += ";;";
        result += description + " (" + patterns + ")";
    }
    return result;
}
