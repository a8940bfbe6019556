// Writes the seed corpora of the fuzz targets: project and stroke files saved by the program's own
// writers from an authored state of the fixed mesh, small TetGen pairs (the fixed mesh, one
// tetrahedron, TetGen's own layout, a piece cut from the bundled tube), chart files and one
// tetrahedron in each mesh format the importer checks.
// Usage: fuzz_make_seeds <corpus directory> <source directory>
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <set>
#include <string>

#include "FuzzSupport.h"
#include "io/TetGenFile.h"
#include "io/TextTokens.h"
#include "model/ProjectFile.h"
#include "model/TLSMModel.h"

namespace {

namespace fs = std::filesystem;

[[noreturn]] void fail(const std::string& what) {
    std::fprintf(stderr, "fuzz_make_seeds: %s\n", what.c_str());
    std::exit(1);
}

void put(const fs::path& path, const std::string& bytes) {
    fs::create_directories(path.parent_path());
    fuzzsupport::writeBytes(path.string(), reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
}

std::string readAll(const std::string& path) {
    std::string text, error;
    if (!readWholeFile(path, text, error)) fail(error);
    return text;
}

/// Phase, amplitude and depth constraints, two strokes, labels, chamber ids, walls, charts and
/// settings: every record of a project file carries data.
void author(TLSMModel& model) {
    const int n = model.vertexCount();
    auto constraintAt = [&](int tet, double target) {
        TConstraint c;
        for (int k = 0; k < 4; ++k) {
            c.m_tetVertex[k] = model.m_tets[tet].vIdx[k];
            c.m_weight[k] = k == 0 ? 0.4 : 0.2;
        }
        c.m_target = target;
        return c;
    };
    model.m_phaseField.m_constraints = {constraintAt(0, 0.0), constraintAt(47, 1.0)};
    model.m_ampliField.m_constraints = {constraintAt(5, -0.5)};
    model.m_orienField.m_depthField.m_constraints = {constraintAt(10, 0.0), constraintAt(30, 1.0)};
    model.m_orienField.m_strokes.clear();
    for (int s = 0; s < 2; ++s) {
        TOrientationStroke& stroke = model.m_orienField.m_strokes.emplace_back();
        for (int i = 0; i < 3; ++i) {
            TTetSample sample;
            findNearestTetSample(model.m_tets, model.m_vtxOrigPos, vec3(-3.0 + 3.0 * i, 1.0 - 2.0 * s, 0.5), sample);
            stroke.push_back(sample);
        }
    }
    for (int v = 0; v < n; ++v) model.m_vtxIsVentriOrAtrium[v] = static_cast<int16_t>(v % 3);
    for (size_t t = 0; t < model.m_polygonIDs.size(); ++t) model.m_polygonIDs[t] = static_cast<int16_t>(t % 5);
    std::vector<TTriIndices>* walls[4] = {&model.m_trisVR, &model.m_trisVL, &model.m_trisAR, &model.m_trisAL};
    for (int w = 0; w < 4; ++w) {
        const TTriangleMesh::Tri& tri = model.m_surface.polys()[w];
        walls[w]->push_back({model.m_surfVtxSource[tri[0]].vertA, model.m_surfVtxSource[tri[1]].vertA,
                             model.m_surfVtxSource[tri[2]].vertA});
    }
    TGlobalExcitation& ex = *model.m_excitation;
    ex.m_chartVent = {{0.0, 0.0}, {0.2, 0.8}, {0.5, 0.1}};
    ex.m_chartAtri = {{0.0, 0.1}, {0.7, 0.6}};
    ex.m_amplitude = 0.4;
    ex.m_propagationMode = true;
    ex.m_numOfWave = 1.5;
    ex.m_numOfWaveA = 0.5;
    model.m_iterationN = 12;
}

void projectSeeds(const fs::path& dir) {
    fs::create_directories(dir / "project");
    fs::create_directories(dir / "stroke");
    TLSMModel model;
    if (!model.loadModel(fuzzsupport::fixedMeshBase())) fail("the fixed mesh does not load");
    std::string error;
    if (!saveProjectTo(model, (dir / "project" / "defaults.vm").string(), error)) fail(error);
    author(model);
    if (!saveProjectTo(model, (dir / "project" / "authored.vm").string(), error)) fail(error);
    if (!writeStrokeFile(model, (dir / "stroke" / "two-strokes.vmfigstrs").string())) fail("stroke file not written");

    // The keywords older files carry and the older chart form.
    put(dir / "project" / "older-keywords.vm",
        "#VelmoraSaveFile\n#GlobalVolumePreserve 1\n#GlobalVolumePreserveA 0\n#GlobalAmplitudeVentIn 0.2\n"
        "#GlobalAmplitudeVentOut 0.3\n#OtherFriction 0.5\n#AponeuroTris\n#ids 2\n1\n2\n#tris 1\n0 1 2\n#pairs 1\n3 4\n"
        "#GlobalExcitation\n#Function\nc 2\n0 0.1\n0.5 0.9\nin 1\n0 0\nout 1\n0 0\n#FunctionEnd\n"
        "#FunctionNew\nconstraints 1\n0 0.2\n#FunctionEnd\n#GlobalAmplitudeVent 1.5\n#VelmoraSaveFileEnd\n");
}

void strokeSeeds(const fs::path& dir) {
    put(dir / "stroke" / "no-strokes.vmfigstrs", "strokeInfo 0\nend\n");
    put(dir / "stroke" / "outside.vmfigstrs", "strokeInfo 1\nstroke 0 2\n100.5 -20 3e2\n0 0 0\nend\n");
}

void chartSeeds(const fs::path& dir) {
    put(dir / "chart" / "clamped.txt", "ventChart 4\n0 0.5\n0.3 1.2\n0.3 0.2\n1.5 0.4\n");
    put(dir / "chart" / "beat.txt", "beat 6\n0 0\n0.1 0.3\n0.25 0.9\n0.4 0.7\n0.6 0.1\n0.9 0.0\n");
    put(dir / "chart" / "short.txt", "cut 5\n0.0 0.0\n0.5 1e-3\n");
}

/// The mesh as a TetGen pair joined by one NUL byte, as the TetGen target splits its input.
std::string joined(const std::string& node, const std::string& ele) { return node + std::string(1, '\0') + ele; }

void tetgenSeeds(const fs::path& dir, const fs::path& source) {
    const std::string& fixed = fuzzsupport::fixedMeshBase();
    put(dir / "tetgen" / "grid.pair", joined(readAll(fixed + ".node"), readAll(fixed + ".ele")));
    put(dir / "tetgen" / "one-tet.pair", joined("4 3 0 0\n0 0 0 0\n1 1 0 0\n2 0 1 0\n3 0 0 1\n", "1 4 0\n0 0 1 2 3\n"));
    // TetGen's own layout: comments, attributes and boundary markers, 1-based, second-order elements.
    put(dir / "tetgen" / "tetgen-layout.pair",
        joined("# mesher output\n5 3 1 1\n1 0 0 0 0.5 1\n2 1 0 0 0.5 1\n3 0 1 0 0.5 1\n4 0 0 1 0.5 1\n5 1 1 1 0.5 0\n",
               "2 10 1\n1 1 2 3 4 0 0 0 0 0 0 3\n2 5 2 4 3 0 0 0 0 0 0 3 # last\n"));

    // A piece of the bundled tube: the tetrahedra among its first levels, layers and angles.
    TTetMesh tube;
    if (!loadTetMesh(tube, (source / "models" / "Tube").string())) fail("models/Tube does not load");
    auto inPiece = [](int v) { return v / 120 < 2 && (v / 30) % 4 < 2 && v % 30 < 3; };
    std::vector<int> newIndex(tube.m_verts.size(), -1);
    std::string node, ele;
    int vertexCount = 0, tetCount = 0;
    for (const Tetra& t : tube.m_tets) {
        bool inside = true;
        for (int c : t.vIdx) inside = inside && inPiece(c);
        if (!inside) continue;
        ele += std::to_string(tetCount++);
        for (int c : t.vIdx) {
            if (newIndex[c] < 0) {
                newIndex[c] = vertexCount++;
                char line[128];
                std::snprintf(line, sizeof line, "%d %.4f %.4f %.4f\n", newIndex[c], tube.m_verts[c].x,
                              tube.m_verts[c].y, tube.m_verts[c].z);
                node += line;
            }
            ele += " " + std::to_string(newIndex[c]);
        }
        ele += '\n';
    }
    put(dir / "tetgen" / "tube-piece.pair",
        joined(std::to_string(vertexCount) + " 3 0 0\n" + node, std::to_string(tetCount) + " 4 0\n" + ele));
}

/// Appends value's bytes, little- or big-endian.
template <typename T>
void appendBytes(std::string& out, T value, bool bigEndian = false) {
    unsigned char bytes[sizeof(T)];
    std::memcpy(bytes, &value, sizeof(T));
    // The seeds are written on a little-endian machine, as the formats' binary layouts assume.
    if (bigEndian) std::reverse(bytes, bytes + sizeof(T));
    out.append(reinterpret_cast<const char*>(bytes), sizeof(T));
}

/// One tetrahedron (and its surface) in each format the importer checks, ascii and binary, in
/// the layouts gmsh, meshio and VTK write.
void meshContentSeeds(const fs::path& dir) {
    const fs::path out = dir / "meshcontent";
    const double corners[4][3] = {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}, {0, 0, 1}};
    const int faces[4][3] = {{0, 2, 1}, {0, 1, 3}, {0, 3, 2}, {1, 2, 3}};
    put(out / "tet-v2.msh",
        "$MeshFormat\n2.2 0 8\n$EndMeshFormat\n$PhysicalNames\n1\n3 1 \"heart\"\n$EndPhysicalNames\n"
        "$Nodes\n4\n1 0 0 0\n2 1 0 0\n3 0 1 0\n4 0 0 1\n$EndNodes\n"
        "$Elements\n2\n1 2 2 1 1 1 2 3\n2 4 2 1 1 1 2 3 4\n$EndElements\n"
        "$NodeData\n1\n\"phase\"\n1\n0\n3\n0\n1\n4\n1 0.5\n2 0.5\n3 0.5\n4 0.5\n$EndNodeData\n");
    put(out / "tet-v41.msh",
        "$MeshFormat\n4.1 0 8\n$EndMeshFormat\n$Entities\n0 0 0 1\n1 0 0 0 1 1 1 0 0\n$EndEntities\n"
        "$Nodes\n1 4 1 4\n3 1 0 4\n1\n2\n3\n4\n0 0 0\n1 0 0\n0 1 0\n0 0 1\n$EndNodes\n"
        "$Elements\n1 1 1 1\n3 1 4 1\n1 1 2 3 4\n$EndElements\n");

    std::string v2 = "$MeshFormat\n2.2 1 8\n";
    appendBytes<int32_t>(v2, 1);
    v2 += "\n$EndMeshFormat\n$Nodes\n4\n";
    for (int i = 0; i < 4; ++i) {
        appendBytes<int32_t>(v2, i + 1);
        for (double c : corners[i]) appendBytes(v2, c);
    }
    v2 += "\n$EndNodes\n$Elements\n1\n";
    for (int32_t value : {4, 1, 2, 1, 1, 1, 1, 2, 3, 4}) appendBytes(v2, value);
    v2 += "\n$EndElements\n";
    put(out / "tet-v2-binary.msh", v2);

    std::string v41 = "$MeshFormat\n4.1 1 8\n";
    appendBytes<int32_t>(v41, 1);
    v41 += "\n$EndMeshFormat\n$Nodes\n";
    for (uint64_t value : {1, 4, 1, 4}) appendBytes(v41, value);
    for (int32_t value : {3, 1, 0}) appendBytes(v41, value);
    appendBytes<uint64_t>(v41, 4);
    for (uint64_t tag = 1; tag <= 4; ++tag) appendBytes(v41, tag);
    for (const auto& corner : corners)
        for (double c : corner) appendBytes(v41, c);
    v41 += "\n$EndNodes\n$Elements\n";
    for (uint64_t value : {1, 1, 1, 1}) appendBytes(v41, value);
    for (int32_t value : {3, 1, 4}) appendBytes(v41, value);
    for (uint64_t value : {1, 1, 1, 2, 3, 4}) appendBytes(v41, value);
    v41 += "\n$EndElements\n";
    put(out / "tet-v41-binary.msh", v41);

    put(out / "tet.vtk",
        "# vtk DataFile Version 4.2\nheart\nASCII\nDATASET UNSTRUCTURED_GRID\nPOINTS 4 double\n"
        "0 0 0 1 0 0 0 1 0 0 0 1\nCELLS 1 5\n4 0 1 2 3\nCELL_TYPES 1\n10\nCELL_DATA 1\nFIELD FieldData 1\n"
        "region 1 1 int\n1\nPOINT_DATA 4\nSCALARS phase double 1\nLOOKUP_TABLE default\n0 0.5 1 0.25\n");
    std::string vtk = "# vtk DataFile Version 4.2\nheart\nBINARY\nDATASET UNSTRUCTURED_GRID\nPOINTS 4 float\n";
    for (const auto& corner : corners)
        for (double c : corner) appendBytes(vtk, static_cast<float>(c), true);
    vtk += "\nCELLS 1 5\n";
    for (int32_t value : {4, 0, 1, 2, 3}) appendBytes(vtk, value, true);
    vtk += "\nCELL_TYPES 1\n";
    appendBytes<int32_t>(vtk, 10, true);
    vtk += "\n";
    put(out / "tet-binary.vtk", vtk);
    put(out / "surface.vtk",
        "# vtk DataFile Version 3.0\nsurface\nASCII\nDATASET POLYDATA\nPOINTS 4 float\n"
        "0 0 0\n1 0 0\n0 1 0\n0 0 1\nPOLYGONS 4 16\n3 0 2 1\n3 0 1 3\n3 0 3 2\n3 1 2 3\n");

    put(out / "tet.mesh",
        "MeshVersionFormatted 1\nDimension 3\nVertices\n4\n0 0 0 0\n1 0 0 0\n0 1 0 0\n0 0 1 0\n"
        "Triangles\n1\n1 2 3 1\nTetrahedra\n1\n1 2 3 4 1\nCorners\n1\n1\nEnd\n");

    std::string stl = "solid tet\n", binary(80, ' '), ply2 = "4\n4\n0 0 0\n1 0 0\n0 1 0\n0 0 1\n";
    binary.replace(0, 5, "solid");  // binary files whose header begins like an ascii one
    appendBytes<uint32_t>(binary, 4);
    for (const auto& face : faces) {
        stl += "  facet normal 0 0 0\n    outer loop\n";
        for (int k = 0; k < 12; ++k)
            appendBytes(binary, k < 3 ? 0.0f : static_cast<float>(corners[face[(k - 3) / 3]][k % 3]));
        for (int corner : face) {
            char line[96];
            std::snprintf(line, sizeof line, "      vertex %g %g %g\n", corners[corner][0], corners[corner][1],
                          corners[corner][2]);
            stl += line;
        }
        binary += std::string(2, '\0');
        stl += "    endloop\n  endfacet\n";
        ply2 += "3 " + std::to_string(face[0]) + " " + std::to_string(face[1]) + " " + std::to_string(face[2]) + "\n";
    }
    put(out / "tet.stl", stl + "endsolid tet\n");
    put(out / "tet-binary.stl", binary);
    put(out / "tet.ply2", ply2);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: %s <corpus directory> <source directory>\n", argv[0]);
        return 2;
    }
    fuzzsupport::quietDiagnostics();
    const fs::path dir = argv[1], source = argv[2];
    projectSeeds(dir);
    strokeSeeds(dir);
    chartSeeds(dir);
    tetgenSeeds(dir, source);
    meshContentSeeds(dir);
    return 0;
}
