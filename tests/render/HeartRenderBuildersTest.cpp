// The GL-free parts of the heart passes: colour-ramp texels, sampling through surface-vertex
// sources, depth bands, vertex batches, chamber colours, the shader's stage sources and the eye.
#include <gtest/gtest.h>

#include <cmath>
#include <numeric>

#include "common/TriangleMeshTestAccess.h"
#include "mesh/ScreenProjection.h"
#include "render/ColourRamps.h"
#include "render/HeartRenderer.h"
#include "render/SurfaceBuffers.h"

namespace {

constexpr double kTol = 1e-12;

SurfaceVertexSource on(int a) { return {false, a, -1, 0.0}; }
SurfaceVertexSource blend(int a, int b, double t) { return {true, a, b, t}; }

/// A closed tetrahedron surface (4 vertices, 4 outward triangles).
std::vector<vec3> tetPositions() { return {vec3(0, 0, 0), vec3(1, 0, 0), vec3(0, 1, 0), vec3(0, 0, 1)}; }
std::vector<TTriangleMesh::Tri> tetTriangles() { return {{1, 2, 3}, {0, 3, 2}, {0, 1, 3}, {0, 2, 1}}; }

}  // namespace

TEST(ColourRampTest, TexelTablesHaveTheirSizesAndEndColours) {
    const std::vector<RampTexel> red = redRampTexels();
    ASSERT_EQ(red.size(), 255u);  // not 256
    EXPECT_EQ(red[0], (RampTexel{0, 70, 50}));
    EXPECT_EQ(red[254], (RampTexel{254, 70, 50}));

    const std::vector<RampTexel> green = greenRampTexels();
    ASSERT_EQ(green.size(), 128u);
    EXPECT_EQ(green[0], (RampTexel{0, 0, 0}));
    EXPECT_EQ(green[64], (RampTexel{0, 127, 0}));
    EXPECT_EQ(green[127], (RampTexel{0, 253, 0}));

    const std::vector<RampTexel> rainbow = rainbowRampTexels();
    ASSERT_EQ(rainbow.size(), 128u);
    EXPECT_EQ(rainbow[0], (RampTexel{255, 0, 0}));
    EXPECT_EQ(rainbow[32], (RampTexel{255, 255, 0}));
    EXPECT_EQ(rainbow[64], (RampTexel{0, 255, 0}));
    EXPECT_EQ(rainbow[96], (RampTexel{0, 255, 255}));
    EXPECT_EQ(rainbow[127], (RampTexel{0, 8, 255}));
    // Between the named colours each channel moves monotonically: red falls, blue rises.
    for (int i = 1; i < 128; ++i) {
        EXPECT_LE(rainbow[i][0], rainbow[i - 1][0]) << i;
        EXPECT_GE(rainbow[i][2], rainbow[i - 1][2]) << i;
    }
}

TEST(ColourRampTest, ClampWrappingPicksTheEndTexelsOutsideTheUnitRange) {
    const std::vector<RampTexel> green = greenRampTexels();
    // A phase of 1.0 shows the last texel, one of 0.5 the middle of the ramp.
    EXPECT_EQ(green[rampTexelIndex(1.0, 128)][1], 253);
    EXPECT_EQ(rampTexelIndex(0.5, 128), 64);
    EXPECT_EQ(rampTexelIndex(0.0, 128), 0);
    // Negative amplitudes take the darkest red texel, values past 1 the brightest.
    EXPECT_EQ(rampTexelIndex(-1.0, 255), 0);
    EXPECT_EQ(rampTexelIndex(1.7, 255), 254);
    EXPECT_EQ(rampTexelIndex(std::nan(""), 128), 0);
    EXPECT_EQ(rampTexelIndex(0.999, 128), 127);
}

