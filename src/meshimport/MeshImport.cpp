// MeshImport: gmsh reads the file; tetrahedra are taken, checked against the TetGen reader's
// guards, renumbered and oriented here; a closed surface is filled by gmsh's Delaunay mesher.
#include "meshimport/MeshImport.h"

#include <gmsh.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <unordered_map>

#include "linalg/Diagnostics.h"
#include "mesh/TetMeshLimits.h"
#include "mesh/Tetra.h"
#include "meshimport/CarpFile.h"
#include "meshimport/GmshSession.h"
#include "meshimport/ImportCopy.h"
#include "meshimport/MeshContentCheck.h"
#include "meshimport/SurfaceMeasure.h"
#include "meshimport/VtkLibraryReader.h"

namespace {

constexpr double kPi = 3.14159265358979323846;
// A filled surface aims at this many vertices when no element size is given; more than a handful
// of attempts are never needed because each corrects the size by the cube root of the miss.
constexpr int kTargetVertices = 7000;
constexpr int kMinAutoVertices = 5000;
constexpr int kMaxAutoVertices = 10000;
constexpr int kMaxSizeAttempts = 4;
// Vertices per unit volume of gmsh's Delaunay meshes at element size h are about
// kVertexDensity / h^3 (measured on spheres and heart-shaped shells).
constexpr double kVertexDensity = 1.15;
// Vertices per unit area of the surface gmsh lays out at element size h before filling it:
// about kSurfaceVertexDensity / h^2 (equilateral triangles, two per vertex).
constexpr double kSurfaceVertexDensity = 1.15;
// A given element size that would fill the surface with more vertices than this is refused
// before meshing starts: it could run for hours.
constexpr double kMaxFilledVertices = 2.0e6;
// Files larger than this are refused before anything reads them.
constexpr uint64_t kMaxImportBytes = uint64_t(2) << 30;

std::string fileName(const std::string& path) { return std::filesystem::path(path).filename().string(); }

void replaceAll(std::string& text, const std::string& from, const std::string& to) {
    if (from.empty()) return;
    for (size_t at = text.find(from); at != std::string::npos; at = text.find(from, at + to.size()))
        text.replace(at, from.size(), to);
}

/// "1.15e+09" for a count too large for %g to matter, also beyond the range of double, from its
/// decimal logarithm.
std::string roughCount(double log10Count) {
    if (!std::isfinite(log10Count)) return "inf";
    const double exponent = std::floor(log10Count);
    char text[48];
    if (exponent < 300.0)
        std::snprintf(text, sizeof text, "%.3g", std::pow(10.0, log10Count));
    else
        std::snprintf(text, sizeof text, "%.3ge+%.0f", std::pow(10.0, log10Count - exponent), exponent);
    return text;
}

/// "3 hexahedra" for 3 of "Hexahedron 8", and so on: a count of volume elements in a message.
std::string elementCount(size_t count, const std::string& gmshName) {
    static const char* const kinds[][3] = {{"Hexahedron", "hexahedron", "hexahedra"},
                                           {"Prism", "prism", "prisms"},
                                           {"Pyramid", "pyramid", "pyramids"},
                                           {"Trihedron", "trihedron", "trihedra"}};
    for (const auto& kind : kinds)
        if (gmshName.compare(0, std::strlen(kind[0]), kind[0]) == 0)
            return std::to_string(count) + " " + kind[count == 1 ? 1 : 2];
    return std::to_string(count) + " '" + gmshName + "'";
}

/// All nodes of the current gmsh model: tag -> row in coords (x, y, z per row).
struct NodeTable {
    std::vector<double> coords;
    std::unordered_map<std::size_t, int> rowOfTag;
    std::vector<std::size_t> tags;

    void load() {
        std::vector<double> parametric;
        gmsh::model::mesh::getNodes(tags, coords, parametric, -1, -1, false, false);
        rowOfTag.reserve(tags.size());
        for (size_t i = 0; i < tags.size(); ++i) rowOfTag.emplace(tags[i], static_cast<int>(i));
    }
    int row(std::size_t tag) const {
        const auto it = rowOfTag.find(tag);
        return it == rowOfTag.end() ? -1 : it->second;
    }
};

/// Elements of one dimension grouped by gmsh type.
struct ElementGroups {
    std::vector<int> types;
    std::vector<std::vector<std::size_t>> nodeTags;
    std::vector<std::string> names;
    std::vector<int> nodesPerElement;
    std::vector<int> cornersPerElement;

