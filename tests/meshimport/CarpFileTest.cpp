// openCARP meshes: the three parsers' refusals (each one line naming file and fault), an accepted
// mesh with its regions, reoriented and unused nodes, element fibres brought to the points, and
// a missing .elem.
#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>

#include "common/TestFiles.h"
#include "linalg/Diagnostics.h"
#include "meshimport/CarpFile.h"
#include "meshimport/MeshImport.h"

namespace {

using testfiles::TempDir;

struct Refusal {
    const char* file;  // "pts", "elem" or "lon"
    const char* text;
    const char* expected;  // a piece of the message
};

std::string refusalOf(const Refusal& r) {
    std::string error;
    std::vector<vec3> points, fibres, sheets;
    std::vector<std::array<int, 4>> tets;
    std::vector<int> regions;
    const std::string text = r.text;
    const std::string file = r.file;
    bool ok = true;
    if (file == "pts") ok = parseCarpPoints(text.data(), text.size(), "m.pts", points, error);
    if (file == "elem") ok = parseCarpElements(text.data(), text.size(), "m.elem", 5, tets, regions, error);
    if (file == "lon") ok = parseCarpFibres(text.data(), text.size(), "m.lon", 2, fibres, sheets, error);
    EXPECT_FALSE(ok) << text;
    EXPECT_TRUE(points.empty() && tets.empty() && regions.empty() && fibres.empty() && sheets.empty());
    EXPECT_EQ(error.find('\n'), std::string::npos);
    EXPECT_EQ(error.compare(0, 2 + file.size(), "m." + file), 0) << error;
    return error;
}

}  // namespace

TEST(CarpFileTest, MalformedFilesAreRefusedWithTheFileAndTheFault) {
    const Refusal cases[] = {
        {"pts", "3\n0 0 0\n1 0 0\n", "declares 3 vertices but holds only 2"},
        {"pts", "2\n0 0 0\n1 0 0\n2 0 0\n", "line 4: text after the 2 declared vertices"},
        {"pts", "2\n0 0 0\n1 nan 0\n", "line 3: 'nan' is not a finite number"},
        {"pts", "2\n0 0 0\n1 inf 0\n", "'inf' is not a finite number"},
        {"pts", "1\n0 0 1e61\n", "beyond +-1e60"},
        {"pts", "2 3\n0 0 0\n1 0 0\n", "must stand alone"},
        {"pts", "99999999999\n0 0 0\n", "more than the"},
        {"pts", "1000000\n0 0 0\n", "too short to hold them"},
        {"pts", "1\n0 0 0 0\n", "more than x y z"},
        {"elem", "2\nTt 0 1 2 3 1\nHx 0 1 2 3 4 0 1 2 1\n", "has 1 hexahedron besides 1 tetrahedra"},
        {"elem", "3\nTr 0 1 2 1\nTr 1 2 3 1\nPr 0 1 2 3 4 0 1\n", "has 2 triangles, 1 prism;"},
        {"elem", "1\nTt 0 1 2 5 1\n", "line 2: node index 5 is out of range (the mesh has 5 vertices)"},
        {"elem", "1\nTt 0 1 -1 3 1\n", "node index -1 is out of range"},
        {"elem", "1\nTt 0 1 2 2 1\n", "names one node twice"},
        {"elem", "1\nTt 0 1 2\n", "needs four node indices"},
        {"elem", "2\nTt 0 1 2 3 1\n", "declares 2 elements but holds only 1"},
        {"elem", "1\nTt 0 1 2 3 1\nTt 1 2 3 4 1\n", "text after the 1 declared elements"},
        {"elem", "1\nXx 0 1 2 3\n", "unknown element kind 'Xx'"},
        {"elem", "1\nTt 0 1 2 3 99999999999\n", "is not a region tag"},
        {"lon", "1\n1 0 0\n", "holds directions for 1 elements; the mesh has 2"},
        {"lon", "1\n1 0 0\n0 1 0\n0 0 1\n", "holds 3 numbers more than the 2 elements"},
        {"lon", "2\n1 0 0 0 1 0\n0 1 0\n", "holds directions for 1 elements"},
        {"lon", "3\n1 0 0\n0 1 0\n", "the first line must be 1"},
        {"lon", "1\n1 0 0\n0 nan 0\n", "'nan' is not a finite number"},
    };
    for (const Refusal& r : cases) {
        SCOPED_TRACE(r.text);
        const std::string error = refusalOf(r);
        EXPECT_NE(error.find(r.expected), std::string::npos) << error;
    }
}

TEST(CarpFileTest, AMeshImportsWithRegionsFibresReorientationAndUnusedNodes) {
    TempDir dir;
    // Two tetrahedra sharing a face, one of them inverted, an unused node between them in the
    // file, CRLF line ends, one element without a region. Element fibres along x for one and -x
    // (the same line) for the other; sheets along y.
    testfiles::writeText(dir.file("m.pts"), "6\r\n0 0 0\r\n1 0 0\r\n0 1 0\r\n5 5 5\r\n0 0 1\r\n1 1 1\r\n");
    testfiles::writeText(dir.file("m.elem"), "2\r\nTt 0 2 1 4 3\r\nTt 1 2 4 5\r\n");
    testfiles::writeText(dir.file("m.lon"), "2\n1 0 0 0 2 0\n-1 0 0 0 1 0\n");
    ImportedTetMesh mesh;
    MeshImportReport report;
    std::string error;
    DiagCapture console;
    ASSERT_TRUE(importMeshFile(dir.file("m.elem"), MeshImportOptions(), mesh, report, error)) << error;
    EXPECT_EQ(mesh.points.size(), 5u);
    ASSERT_EQ(mesh.tets.size(), 2u);
    EXPECT_EQ(report.droppedNodes, 1);
    EXPECT_EQ(mesh.points[3].z, 1.0);  // the unused node is gone, the others keep their order
    EXPECT_EQ(report.reorientedTets, 1);
    EXPECT_EQ(mesh.regions, (std::vector<int>{3, 0}));
    EXPECT_EQ(mesh.regionSource, "elem");
    ASSERT_EQ(mesh.fibres.size(), 5u);
    ASSERT_EQ(mesh.sheets.size(), 5u);
    for (size_t i = 0; i < 5; ++i) {
        EXPECT_NEAR(std::fabs(mesh.fibres[i].x), 1.0, 1e-12) << i;  // -x and x reinforce each other
        EXPECT_NEAR(mesh.sheets[i].y, 1.0, 1e-12) << i;
    }
    EXPECT_TRUE(console.contains("1 inverted tetrahedra of m.elem reoriented"));
    EXPECT_TRUE(console.contains("1 nodes of m.pts used by no tetrahedron dropped"));

    // Named by its .pts, without a .lon: no fibres. Without a .elem: refused, naming it.
    std::filesystem::remove(dir.file("m.lon"));
    ASSERT_TRUE(importMeshFile(dir.file("m.pts"), MeshImportOptions(), mesh, report, error)) << error;
    EXPECT_TRUE(mesh.fibres.empty());
    std::filesystem::remove(dir.file("m.elem"));
    EXPECT_FALSE(importMeshFile(dir.file("m.pts"), MeshImportOptions(), mesh, report, error));
    EXPECT_EQ(error, "m.pts: an openCARP mesh needs its .pts and .elem files; m.elem is missing");
    EXPECT_TRUE(mesh.points.empty());
}