TEST(SurfaceSamplingTest, PlainAndBlendVerticesSampleThroughTheirSources) {
    const std::vector<double> values = {2.0, 6.0, -1.0};
    std::vector<double> out = {99.0};
    const int unresolved = sampleThroughSources({on(1), blend(0, 1, 0.25), blend(1, 2, 1.0), on(2)}, values, out);
    EXPECT_EQ(unresolved, 0);
    ASSERT_EQ(out.size(), 4u);
    EXPECT_DOUBLE_EQ(out[0], 6.0);
    EXPECT_DOUBLE_EQ(out[1], 0.75 * 2.0 + 0.25 * 6.0);
    EXPECT_DOUBLE_EQ(out[2], -1.0);
    EXPECT_DOUBLE_EQ(out[3], -1.0);

    // A source that points past the values (a field of the wrong length) samples 0, not memory.
    const int bad = sampleThroughSources({on(5), blend(0, 9, 0.5), on(-1), on(0)}, values, out);
    EXPECT_EQ(bad, 3);
    EXPECT_EQ(out, (std::vector<double>{0.0, 0.0, 0.0, 2.0}));
}

TEST(DepthBandTest, ATriangleFallsInTheBandOfItsDeepestCorner) {
    EXPECT_EQ(depthBand(0.0, 0.0, 0.1), 0);
    EXPECT_EQ(depthBand(0.0, 0.6, 0.1), 1);
    EXPECT_EQ(depthBand(0.0, 0.0, 0.7), 2);  // one corner at 0.7 is enough
    EXPECT_EQ(depthBand(0.11, 0.0, 0.0), 1);
    EXPECT_EQ(depthBand(std::nan(""), 0.0, 0.0), 2);

    // Four triangles over five vertices; walked in the order 3, 0, 2, 1.
    const std::vector<TTriangleMesh::Tri> triangles = {{0, 1, 2}, {2, 3, 4}, {0, 1, 4}, {0, 1, 3}};
    const std::vector<double> depth = {0.0, 0.05, 0.7, 0.3, 0.1};
    std::vector<char> marks = {1, 1};  // stale from a smaller surface
    std::vector<int> out;
    orderByDepthBands(triangles, {3, 0, 2, 1}, depth, marks, out);
    // Band 0: triangle 2; band 1: triangle 3; band 2 keeps the walk's order: 0 then 1.
    EXPECT_EQ(out, (std::vector<int>{2, 3, 0, 1}));
    EXPECT_EQ(marks, (std::vector<char>{1, 1, 1, 1}));

    // The next frame with shallower depths starts from cleared marks.
    orderByDepthBands(triangles, {3, 0, 2, 1}, {0, 0, 0, 0, 0}, marks, out);
    EXPECT_EQ(out, (std::vector<int>{3, 0, 2, 1}));
}

TEST(DrawOrderTest, AStaleOrderIsRebuiltAndForeignEntriesNeverReachTheBatch) {
    TLSMModel model;
    ASSERT_EQ(model.m_surface.initialize(tetPositions(), tetTriangles()), 1);
    model.m_triDrawOrder.clear();
    std::vector<int> order = validDrawOrder(model);
    // The pass only reads the model: the fresh order is the one the model's own refresh stores.
    EXPECT_TRUE(model.m_triDrawOrder.empty());
    model.buildDrawOrder();
    EXPECT_EQ(order, model.m_triDrawOrder);
    std::vector<int> sorted = order;
    std::sort(sorted.begin(), sorted.end());
    EXPECT_EQ(sorted, (std::vector<int>{0, 1, 2, 3}));
    // Lowest z sum first: triangle 3 (0, 2, 1) lies in the plane z = 0.
    EXPECT_EQ(order.front(), 3);

    // An order of the right length with bad entries keeps only the valid ones, once each.
    model.m_triDrawOrder = {2, 7, 2, -1};
    EXPECT_EQ(validDrawOrder(model), (std::vector<int>{2}));
}