    void load(int dim) {
        std::vector<std::vector<std::size_t>> elementTags;
        gmsh::model::mesh::getElements(types, elementTags, nodeTags, dim, -1);
        for (int type : types) {
            std::string name;
            int d = 0, order = 0, nodes = 0, primary = 0;
            std::vector<double> local;
            gmsh::model::mesh::getElementProperties(type, name, d, order, nodes, local, primary);
            names.push_back(name);
            nodesPerElement.push_back(nodes);
            cornersPerElement.push_back(primary);
        }
    }
    size_t count(size_t group) const {
        return nodesPerElement[group] > 0 ? nodeTags[group].size() / static_cast<size_t>(nodesPerElement[group]) : 0;
    }
    bool isTetrahedron(size_t group) const {
        return names[group].compare(0, 11, "Tetrahedron") == 0 && cornersPerElement[group] == 4;
    }
    bool isTriangle(size_t group) const {
        return names[group].compare(0, 8, "Triangle") == 0 && cornersPerElement[group] == 3;
    }
};

/// Takes the tetrahedra of the current gmsh model into mesh: refuses other volume elements,
/// checks the guards, renumbers the used nodes in ascending tag order and orients every
/// tetrahedron positively.
bool takeTetrahedra(const std::string& name, ImportedTetMesh& mesh, MeshImportReport& report, std::string& error) {
    ElementGroups volume;
    volume.load(3);
    size_t tetCount = 0;
    std::string others;
    size_t otherCount = 0;
    for (size_t g = 0; g < volume.types.size(); ++g) {
        if (volume.isTetrahedron(g)) {
            tetCount += volume.count(g);
            if (volume.nodesPerElement[g] > 4) report.higherOrderTets += static_cast<int>(volume.count(g));
        } else {
            otherCount += volume.count(g);
            others += (others.empty() ? "" : ", ") + elementCount(volume.count(g), volume.names[g]);
        }
    }
    if (otherCount > 0) {
        error = name + " has " + others + (tetCount ? " besides " + std::to_string(tetCount) + " tetrahedra" : "") +
                "; only tetrahedral meshes can be imported";
        return false;
    }
    if (tetCount == 0) {
        error = name + " contains no tetrahedra";
        return false;
    }
    if (static_cast<long long>(tetCount) > kMaxTetMeshCount) {
        error = name + " has " + std::to_string(tetCount) + " tetrahedra, more than the " +
                std::to_string(kMaxTetMeshCount) + " a model can hold";
        return false;
    }

    NodeTable nodes;
    nodes.load();
    // Used nodes in ascending tag order: the numbering does not depend on the element order.
    std::vector<std::pair<std::size_t, int>> used;  // (tag, node row)
    std::vector<std::array<int, 4>> cornerRows;
    cornerRows.reserve(tetCount);
    for (size_t g = 0; g < volume.types.size(); ++g) {
        const size_t stride = static_cast<size_t>(volume.nodesPerElement[g]);
        const std::vector<std::size_t>& tags = volume.nodeTags[g];
        for (size_t e = 0; e + stride <= tags.size(); e += stride) {
            std::array<int, 4> rows{};
            for (int k = 0; k < 4; ++k) {
                rows[k] = nodes.row(tags[e + k]);
                if (rows[k] < 0) {
                    error =
                        name + ": a tetrahedron names node " + std::to_string(tags[e + k]) + ", which is not defined";
                    return false;
                }
            }
            cornerRows.push_back(rows);
        }
    }
    std::vector<int> newIndex(nodes.tags.size(), -1);
    for (const auto& rows : cornerRows)
        for (int r : rows) newIndex[r] = 0;
    for (size_t r = 0; r < nodes.tags.size(); ++r)
        if (newIndex[r] == 0) used.emplace_back(nodes.tags[r], static_cast<int>(r));
    std::sort(used.begin(), used.end());
    if (static_cast<long long>(used.size()) > kMaxTetMeshCount) {
        error = name + " has " + std::to_string(used.size()) + " vertices, more than the " +
                std::to_string(kMaxTetMeshCount) + " a model can hold";
        return false;
    }

    mesh.points.resize(used.size());
    vec3 lo, hi;
    for (size_t i = 0; i < used.size(); ++i) {
        const int r = used[i].second;
        newIndex[r] = static_cast<int>(i);
        const vec3 p(nodes.coords[3 * r], nodes.coords[3 * r + 1], nodes.coords[3 * r + 2]);
        for (int a = 0; a < 3; ++a) {
            if (!std::isfinite(p[a]) || std::fabs(p[a]) > kMaxTetMeshCoordinate) {
                char text[96];
                std::snprintf(text, sizeof text, " has coordinate %g, beyond +-1e60", p[a]);
                error = name + ": node " + std::to_string(used[i].first) + text;
                return false;
            }
        }
        if (i == 0) lo = hi = p;
        for (int a = 0; a < 3; ++a) {
            lo[a] = std::min(lo[a], p[a]);
            hi[a] = std::max(hi[a], p[a]);
        }
        mesh.points[i] = p;
    }
    const double extent = std::max({hi.x - lo.x, hi.y - lo.y, hi.z - lo.z});
    if (extent > 0.0 && extent < kMinTetMeshExtent) {
        error = name + ": the vertices span less than the 1e-60 a mesh needs to be scaled";
        return false;
    }
    report.droppedNodes = static_cast<int>(nodes.tags.size() - used.size());
    if (!report.meshedFromSurface)
        for (int dim = 0; dim < 3; ++dim) {
            ElementGroups lower;
            lower.load(dim);
            for (size_t g = 0; g < lower.types.size(); ++g) report.ignoredElements += static_cast<int>(lower.count(g));
        }

    mesh.tets.resize(cornerRows.size());
    for (size_t j = 0; j < cornerRows.size(); ++j) {
        std::array<int, 4> t;
        for (int k = 0; k < 4; ++k) t[k] = newIndex[cornerRows[j][k]];
        if (signedVolume6(mesh.points[t[0]], mesh.points[t[1]], mesh.points[t[2]], mesh.points[t[3]]) < 0.0) {
            std::swap(t[2], t[3]);
            ++report.reorientedTets;
        }
        mesh.tets[j] = t;
    }
    return true;
}

/// Measures the triangles of the current model; false with a reason for other surface elements,
/// no triangles, an open or non-manifold surface, or a coordinate beyond the mesh guards.
bool checkClosedSurface(const std::string& name, SurfaceMeasure& measure, int& triangleCount, std::string& error) {
    ElementGroups surface;
    surface.load(2);
    NodeTable nodes;
    nodes.load();
    std::vector<std::array<int, 3>> triangles;
    std::string others;
    for (size_t g = 0; g < surface.types.size(); ++g) {
        if (!surface.isTriangle(g)) {
            others += (others.empty() ? "" : ", ") + std::to_string(surface.count(g)) + " '" + surface.names[g] + "'";
            continue;
        }
        const size_t stride = static_cast<size_t>(surface.nodesPerElement[g]);
        const std::vector<std::size_t>& tags = surface.nodeTags[g];
        for (size_t e = 0; e + stride <= tags.size(); e += stride) {
            std::array<int, 3> tri{};
            for (int k = 0; k < 3; ++k) tri[k] = nodes.row(tags[e + k]);
            if (tri[0] < 0 || tri[1] < 0 || tri[2] < 0) {
                error = name + ": a triangle names a node that is not defined";
                return false;
            }
            triangles.push_back(tri);
        }
    }
    if (triangles.empty()) {
        error = name + " is not a mesh: it holds no tetrahedra and no surface triangles";
        return false;
    }
    if (!others.empty()) {
        error = name + " has surface elements other than triangles (" + others +
                "); only a triangulated surface can be filled";
        return false;
    }
    std::vector<vec3> points(nodes.tags.size());
    for (size_t r = 0; r < points.size(); ++r)
        points[r] = vec3(nodes.coords[3 * r], nodes.coords[3 * r + 1], nodes.coords[3 * r + 2]);
    for (const auto& t : triangles)
        for (int row : t)
            for (int a = 0; a < 3; ++a)
                if (!std::isfinite(points[row][a]) || std::fabs(points[row][a]) > kMaxTetMeshCoordinate) {
                    char text[96];
                    std::snprintf(text, sizeof text, " has coordinate %g, beyond +-1e60", points[row][a]);
                    error = name + ": node " + std::to_string(nodes.tags[row]) + text;
                    return false;
                }
    measure = measureSurface(points, triangles);
    if (measure.openEdges > 0) {
        error =
            name + ": surface is not closed (" + std::to_string(measure.openEdges) + " edges border only one triangle)";
        return false;
    }
    if (measure.branchingEdges > 0) {
        error = name + ": surface is not a closed manifold (" + std::to_string(measure.branchingEdges) +
                " edges are shared by more than two triangles)";
        return false;
    }
    triangleCount = static_cast<int>(triangles.size());
    return true;
}

/// Number of nodes of the current mesh (after filling a closed surface, all belong to tetrahedra).
size_t meshNodeCount() {
    std::vector<std::size_t> tags;
    std::vector<double> coords, parametric;
    gmsh::model::mesh::getNodes(tags, coords, parametric, -1, -1, false, false);
    return tags.size();
}

/// Reads the surface file again into an empty model and fills it at the given element size:
/// reparametrised patches (classifySurfaces/createGeometry; a mesh cleared after that step loses
/// what the patches were made from, hence the fresh read), one volume inside them, and gmsh's
/// Delaunay mesher. False when gmsh logged an error.
bool meshInsideSurface(const std::string& path, double size) {
    gmsh::clear();
    gmsh::open(path);
    gmsh::model::mesh::removeDuplicateNodes();
    // Sharp creases (over 40 degrees) bound the patches; every patch is parametrisable so that
    // its surface can be remeshed at the target size.
    gmsh::model::mesh::classifySurfaces(40.0 * kPi / 180.0, true, true, kPi);
    gmsh::model::mesh::createGeometry();
    gmsh::vectorpair surfaces;
    gmsh::model::getEntities(surfaces, 2);
    std::vector<int> surfaceTags;
    for (const auto& s : surfaces) surfaceTags.push_back(s.second);
    const int loop = gmsh::model::geo::addSurfaceLoop(surfaceTags);
    gmsh::model::geo::addVolume({loop});
    gmsh::model::geo::synchronize();
    gmsh::option::setNumber("Mesh.MeshSizeMin", size);
    gmsh::option::setNumber("Mesh.MeshSizeMax", size);
    gmsh::model::mesh::generate(3);
    std::string error;
    return !GmshSession::loggedError(error);
}

/// Fills the closed surface of the current model with tetrahedra: reparametrised patches
/// (classifySurfaces/createGeometry), one volume inside them, a Delaunay mesh at the target size.
bool fillSurface(const std::string& path, const std::string& name, const MeshImportOptions& options,
                 MeshImportReport& report, std::string& error) {
    SurfaceMeasure surface;
    int triangleCount = 0;
    gmsh::model::mesh::removeDuplicateNodes();
    if (!checkClosedSurface(name, surface, triangleCount, error)) return false;
    if (!(surface.volume > 0.0) || !std::isfinite(surface.volume)) {
        error = name + ": the closed surface encloses no volume";
        return false;
    }
    report.meshedFromSurface = true;
    report.surfaceTriangles = triangleCount;

    double size = options.elementSize;
    const bool automatic = size <= 0.0;
    // Automatic: the size that gives the target count inside, or on the surface when that asks
    // for a coarser size (a thin body, whose surface would otherwise take millions of vertices).
    if (automatic)
        size = std::max(std::cbrt(surface.volume * kVertexDensity / kTargetVertices),
                        std::sqrt(surface.area * kSurfaceVertexDensity / kTargetVertices));
    // Vertices inside and on the surface, as logarithms: a size of 1e-300 gives 1e900, which
    // overflows a double. A thin body gets most of its vertices on its surface.
    const double logInside = std::log10(surface.volume * kVertexDensity) - 3.0 * std::log10(size);
    const double logOnSurface = std::log10(surface.area * kSurfaceVertexDensity) - 2.0 * std::log10(size);
    const double logExpected = std::max(logInside, logOnSurface);
    if (!(logExpected <= std::log10(kMaxFilledVertices))) {
        char text[200];
        std::snprintf(text, sizeof text, ": element size %g would give about %s vertices; at most %.0f are allowed",
                      size, roughCount(logExpected).c_str(), kMaxFilledVertices);
        error = name + text;
        return false;
    }
    if (surface.smallestPart == 4) {
        // gmsh's classifySurfaces splits such a part for reparametrisation without end.
        error = name +
                ": a part of the surface is a single tetrahedron (4 triangles), which cannot be remeshed; "
                "refine the surface first";
        return false;
    }

    for (int attempt = 0; attempt < kMaxSizeAttempts; ++attempt) {
        if (!meshInsideSurface(path, size)) {
            GmshSession::loggedError(error);
            error = name + ": gmsh could not fill the surface: " + error;
            return false;
        }
        const size_t vertices = meshNodeCount();
        if (!automatic || vertices == 0 ||
            (vertices >= static_cast<size_t>(kMinAutoVertices) && vertices <= static_cast<size_t>(kMaxAutoVertices)))
            break;
        if (attempt + 1 < kMaxSizeAttempts) size *= std::cbrt(static_cast<double>(vertices) / kTargetVertices);
    }
    report.elementSize = size;
    return true;
}

bool readableFile(const std::string& path, std::string& error) {
    std::error_code ec;
    if (!std::filesystem::is_regular_file(path, ec)) {
        error =
            "cannot open " + path + (std::filesystem::exists(path, ec) ? " (not a regular file)" : " (no such file)");
        return false;
    }
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        error = "cannot open " + path;
        return false;
    }
    if (std::filesystem::file_size(path, ec) == 0) {
        error = fileName(path) + " is empty";
        return false;
    }
    return true;
}

