// Fuzz target: the openCARP parsers (.pts, .elem, .lon) and the assembly of their result, run on
// the input as each of the three files. What they accept must keep every promise the importer
// relies on: counts as declared, indices in range, finite numbers, one-line refusals.
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "meshimport/CarpFile.h"

namespace {

// The vertex and element counts the .elem and .lon parsers are given.
constexpr size_t kVertices = 64;
constexpr size_t kElements = 4;

void checkRefusal(bool ok, const std::string& error, const std::string& name) {
    if (ok) return;
    if (error.compare(0, name.size(), name) != 0 && error.find(name) == std::string::npos) std::abort();
    if (error.find('\n') != std::string::npos || error.size() > 400) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* bytes, size_t size) {
    const char* data = reinterpret_cast<const char*>(bytes);

    std::vector<vec3> points;
    std::string error;
    const bool pointsOk = parseCarpPoints(data, size, "m.pts", points, error);
    checkRefusal(pointsOk, error, "m.pts");
    if (pointsOk != !points.empty()) std::abort();
    for (const vec3& p : points)
        if (!std::isfinite(p.x) || !std::isfinite(p.y) || !std::isfinite(p.z)) std::abort();

    std::vector<std::array<int, 4>> tets;
    std::vector<int> regions;
    const bool elementsOk = parseCarpElements(data, size, "m.elem", kVertices, tets, regions, error);
    checkRefusal(elementsOk, error, "m.elem");
    if (elementsOk && (tets.empty() || regions.size() != tets.size())) std::abort();
    for (const auto& t : tets)
        for (int v : t)
            if (v < 0 || static_cast<size_t>(v) >= kVertices) std::abort();

    std::vector<vec3> fibres, sheets;
    const bool fibresOk = parseCarpFibres(data, size, "m.lon", kElements, fibres, sheets, error);
    checkRefusal(fibresOk, error, "m.lon");
    if (fibresOk && (fibres.size() != kElements || (!sheets.empty() && sheets.size() != kElements))) std::abort();

    // A parsed mesh assembles or is refused with a reason; what assembles is positively oriented
    // and uses every vertex.
    if (pointsOk && elementsOk && points.size() >= kVertices) {
        ImportedTetMesh mesh;
        MeshImportReport report;
        std::vector<int> newIndexOfOld;
        const bool ok = assembleTetMesh("m.elem", points, tets, mesh, report, newIndexOfOld, error);
        checkRefusal(ok, error, "m.elem");
        if (ok) {
            std::vector<char> used(mesh.points.size(), 0);
            for (const auto& t : mesh.tets)
                for (int v : t) {
                    if (v < 0 || static_cast<size_t>(v) >= mesh.points.size()) std::abort();
                    used[static_cast<size_t>(v)] = 1;
                }
            for (char u : used)
                if (!u) std::abort();
        }
    }
    return 0;
}
