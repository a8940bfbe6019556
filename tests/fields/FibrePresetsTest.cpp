// Fibre presets: ring presets about the vertical axis, layered spirals and uniform directions.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>

#include "common/TestMeshes.h"
#include "fields/FibrePresets.h"
#include "fields/FieldTestSupport.h"
#include "fields/TTensorField.h"
#include "linalg/Diagnostics.h"

namespace {

constexpr double kTol = 1e-12;

void expectNear(const vec3& a, const vec3& b, double tol = kTol) {
    EXPECT_NEAR((a - b).norm(), 0.0, tol) << a.x << " " << a.y << " " << a.z;
}

int presetIndex(const char* menuText) {
    for (int i = 0; i < kFibrePresetCount; ++i) {
        if (std::strcmp(kFibrePresets[i].menuText, menuText) == 0) return i;
    }
    return -1;
}

class FibrePresets : public ::testing::Test {
protected:
    void SetUp() override {
        tube = testmesh::tube();
        fieldtest::linkFaceNeighbours(tube);
        DiagCapture quiet;
        field.initOrientationField(tube.tets, tube.verts);
    }
    void apply(const char* menuText) {
        DiagCapture quiet;
        ASSERT_TRUE(applyFibrePreset(presetIndex(menuText), field, tube.tets, tube.verts)) << menuText;
    }
    // Horizontal unit direction from vertex j towards the vertical line through the centroid.
    vec3 inward(int j) const {
        vec3 centre;
        for (const vec3& p : tube.verts) centre += p;
        centre /= static_cast<double>(tube.verts.size());
        vec3 u(centre.x - tube.verts[j].x, 0, centre.z - tube.verts[j].z);
        return u / u.norm();
    }
    testmesh::TetData tube;
    TTensorField field;
};

}  // namespace

TEST_F(FibrePresets, UniformPresetsGiveTheirFixedDirections) {
    const struct {
        const char* text;
        vec3 primary;
    } cases[] = {
        {"Fib Hori", {0, 1, 0}}, {"Fib Vert", {-1, 0, 0}}, {"Fib Slant", {-std::sqrt(0.5), std::sqrt(0.5), 0}}};
    for (const auto& c : cases) {
        apply(c.text);
        ASSERT_EQ(field.m_frames.size(), tube.verts.size());
        for (const TVertexFrame& f : field.m_frames) {
            expectNear(f.m_primaryDir, c.primary, 1e-14);
            EXPECT_EQ(f.m_depthDir, vec3(0, 0, 1));
            expectNear(f.m_thirdDir, vec3(c.primary.y, -c.primary.x, 0), 1e-14);
        }
    }
}

TEST_F(FibrePresets, RingPresetsTurnAboutTheVerticalAxis) {
    apply("Fib Circle");
    for (size_t j = 0; j < tube.verts.size(); ++j) {
        const TVertexFrame& f = field.m_frames[j];
        const vec3 u = inward(static_cast<int>(j));
        expectNear(f.m_depthDir, u);
        // Circumferential: horizontal, unit, across the inward direction.
        EXPECT_NEAR(f.m_primaryDir.y, 0.0, 1e-12);
        EXPECT_NEAR(f.m_primaryDir.norm(), 1.0, kTol);
        EXPECT_NEAR(f.m_primaryDir.dot(u), 0.0, kTol);
        expectNear(f.m_thirdDir, f.m_primaryDir.cross(f.m_depthDir));
    }
    const std::vector<TVertexFrame> circle = field.m_frames;

    apply("Fib Vertical");
    for (const TVertexFrame& f : field.m_frames) EXPECT_EQ(f.m_primaryDir, vec3(0, 1, 0));

    apply("Fib Spiral      60");  // 150 degrees
    for (size_t j = 0; j < tube.verts.size(); ++j) {
        const vec3 u = inward(static_cast<int>(j));
        const double s = std::sin(presetRadians(150.0)), c = std::cos(presetRadians(150.0));
        expectNear(field.m_frames[j].m_primaryDir, vec3(-u.z * s, c, u.x * s));
    }

    apply("Fib Inv Spiral  0");
    for (size_t j = 0; j < tube.verts.size(); ++j) {
        expectNear(field.m_frames[j].m_primaryDir, circle[j].m_primaryDir, 0.0);
        expectNear(field.m_frames[j].m_thirdDir, circle[j].m_thirdDir, 0.0);
    }
}