std::string tetGenNodeText(const ImportedTetMesh& mesh) {
    std::string text = std::to_string(mesh.points.size()) + " 3 0 0\n";
    char line[128];
    for (size_t i = 0; i < mesh.points.size(); ++i) {
        const vec3& p = mesh.points[i];
        std::snprintf(line, sizeof line, "%zu %.17g %.17g %.17g\n", i, p.x, p.y, p.z);
        text += line;
    }
    return text;
}

std::string tetGenEleText(const ImportedTetMesh& mesh) {
    std::string text = std::to_string(mesh.tets.size()) + " 4 0\n";
    char line[96];
    for (size_t j = 0; j < mesh.tets.size(); ++j) {
        const auto& t = mesh.tets[j];
        std::snprintf(line, sizeof line, "%zu %d %d %d %d\n", j, t[0], t[1], t[2], t[3]);
        text += line;
    }
    return text;
}

bool fileHolds(const std::string& path, const std::string& text) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return false;
    std::ostringstream buffer;
    buffer << in.rdbuf();
    return buffer.str() == text;
}

bool writeWhole(const std::string& path, const std::string& text, std::string& error) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    if (out) out.write(text.data(), static_cast<std::streamsize>(text.size()));
    out.close();
    if (!out) {
        error = "cannot write " + path;
        return false;
    }
    return true;
}

}  // namespace

