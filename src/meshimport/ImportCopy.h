// ImportCopy: the private copy of a file to import, the only file gmsh is given.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

/// A copy of a file to import in a folder of its own: a fresh folder made by mkdtemp under the
/// temporary directory ($TMPDIR, else /tmp), mode 0700, holding only "input.EXT". gmsh reads this
/// copy instead of the original, so that nothing lying beside the original (gmsh reads FILE.opt
/// beside FILE as a script of its own language) is ever seen, and so that the bytes checked are
/// the bytes read. Owns the folder: the destructor removes it with everything in it. Made by
/// create() only; neither copied nor moved (held by unique_ptr). Any thread.
class ImportCopy {
   public:
    /// Copies source into a new folder as "input." + extension. name is how messages call the
    /// file. A source of more than maxBytes bytes is refused. Null with a one-line reason in
    /// error when the source cannot be read, is too large, or the folder or copy cannot be made;
    /// nothing is left behind then.
    static std::unique_ptr<ImportCopy> create(const std::string& source, const std::string& name,
                                              const std::string& extension, uint64_t maxBytes, std::string& error);
    ~ImportCopy();
    ImportCopy(const ImportCopy&) = delete;
    ImportCopy& operator=(const ImportCopy&) = delete;

    /// The copy's path and its folder.
    const std::string& path() const { return m_path; }
    const std::string& folder() const { return m_folder; }

    /// Calls use(data, size) with the copy's bytes mapped read-only for the duration of the call
    /// and returns its result; false with a reason in error when the copy cannot be mapped.
    bool withBytes(const std::function<bool(const char* data, size_t size)>& use, std::string& error) const;

   private:
    ImportCopy() = default;

    std::string m_folder;
    std::string m_path;
};
