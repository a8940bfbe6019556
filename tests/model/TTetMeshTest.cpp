// The TetGen reader: layouts it accepts, files it refuses, neighbours, face normals, vertex stars.
#include <gtest/gtest.h>
#include <omp.h>

#include <set>
#include <vector>

#include "common/TestFiles.h"
#include "common/TestMeshes.h"
#include "io/TetGenFile.h"
#include "linalg/Diagnostics.h"

namespace {

using testfiles::TempDir;
using testfiles::writeText;

class TTetMeshTest : public ::testing::Test {
protected:
    TempDir dir;
    std::string base = dir.file("m");
    TTetMesh mesh;

    bool load(const std::string& node, const std::string& ele) {
        writeText(base + ".node", node);
        writeText(base + ".ele", ele);
        return loadTetMesh(mesh, base);
    }
};

const char* kTwoTetsNode = "5 3 0 0\n0 0 0 0\n1 1 0 0\n2 0 1 0\n3 0 0 1\n4 1 1 1\n";

TEST_F(TTetMeshTest, ReadsPlainLayoutAndIgnoresVertexNumbers) {
    DiagCapture diag;
    ASSERT_TRUE(load("5 3 0 0\n7 0 0 0\n8 1 0 0\n9 0 1 0\n10 0 0 1\n11 1 1 1\n", "2 4 0\n0 0 1 2 3\n1 4 1 3 2\n"));
    ASSERT_EQ(mesh.m_verts.size(), 5u);
    EXPECT_EQ(mesh.m_verts[1], vec3(1, 0, 0));
    ASSERT_EQ(mesh.m_tets.size(), 2u);
    EXPECT_EQ(mesh.m_tets[1].vIdx[0], 4);
    EXPECT_EQ(diag.text(), "load tetMesh filepath = " + base + " \n");
}

TEST_F(TTetMeshTest, HonoursTetGenAttributeAndMarkerColumns) {
    // Two attributes and a boundary marker per vertex; 10-node elements with one region attribute;
    // numbering from 1 as TetGen writes by default; comments.
    const std::string node =
        "# written by a mesher\n5 3 2 1\n1 0 0 0 9 9 1\n2 1 0 0 9 9 1\n3 0 1 0 9 9 1\n4 0 0 1 9 9 1\n5 1 1 1 9 9 0\n";
    const std::string ele = "2 10 1\n1 1 2 3 4 0 0 0 0 0 0 7\n2 5 2 4 3 0 0 0 0 0 0 7 # tail\n";
    DiagCapture diag;
    ASSERT_TRUE(load(node, ele));
    EXPECT_EQ(mesh.m_verts[4], vec3(1, 1, 1));
    EXPECT_EQ(mesh.m_tets[0].vIdx[0], 0);
    EXPECT_EQ(mesh.m_tets[1].vIdx[0], 4);
    EXPECT_TRUE(diag.contains("read as 1-based"));
}

TEST_F(TTetMeshTest, ValidZeroBasedFileIsNeverReinterpreted) {
    DiagCapture diag;
    // Corners 1..4 fit both bases; index n is absent, so the file stays 0-based.
    ASSERT_TRUE(load(kTwoTetsNode, "1 4 0\n0 1 2 3 4\n"));
    EXPECT_EQ(mesh.m_tets[0].vIdx[0], 1);
    EXPECT_FALSE(diag.contains("1-based"));
}

TEST_F(TTetMeshTest, RefusesMalformedFilesWithOneMessageNamingFileAndLine) {
    struct Case {
        const char* node;
        const char* ele;
        const char* expected;
    };
    const Case cases[] = {
        {kTwoTetsNode, "1 4 0\n0 0 1 2 9\n", "corner index 9 out of range"},
        {kTwoTetsNode, "1 4 0\n0 -1 1 2 3\n", "corner index -1 out of range"},
        {kTwoTetsNode, "2 4 0\n0 0 1 2 3            \n", "file ends before tetrahedron number"},
        {kTwoTetsNode, "3 4 0\n0 0 1 2 3\n", "tetrahedron count exceeds what the file holds"},
        {"2 3 0 0\n0 0 0 0\n1 1 x 0\n", "0 4 0\n", "expected a number for y coordinate, found 'x'"},
        {"2 3 0 0\n0 0 0 0\n1 nan 0 0\n", "0 4 0\n", "non-finite"},
        {"2 3 0 0\n0 0 0 0\n1 1e999 0 0\n", "0 4 0\n", "non-finite"},
        {"2000000000 3 0 0\n0 0 0 0\n", "0 4 0\n", "vertex count exceeds what the file holds"},
        {kTwoTetsNode, "2000000000 4 0\n0 0 1 2 3\n", "tetrahedron count exceeds"},
        {"-3 3 0 0\n", "0 4 0\n", "negative vertex count"},
        {kTwoTetsNode, "1 3 0\n0 0 1 2\n", "nodes per tetrahedron"},
        {"", "", "file ends before vertex count"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.expected);
        DiagCapture diag;
        EXPECT_FALSE(load(c.node, c.ele));
        EXPECT_TRUE(diag.contains(c.expected)) << diag.text();
        EXPECT_TRUE(diag.contains(base)) << diag.text();
        EXPECT_TRUE(mesh.m_verts.empty());
        EXPECT_TRUE(mesh.m_tets.empty());
    }
}

TEST_F(TTetMeshTest, LineNumberPointsAtTheFault) {
    DiagCapture diag;
    EXPECT_FALSE(load(kTwoTetsNode, "2 4 0\n0 0 1 2 3\n1 4 1 3 99\n"));
    EXPECT_TRUE(diag.contains("m.ele:3")) << diag.text();
}

TEST_F(TTetMeshTest, MissingFilesAreReported) {
    DiagCapture diag;
    EXPECT_FALSE(loadTetMesh(mesh, base));
    EXPECT_TRUE(diag.contains("Could not open file: " + base + ".node\n"));
    writeText(base + ".node", kTwoTetsNode);
    DiagCapture diag2;
    EXPECT_FALSE(loadTetMesh(mesh, base));
    EXPECT_TRUE(diag2.contains("Could not open file: " + base + ".ele\n"));
    EXPECT_TRUE(mesh.m_verts.empty());
}

TEST(TetNeighbourTest, NeighboursAcrossSharedFaceOnly) {
    auto data = testmesh::twoTets();
    TTetMesh mesh{data.verts, data.tets};
    calcNeighbor(mesh);
    // Face 0 (opposite corner 0) of both tetrahedra is the shared face (1, 2, 3).
    EXPECT_EQ(mesh.m_tets[0].nbr[0], 1);
    EXPECT_EQ(mesh.m_tets[1].nbr[0], 0);
    for (int k = 1; k < 4; ++k) {
        EXPECT_EQ(mesh.m_tets[0].nbr[k], -1);
        EXPECT_EQ(mesh.m_tets[1].nbr[k], -1);
    }
    auto single = testmesh::singleTet();
    TTetMesh one{single.verts, single.tets};
    calcNeighbor(one);
    for (int k = 0; k < 4; ++k) EXPECT_EQ(one.m_tets[0].nbr[k], -1);
}

TEST(TetNeighbourTest, CubeNeighboursAreSymmetric) {
    auto data = testmesh::cube(3);
    TTetMesh mesh{data.verts, data.tets};
    DiagCapture diag;
    calcNeighbor(mesh);
    EXPECT_EQ(diag.text(), "");
    int boundary = 0;
    for (size_t i = 0; i < mesh.m_tets.size(); ++i)
        for (int k = 0; k < 4; ++k) {
            const int j = mesh.m_tets[i].nbr[k];
            if (j == -1) {
                ++boundary;
                continue;
            }
            const Tetra& other = mesh.m_tets[j];
            EXPECT_TRUE(other.nbr[0] == int(i) || other.nbr[1] == int(i) || other.nbr[2] == int(i) ||
                        other.nbr[3] == int(i));
        }
    EXPECT_EQ(boundary, 6 * 9 * 2);  // two triangles per boundary square
}

/// A cube of tetrahedra with its vertices renumbered and its tetrahedra reordered, so that no
/// neighbour follows from the build order.
TTetMesh shuffledCube() {
    const testmesh::TetData data = testmesh::cube(4);
    const int nv = static_cast<int>(data.verts.size()), nt = static_cast<int>(data.tets.size());
    TTetMesh mesh;
    mesh.m_verts.resize(nv);
    for (int v = 0; v < nv; ++v) mesh.m_verts[(v * 37) % nv] = data.verts[v];  // 37 is prime to 125
    for (int t = 0; t < nt; ++t) {
        const Tetra& src = data.tets[(t * 7 + 3) % nt];
        mesh.m_tets.push_back(testmesh::makeTet((src.vIdx[0] * 37) % nv, (src.vIdx[1] * 37) % nv,
                                                (src.vIdx[2] * 37) % nv, (src.vIdx[3] * 37) % nv));
    }
    return mesh;
}

TEST(TetNeighbourTest, FaceMatchingAgreesWithIncidenceSearch) {
    // The sorted-face matching serves sound meshes; a tetrahedron that repeats a corner sends the
    // whole mesh to the incidence-list search. Both must name the same neighbour across every face.
    TTetMesh fast = shuffledCube();
    ASSERT_EQ(fast.m_verts.size(), 125u);
    TTetMesh general = fast;
    const int nt = static_cast<int>(fast.m_tets.size());
    general.m_verts.push_back({9, 9, 9});
    general.m_tets.push_back(testmesh::makeTet(125, 125, 0, 1));
    DiagCapture diag;
    calcNeighbor(fast);
    EXPECT_EQ(diag.text(), "");
    calcNeighbor(general);
    int inner = 0;
    for (int t = 0; t < nt; ++t)
        for (int k = 0; k < 4; ++k) {
            ASSERT_EQ(fast.m_tets[t].nbr[k], general.m_tets[t].nbr[k]) << "tetrahedron " << t << " face " << k;
            inner += fast.m_tets[t].nbr[k] >= 0;
        }
    EXPECT_EQ(inner, 4 * nt - 6 * 16 * 2);  // every face but the cube's 2 x 16 x 6 boundary triangles
}

TEST(VertexStarTest, StarsAreTheCornersOfEachVertexsTetrahedraOnAnyThreadCount) {
    const TTetMesh mesh = shuffledCube();
    const int nv = static_cast<int>(mesh.m_verts.size());
    std::vector<std::set<int>> expected(nv + 1);  // one vertex more, used by no tetrahedron
    for (const Tetra& t : mesh.m_tets)
        for (int a : t.vIdx) expected[a].insert(t.vIdx, t.vIdx + 4);
    for (int threads : {1, 2}) {
        omp_set_num_threads(threads);
        std::vector<int> start, list;
        buildVertexStars(mesh.m_tets, nv + 1, start, list);
        ASSERT_EQ(start.size(), static_cast<size_t>(nv) + 2);
        for (int v = 0; v <= nv; ++v)
            EXPECT_EQ(std::vector<int>(list.begin() + start[v], list.begin() + start[v + 1]),
                      std::vector<int>(expected[v].begin(), expected[v].end()))
                << "vertex " << v << " on " << threads << " threads";
    }
}

TEST(TetNeighbourTest, FaceSharedByThreeTetrahedraStopsWithMessage) {
    testmesh::TetData data = testmesh::twoTets();
    data.verts.push_back({1, 1, 0.5});
    data.tets.push_back(testmesh::makeTet(5, 1, 3, 2));  // a third tetrahedron on face (1, 2, 3)
    TTetMesh mesh{data.verts, data.tets};
    DiagCapture diag;
    calcNeighbor(mesh);
    EXPECT_EQ(diag.text(), "error in calcNeighbor()   0  !!!!!!!!!!\n");
    for (int k = 0; k < 4; ++k) EXPECT_EQ(mesh.m_tets[1].nbr[k], -1);  // never reached
}

TEST(TetNormalTest, NormalsFaceInwardsAndDegenerateStaysZero) {
    auto data = testmesh::singleTet();
    TTetMesh mesh{data.verts, data.tets};
    const auto normals = calcFaceNormals(mesh);
    const vec3 centroid(0.25, 0.25, 0.25);
    for (int k = 0; k < 4; ++k) {
        const vec3& n = normals[0][k];
        EXPECT_NEAR(n.norm(), 1.0, 1e-12);
        const vec3 onFace = mesh.m_verts[mesh.m_tets[0].vIdx[kFaceCornersInward[k][0]]];
        EXPECT_GT(n.dot(centroid - onFace), 0.0) << "face " << k;
    }
    TTetMesh flat{{{0, 0, 0}, {1, 0, 0}, {2, 0, 0}, {0, 0, 1}}, {testmesh::makeTet(0, 1, 2, 3)}};
    EXPECT_EQ(calcFaceNormals(flat)[0][3], vec3());  // corners 0, 1, 2 are collinear
}

}  // namespace