const std::vector<std::string>& importableMeshExtensions() {
    // Only formats gmsh or VTK has a reader for (any other file gmsh would run as a script of its
    // own language, which can start programs), and openCARP's files, which our own parser reads.
    static const std::vector<std::string> extensions = {"msh",  "vtk", "vtu",  "mesh", "stl",
                                                        "ply2", "pts", "elem", "lon"};
    return extensions;
}

bool isImportableMeshFile(const std::string& path) {
    return meshFileFormatOf(path) != MeshFileFormat::Unknown || isCarpMeshFile(path);
}

bool importMeshFile(const std::string& path, const MeshImportOptions& options, ImportedTetMesh& mesh,
                    MeshImportReport& report, std::string& error) {
    mesh = ImportedTetMesh();
    report = MeshImportReport();
    error.clear();
    const std::string name = fileName(path);
    // openCARP meshes are read by our own parser, never by gmsh.
    if (isCarpMeshFile(path)) return importCarpMesh(path, mesh, report, error);
    const MeshFileFormat format = meshFileFormatOf(path);
    if (format == MeshFileFormat::Unknown) {
        error = unknownMeshFormatMessage(name);
        return false;
    }
    if (!(options.elementSize >= 0.0) || !std::isfinite(options.elementSize)) {
        error = "the element size must be a positive number";
        return false;
    }
    if (!readableFile(path, error)) return false;

    // gmsh chooses its reader by the exact-case extension and runs anything else, or content it
    // does not recognise, as a script of its own language (which can start programs); it also
    // runs FILE.opt beside FILE. So it reads only a private copy under a canonical name, and only
    // after the copy's content passed our own check of its format.
    const std::unique_ptr<ImportCopy> copy =
        ImportCopy::create(path, name, meshFileExtension(format), kMaxImportBytes, error);
    if (!copy) return false;
    if (!copy->withBytes(
            [&](const char* data, size_t size) { return checkMeshContent(format, data, size, name, error); }, error))
        return false;

    ImportedTetMesh result;
    MeshImportReport outcome;
    // VTK's own readers take .vtu and legacy .vtk of every version; such a file holding only a
    // closed surface goes to gmsh as a .msh of its triangles, to be filled like any other.
    std::string gmshInput = copy->path();
    bool readByVtk = false;
    if (format == MeshFileFormat::Vtk || format == MeshFileFormat::Vtu) {
        VtkSurface surface;
        const VtkMeshKind kind = readVtkLibraryMesh(copy->path(), format, name, result, outcome, surface, error);
        if (kind == VtkMeshKind::Failed) return false;
        readByVtk = kind == VtkMeshKind::Tetrahedra;
        gmshInput = copy->folder() + "/surface.msh";
        if (!readByVtk && !writeSurfaceAsMsh(gmshInput, surface, error)) return false;
    }
    std::string gmshError;
    auto readByGmsh = [&](std::string& err) {
        gmsh::open(gmshInput);
        if (GmshSession::loggedError(err)) return false;
        ElementGroups volume;
        volume.load(3);
        if (volume.types.empty() && !fillSurface(gmshInput, name, options, outcome, err)) return false;
        return takeTetrahedra(name, result, outcome, err);
    };
    const bool ok = readByVtk || GmshSession::run(readByGmsh, gmshError);
    if (!ok) {
        // gmsh names the copy; the user knows the original.
        replaceAll(gmshError, gmshInput, name);
        replaceAll(gmshError, fileName(gmshInput), name);
        // Our own reasons begin with the file's name; gmsh's get it in front.
        error = gmshError.compare(0, name.size(), name) == 0 ? gmshError : name + " could not be read: " + gmshError;
        return false;
    }
    if (outcome.higherOrderTets > 0)
        diagPrintf("import: %d curved tetrahedra of %s taken with their corners only\n", outcome.higherOrderTets,
                   name.c_str());
    if (outcome.reorientedTets > 0)
        diagPrintf("import: %d inverted tetrahedra of %s reoriented\n", outcome.reorientedTets, name.c_str());
    if (outcome.droppedNodes > 0)
        diagPrintf("import: %d nodes of %s used by no tetrahedron dropped\n", outcome.droppedNodes, name.c_str());
    if (outcome.meshedFromSurface)
        diagPrintf("import: closed surface of %s (%d triangles) filled at element size %g\n", name.c_str(),
                   outcome.surfaceTriangles, outcome.elementSize);
    mesh = std::move(result);
    report = outcome;
    return true;
}

