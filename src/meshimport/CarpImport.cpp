// CarpImport: an openCARP mesh read from its files: the parsers of CarpFile, the element
// fibres brought to the points, and the importer's console lines.
#include <cctype>
#include <cstdint>
#include <filesystem>
#include <fstream>

#include "linalg/Diagnostics.h"
#include "meshimport/CarpFile.h"
#include "meshimport/ImportedFibres.h"

namespace {

// Files larger than this are refused before anything reads them, as for every other format.
constexpr std::uint64_t kMaxCarpFileBytes = std::uint64_t(2) << 30;

std::string fileName(const std::string& path) { return std::filesystem::path(path).filename().string(); }

/// The file of the mesh with the given extension: BASE.ext, else BASE.EXT (a mesh named in upper
/// case); "" when neither exists.
std::string siblingFile(const std::string& base, const std::string& extension) {
    std::string upper = extension;
    for (char& c : upper) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    std::error_code ec;
    for (const std::string& ext : {extension, upper})
        if (std::filesystem::exists(base + ext, ec)) return base + ext;
    return "";
}

/// The whole of one file of the mesh; refused when it is missing, not a regular file, empty or
/// over 2 GiB.
bool readCarpFile(const std::string& path, std::string& text, std::string& error) {
    std::error_code ec;
    if (!std::filesystem::is_regular_file(path, ec)) {
        error =
            "cannot open " + path + (std::filesystem::exists(path, ec) ? " (not a regular file)" : " (no such file)");
        return false;
    }
    const std::uintmax_t size = std::filesystem::file_size(path, ec);
    if (ec) {
        error = "cannot open " + path + ": " + ec.message();
        return false;
    }
    if (size == 0) {
        error = fileName(path) + " is empty";
        return false;
    }
    if (size > kMaxCarpFileBytes) {
        error = fileName(path) + " is larger than 2 GiB; such files are not imported";
        return false;
    }
    std::ifstream in(path, std::ios::binary);
    text.assign(static_cast<size_t>(size), '\0');
    if (!in || !in.read(text.data(), static_cast<std::streamsize>(size))) {
        error = "cannot read " + path;
        return false;
    }
    return true;
}

}  // namespace

bool importCarpMesh(const std::string& path, ImportedTetMesh& mesh, MeshImportReport& report, std::string& error) {
    mesh = ImportedTetMesh();
    report = MeshImportReport();
    const std::string base = carpBaseOf(path);
    std::string ptsPath = siblingFile(base, ".pts"), elemPath = siblingFile(base, ".elem");
    if (ptsPath.empty() || elemPath.empty()) {
        const std::string missing = ptsPath.empty() ? fileName(base) + ".pts" : fileName(base) + ".elem";
        error = fileName(path) + ": an openCARP mesh needs its .pts and .elem files; " + missing + " is missing";
        return false;
    }
    const std::string lonPath = siblingFile(base, ".lon");

    std::string text;
    std::vector<vec3> points;
    if (!readCarpFile(ptsPath, text, error) ||
        !parseCarpPoints(text.data(), text.size(), fileName(ptsPath), points, error))
        return false;
    std::vector<std::array<int, 4>> tets;
    std::vector<int> regions;
    if (!readCarpFile(elemPath, text, error) ||
        !parseCarpElements(text.data(), text.size(), fileName(elemPath), points.size(), tets, regions, error))
        return false;
    std::vector<vec3> elementFibres, elementSheets;
    if (!lonPath.empty() &&
        (!readCarpFile(lonPath, text, error) || !parseCarpFibres(text.data(), text.size(), fileName(lonPath),
                                                                 tets.size(), elementFibres, elementSheets, error)))
        return false;
    text = std::string();

    ImportedTetMesh result;
    MeshImportReport outcome;
    std::vector<int> newIndexOfOld;
    if (!assembleTetMesh(fileName(elemPath), std::move(points), std::move(tets), result, outcome, newIndexOfOld, error))
        return false;
    result.regions = std::move(regions);
    result.regionSource = "elem";
    if (!elementFibres.empty()) {
        result.fibres = averageCellDirectionsToPoints(result.points, result.tets, elementFibres);
        if (!elementSheets.empty())
            result.sheets = averageCellDirectionsToPoints(result.points, result.tets, elementSheets);
    }
    const std::string name = fileName(base);
    if (outcome.reorientedTets > 0)
        diagPrintf("import: %d inverted tetrahedra of %s.elem reoriented\n", outcome.reorientedTets, name.c_str());
    if (outcome.droppedNodes > 0)
        diagPrintf("import: %d nodes of %s.pts used by no tetrahedron dropped\n", outcome.droppedNodes, name.c_str());
    mesh = std::move(result);
    report = outcome;
    return true;
}