TEST_F(FibrePresets, LayeredSpiralStepsByVertexNumber) {
    apply("Fib Inv Spiral 90");
    const double expectedY[4] = {1.0, 0.5, -0.5, -1.0};  // cos of 0, 60, 120 and 180 degrees
    for (int j : {0, 29, 30, 59, 60, 89, 90, 119, 120, 149, 1199}) {
        const int group = (j % 120) / 30;
        EXPECT_NEAR(field.m_frames[j].m_primaryDir.y, expectedY[group], 1e-12) << j;
        EXPECT_NEAR(field.m_frames[j].m_primaryDir.norm(), 1.0, kTol);
    }
}

TEST_F(FibrePresets, VertexOnTheAxisKeepsTheVerticalWithZeroDepth) {
    const testmesh::TetData block = fieldtest::linkedGrid(2, 2, 2, 1.0);  // centroid (1, 1, 1)
    TTensorField f;
    DiagCapture quiet;
    ASSERT_TRUE(applyRingPreset(f, block.tets, block.verts, kRingCircle, 0.0));
    for (int j = 0; j < 3; ++j) {
        const int onAxis = (1 * 3 + j) * 3 + 1;  // x = 1, z = 1
        ASSERT_EQ(block.verts[onAxis], vec3(1, j, 1));
        EXPECT_EQ(f.m_frames[onAxis].m_depthDir, vec3(0, 0, 0));
        EXPECT_EQ(f.m_frames[onAxis].m_primaryDir, vec3(0, 1, 0));
        EXPECT_EQ(f.m_frames[onAxis].m_thirdDir, vec3(0, 0, 0));
    }
}

TEST_F(FibrePresets, PresetsKeepStrokesAndDepthAndRebuildTheLines) {
    field.m_strokes.emplace_back(3);
    addConstraintAtVertex(field.m_depthField.m_constraints, tube.verts, 5, 0.5);
    field.m_depthField.m_value[7] = 0.25;
    apply("Fib Inv Spiral 60");
    EXPECT_EQ(field.m_strokes.size(), 1u);
    EXPECT_EQ(field.m_depthField.m_constraints.size(), 1u);
    EXPECT_EQ(field.m_depthField.m_value[7], 0.25);
    EXPECT_TRUE(field.m_fibreLines[0].empty());
    EXPECT_FALSE(field.m_fibreLines[1].empty());

    const std::vector<TVertexFrame> before = field.m_frames;
    DiagCapture capture;
    EXPECT_FALSE(applyRingPreset(field, tube.tets, tube.verts, 4, 0.0));
    EXPECT_FALSE(applyFibrePreset(12, field, tube.tets, tube.verts));
    EXPECT_TRUE(capture.contains("unknown preset kind 4"));
    for (size_t j = 0; j < before.size(); ++j) EXPECT_EQ(field.m_frames[j].m_primaryDir, before[j].m_primaryDir);
}

TEST(FibrePresetTable, AnglesAndMenuTexts) {
    EXPECT_DOUBLE_EQ(presetRadians(90.0), 1.570796326794895);
    EXPECT_DOUBLE_EQ(presetRadians(60.0), 1.0471975511965967);
    EXPECT_DOUBLE_EQ(presetRadians(75.0), 1.3089969389957459);
    for (const char* text : {"Fib Circle", "Fib Vertical", "Fib Spiral      60", "Fib Inv Spiral  0",
                             "Fib Inv Spiral 30", "Fib Inv Spiral 45", "Fib Inv Spiral 60", "Fib Inv Spiral 75",
                             "Fib Inv Spiral 90", "Fib Vert", "Fib Hori", "Fib Slant"}) {
        EXPECT_GE(presetIndex(text), 0) << text;
    }
}