bool writeTetGenBase(const std::string& base, const ImportedTetMesh& mesh, std::string& error) {
    const std::string nodePath = base + ".node", elePath = base + ".ele";
    const std::string nodeTemp = nodePath + ".part", eleTemp = elePath + ".part";
    if (!writeWhole(nodeTemp, tetGenNodeText(mesh), error) || !writeWhole(eleTemp, tetGenEleText(mesh), error)) {
        std::remove(nodeTemp.c_str());
        std::remove(eleTemp.c_str());
        return false;
    }
    std::error_code ec;
    std::filesystem::rename(nodeTemp, nodePath, ec);
    if (!ec) std::filesystem::rename(eleTemp, elePath, ec);
    if (ec) {
        error = "cannot write " + base + ".node/.ele: " + ec.message();
        std::remove(nodeTemp.c_str());
        std::remove(eleTemp.c_str());
        return false;
    }
    return true;
}

bool tetGenBaseHolds(const std::string& base, const ImportedTetMesh& mesh) {
    return fileHolds(base + ".node", tetGenNodeText(mesh)) && fileHolds(base + ".ele", tetGenEleText(mesh));
}

std::string importBaseBeside(const std::string& meshPath, const ImportedTetMesh& mesh) {
    const std::filesystem::path path(meshPath);
    const std::string stem = (path.parent_path() / path.stem()).string();
    auto usable = [&mesh](const std::string& base) {
        std::error_code ec;
        const bool taken = std::filesystem::exists(base + ".node", ec) || std::filesystem::exists(base + ".ele", ec) ||
                           std::filesystem::exists(base + ".vm", ec);
        return !taken || tetGenBaseHolds(base, mesh);
    };
    if (usable(stem)) return stem;
    for (int n = 1;; ++n) {
        const std::string candidate = stem + "-imported" + (n == 1 ? std::string() : "-" + std::to_string(n));
        if (usable(candidate)) return candidate;
    }
}
