// Chamber volumes and the wall-thickness probe.
#include <gtest/gtest.h>

#include <cstdio>
#include <sstream>

#include "GeometryTestSupport.h"
#include "model/Measurements.h"

namespace {

using geomtest::box;
using geomtest::setUpModel;

std::vector<TTriIndices> outwardSurface(const TLSMModel& model) {
    std::vector<TTriIndices> out;
    for (const TTriangleMesh::Tri& t : model.m_surface.polys())
        out.push_back(
            {model.m_surfVtxSource[t[0]].vertA, model.m_surfVtxSource[t[1]].vertA, model.m_surfVtxSource[t[2]].vertA});
    return out;
}

TEST(ChamberVolumeTest, EmptyModelGivesFourZeros) {
    TLSMModel model;
    EXPECT_EQ(model.computeChamberVolumes(), (std::array<double, 4>{0, 0, 0, 0}));
}

TEST(ChamberVolumeTest, SignFollowsTheTriangleOrientation) {
    TLSMModel model;
    setUpModel(model, testmesh::cube(2));
    model.m_trisVR = outwardSurface(model);
    model.m_trisAL = model.m_trisVR;
    for (TTriIndices& t : model.m_trisAL) std::swap(t[1], t[2]);
    // Far from the origin the cones no longer cancel triangle by triangle; a closed set still
    // measures its own volume.
    for (vec3& p : model.m_verts) p += vec3(30, -7, 12);
    const std::array<double, 4> v = model.computeChamberVolumes();
    EXPECT_NEAR(v[0], -8.0, 1e-9);
    EXPECT_EQ(v[1], 0.0);
    EXPECT_EQ(v[2], 0.0);
    EXPECT_NEAR(v[3], 8.0, 1e-9);
}

TEST(ChamberVolumeTest, TrianglesWithIndicesOutsideTheModelAreSkipped) {
    TLSMModel model;
    setUpModel(model, testmesh::cube(1));
    model.m_trisVL = {{0, 1, 99999}, {0, -1, 2}};
    EXPECT_EQ(model.computeChamberVolumes()[1], 0.0);
}

/// A 1 x 1 column over the probe's (x, y), from z to z + cells * height: the probe runs through the
/// diagonal shared by the two triangles of its top and bottom squares.
testmesh::TetData column(double z, int cells, double height) { return box({25, 13, z}, 1, 1, cells, {1, 1, height}); }

std::string probeText(const testmesh::TetData& data) {
    TLSMModel model;
    setUpModel(model, data);
    return wallThicknessProbeText(model.m_surface);
}

TEST(WallProbeTest, MeasuresTwoWallsWithShiftJisLabels) {
    const std::string expected = std::string("\x8c\xf0\x93\x5f") + "z0123 0.000000 2.000000 5.000000 8.000000  " +
                                 "\x8c\xfa\x82\xdd" + "1-2  2.000000 3.000000  \n";
    EXPECT_EQ(probeText(geomtest::merge(column(0, 2, 1), column(5, 3, 1))), expected);
}

TEST(WallProbeTest, CrossingsOnASharedEdgeCountOnce) {
    TLSMModel model;
    setUpModel(model, column(0, 2, 1));
    // Both triangles of each square report the crossing at the same height.
    EXPECT_EQ(probeCrossingHeights(model.m_surface), (std::vector<double>{0.0, 2.0}));
    // Two distinct heights: the short form without a line feed.
    EXPECT_EQ(wallThicknessProbeText(model.m_surface), "cant find 4 points");
}

TEST(WallProbeTest, CloseCrossingsAreDroppedBeforeCounting) {
    // A 0.3-thick plate between the walls: its upper face lies within 0.5 of its lower one.
    const testmesh::TetData plate = column(3, 1, 0.3);
    const std::string expected = std::string("\x8c\xf0\x93\x5f") + "z0123 0.000000 2.000000 3.000000 5.000000  " +
                                 "\x8c\xfa\x82\xdd" + "1-2  2.000000 2.000000  \n";
    EXPECT_EQ(probeText(geomtest::merge(geomtest::merge(column(0, 2, 1), plate), column(5, 3, 1))), expected);
    // Four distinct heights, three once thinned: the long form with a line feed.
    EXPECT_EQ(probeText(geomtest::merge(column(0, 2, 1), plate)), "cant find 4 points\n");
}

TEST(WallProbeTest, WritesTheSameBytesToFilesAndStreams) {
    TLSMModel model;
    setUpModel(model, geomtest::merge(column(0, 2, 1), column(5, 3, 1)));
    const std::string expected = wallThicknessProbeText(model.m_surface);

    std::FILE* file = std::tmpfile();
    ASSERT_NE(file, nullptr);
    EXPECT_TRUE(probeWallThickness(model, file));
    std::rewind(file);
    char buffer[256] = {};
    const size_t got = std::fread(buffer, 1, sizeof buffer, file);
    std::fclose(file);
    EXPECT_EQ(std::string(buffer, got), expected);

    std::ostringstream stream;
    EXPECT_TRUE(probeWallThickness(model, stream));
    EXPECT_EQ(stream.str(), expected);

    EXPECT_FALSE(probeWallThickness(model, static_cast<std::FILE*>(nullptr)));
    // A miss writes its message and reports no measurement.
    TLSMModel empty;
    std::ostringstream missed;
    EXPECT_FALSE(probeWallThickness(empty, missed));
    EXPECT_EQ(missed.str(), "cant find 4 points");
}

}  // namespace