TEST(SurfaceBatchTest, CornersTakeFlatOrSmoothNormalsAndTheirTextureCoordinates) {
    TTriangleMesh mesh;
    ASSERT_EQ(mesh.initialize(tetPositions(), tetTriangles()), 1);
    const std::vector<int16_t> tags = {0, 0, 0, 1};  // vertex 3 lies on a cut rim
    const std::vector<double> coords = {0.1, 0.2, 0.3, 0.4};
    SurfaceBatch batch;
    buildSurfaceBatch(mesh, tags, {0, 5, 2}, &coords, SurfaceBatchOptions(), batch);
    ASSERT_EQ(batch.cornerCount(), 6);  // triangle 5 does not exist
    ASSERT_EQ(batch.texCoords.size(), 6u);
    auto normalAt = [&](int corner) {
        return vec3(batch.normals[3 * corner], batch.normals[3 * corner + 1], batch.normals[3 * corner + 2]);
    };
    auto near = [](const vec3& a, const vec3& b) { return (a - b).norm() < 1e-6; };
    // Triangle 0 = (1, 2, 3): corner 2 is vertex 3 and takes the triangle's normal.
    EXPECT_TRUE(near(normalAt(0), mesh.vertexNormals()[1]));
    EXPECT_TRUE(near(normalAt(1), mesh.vertexNormals()[2]));
    EXPECT_TRUE(near(normalAt(2), mesh.polyNormals()[0]));
    EXPECT_FALSE(near(mesh.vertexNormals()[3], mesh.polyNormals()[0]));
    EXPECT_FLOAT_EQ(batch.texCoords[0], 0.2f);
    EXPECT_FLOAT_EQ(batch.texCoords[2], 0.4f);
    // Triangle 2 = (0, 1, 3) follows: its third corner is vertex 3 with triangle 2's normal.
    EXPECT_TRUE(near(normalAt(5), mesh.polyNormals()[2]));
    EXPECT_FLOAT_EQ(batch.positions[3 * 3 + 0], 0.0f);

    // Reversed winding emits corners 0, 2, 1; without the tag rule every corner is smooth.
    SurfaceBatchOptions reversed;
    reversed.flatShadingTags = false;
    reversed.reverseWinding = true;
    buildSurfaceBatch(mesh, tags, {0}, nullptr, reversed, batch);
    ASSERT_EQ(batch.cornerCount(), 3);
    EXPECT_TRUE(batch.texCoords.empty());
    const vec3 second(batch.positions[3], batch.positions[4], batch.positions[5]);
    EXPECT_EQ(second, vec3(0, 0, 1));  // vertex 3, the original third corner
    EXPECT_TRUE(near(normalAt(1), mesh.vertexNormals()[3]));
}

TEST(SurfaceBatchTest, TheIndexedArraysGiveEveryCornerTheBatchsPositionNormalAndCoordinate) {
    TTriangleMesh mesh;
    ASSERT_EQ(mesh.initialize(tetPositions(), tetTriangles()), 1);
    TTriangleMeshTestAccess::polys(mesh).push_back({0, 1, 9});  // a corner outside the mesh
    TTriangleMeshTestAccess::polyNormals(mesh).push_back(vec3(0, 0, 1));
    const std::vector<int16_t> tags = {0, 1, 0, 1};
    const std::vector<double> coords = {0.1, 0.2, 0.3, 0.4};
    const std::vector<int> order = {4, 2, 0, 7, 3, 1};
    for (const bool flat : {true, false})
        for (const bool reversed : {false, true}) {
            SurfaceBatchOptions options;
            options.flatShadingTags = flat;
            options.reverseWinding = reversed;
            SurfaceBatch batch;
            buildSurfaceBatch(mesh, tags, order, &coords, options, batch);
            SurfaceVertexArrays arrays;
            buildSurfaceVertexArrays(mesh, tags, flat, arrays);
            std::vector<std::uint32_t> indices;
            surfaceTriangleIndices(arrays, order, reversed, indices);
            std::vector<float> texCoords;
            surfaceTexCoords(arrays, coords, texCoords);
            ASSERT_EQ(static_cast<int>(indices.size()), batch.cornerCount()) << flat << reversed;
            ASSERT_EQ(batch.cornerCount(), 12);  // triangles 4 and 7 are left out
            for (size_t c = 0; c < indices.size(); ++c) {
                const std::uint32_t i = indices[c];
                ASSERT_LT(static_cast<int>(i), arrays.vertexCount());
                for (int k = 0; k < 3; ++k) {
                    EXPECT_EQ(arrays.positions[3 * i + k], batch.positions[3 * c + k]) << c;
                    EXPECT_EQ(arrays.normals[3 * i + k], batch.normals[3 * c + k]) << c << " flat " << flat;
                }
                EXPECT_EQ(texCoords[i], batch.texCoords[c]);
            }
            // Only the corners at tagged vertices get vertices of their own.
            EXPECT_EQ(arrays.vertexCount(), flat ? 4 + 2 * 3 : 4);
        }

    // Coordinates of the wrong length give 0 everywhere, as in the batch.
    SurfaceVertexArrays arrays;
    buildSurfaceVertexArrays(mesh, tags, true, arrays);
    std::vector<float> texCoords;
    surfaceTexCoords(arrays, {0.5, 0.5}, texCoords);
    EXPECT_EQ(texCoords, std::vector<float>(static_cast<size_t>(arrays.vertexCount()), 0.0f));
}

