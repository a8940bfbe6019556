// AtomicFile: a file that appears under its name only when it is complete.
#pragma once

#include <memory>
#include <string>

/// Owns a temporary file in the destination's folder (so the final rename stays on one file
/// system). Writers fill tempPath(); commit() renames it over the destination. Destroyed without a
/// commit, the temporary is removed and the destination is untouched, so a failed or cancelled
/// write never leaves a truncated file behind. Move-free, one thread at a time.
class AtomicFile {
   public:
    /// Creates the temporary beside finalPath (hidden, with finalPath's name and a random part),
    /// with the permissions a new file gets from the umask. nullptr, and one line in error naming
    /// the path and the reason, when the folder is missing or not writable.
    static std::unique_ptr<AtomicFile> create(const std::string& finalPath, std::string& error);
    ~AtomicFile();
    AtomicFile(const AtomicFile&) = delete;
    AtomicFile& operator=(const AtomicFile&) = delete;

    const std::string& tempPath() const { return m_tempPath; }
    const std::string& finalPath() const { return m_finalPath; }

    /// Flushes the temporary to disk and renames it to the final path. False, with the temporary
    /// removed and the reason in error, when that fails (for example a folder in the way).
    bool commit(std::string& error);
    /// Removes the temporary now (done by the destructor too).
    void discard();

   private:
    AtomicFile() = default;
    std::string m_finalPath;
    std::string m_tempPath;
    bool m_done = false;
};