TEST(ChamberColourTest, EachChamberHasItsColourAndUnknownIdsTakeTheLeftAtrium) {
    EXPECT_EQ(chamberDiffuse(0), (Rgba{0.4f, 0.4f, 0.4f, 0.4f}));
    EXPECT_EQ(chamberAmbient(0), (Rgba{0.6f, 0.6f, 0.6f, 0.4f}));
    EXPECT_EQ(chamberDiffuse(1), (Rgba{0.9f, 0.6f, 0.2f, 0.7f}));
    EXPECT_EQ(chamberDiffuse(2), (Rgba{0.9f, 0.2f, 0.5f, 0.7f}));
    EXPECT_EQ(chamberDiffuse(3), (Rgba{0.6f, 0.2f, 0.9f, 0.7f}));
    EXPECT_EQ(chamberDiffuse(4), (Rgba{0.2f, 0.6f, 0.9f, 0.7f}));
    EXPECT_EQ(chamberDiffuse(9), chamberDiffuse(4));
    EXPECT_EQ(chamberAmbient(2), chamberDiffuse(2));

    const vec3 n = wallTriangleNormal(vec3(0, 0, 0), vec3(2, 0, 0), vec3(0, 3, 0));
    EXPECT_NEAR((n - vec3(0, 0, 1)).norm(), 0.0, kTol);
    EXPECT_EQ(wallTriangleNormal(vec3(1, 1, 1), vec3(2, 2, 2), vec3(3, 3, 3)), vec3());
}

TEST(HeartShaderSourceTest, EachStageGetsItsEntryPointAfterTheVersionLine) {
    const std::string file = "uniform mat4 modelViewMat;\nvoid Vert_Main() {}\n";
    const std::string vertex = heartShaderStageSource(file, true);
    EXPECT_EQ(vertex.rfind("#version 120\n", 0), 0u);
    EXPECT_NE(vertex.find("#define VERTEX_PROGRAM"), std::string::npos);
    EXPECT_NE(vertex.find("#define Vert_Main main"), std::string::npos);
    EXPECT_EQ(vertex.find("FRAGMENT_PROGRAM"), std::string::npos);
    EXPECT_NE(vertex.find(file), std::string::npos);

    const std::string fragment = heartShaderStageSource(file, false);
    EXPECT_NE(fragment.find("#define Frag_Main main"), std::string::npos);
    EXPECT_EQ(fragment.find("VERTEX_PROGRAM"), std::string::npos);

    // A file with its own version keeps it first, and only once.
    const std::string versioned = heartShaderStageSource("\n#version 130\nvoid Frag_Main() {}\n", false);
    EXPECT_EQ(versioned.rfind("#version 130\n", 0), 0u);
    EXPECT_EQ(versioned.find("#version", 1), std::string::npos);
    EXPECT_NE(versioned.find("void Frag_Main() {}"), std::string::npos);
}

TEST(HeartShaderSourceTest, TheEyeIsRecoveredFromTheModelViewMatrix) {
    double mv[16];
    const vec3 eye(20, 20, 60);
    lookAtMatrix(eye, vec3(20, 20, 20), vec3(0, 1, 0), mv);
    EXPECT_NEAR((eyeFromModelView(mv) - eye).norm(), 0.0, 1e-9);
    const vec3 tilted(-3, 7, 2.5);
    lookAtMatrix(tilted, vec3(1, 0, -4), vec3(0.2, 1, 0.1), mv);
    EXPECT_NEAR((eyeFromModelView(mv) - tilted).norm(), 0.0, 1e-9);
    const double singular[16] = {0};
    EXPECT_EQ(eyeFromModelView(singular), vec3());
}
