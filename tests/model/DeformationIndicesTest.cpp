// The deformation indices on the bundled heart against closed-form answers: rest and rigid motion
// give nothing, a prescribed twist, widening and shortening about the long axis come back, known
// points land in their AHA segments, the refusals, the run's end-systole and peaks, and the same
// bits without allocating on one thread and on two.
#include <gtest/gtest.h>
#include <omp.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <functional>

#include "common/AllocationProbe.h"
#include "common/TestFiles.h"
#include "linalg/Diagnostics.h"
#include "model/BeatMeasurements.h"
#include "model/DeformationIndices.h"
#include "model/TLSMModel.h"

namespace {

constexpr double kPi = 3.14159265358979323846;
/// Rounding left by an exact deformation, in percent or degrees.
constexpr double kExact = 1e-9;

/// x rotated by angle (radians, right-handed) about the unit axis through centre.
vec3 rotateAbout(const vec3& x, const vec3& centre, const vec3& axis, double angle) {
    const vec3 d = x - centre;
    return centre + d * std::cos(angle) + axis.cross(d) * std::sin(angle) +
           axis * (axis.dot(d) * (1 - std::cos(angle)));
}

class DeformationIndicesTest : public ::testing::Test {
   protected:
    static void SetUpTestSuite() {
        DiagCapture quiet;
        model = new TLSMModel;
        loaded = model->loadModel(testfiles::sourceDir() + "/models/ModelB");
    }
    static void TearDownTestSuite() { delete model; }
    void SetUp() override {
        ASSERT_TRUE(loaded);
        ASSERT_TRUE(indices.prepare(*model)) << indices.refusal();
        apex = model->m_vtxOrigPos[indices.apexVertex()];
        axis = indices.axisDirection();
    }

    /// The rest positions, each moved by f.
    std::vector<vec3> deformed(const std::function<vec3(const vec3&)>& f) const {
        std::vector<vec3> out;
        for (const vec3& p : model->m_vtxOrigPos) out.push_back(f(p));
        return out;
    }
    DeformationIndexValues measure(const std::vector<vec3>& positions) {
        DeformationIndexValues values;
        EXPECT_TRUE(indices.measure(positions, values));
        return values;
    }
    /// Scales the part of each offset from the apex along the axis by along, across it by across
    /// (by default the axis of `indices`).
    std::vector<vec3> scaledAboutAxis(double along, double across) const {
        return scaledAboutAxis(along, across, apex, axis);
    }
    std::vector<vec3> scaledAboutAxis(double along, double across, const vec3& from, const vec3& direction) const {
        return deformed([&](const vec3& p) {
            const vec3 d = p - from;
            const vec3 axial = direction * d.dot(direction);
            return from + axial * along + (d - axial) * across;
        });
    }

    static TLSMModel* model;
    static bool loaded;
    DeformationIndices indices;
    vec3 apex, axis;
};
TLSMModel* DeformationIndicesTest::model = nullptr;
bool DeformationIndicesTest::loaded = false;

TEST_F(DeformationIndicesTest, RestMeasuresZeroAndRigidMotionNoStrainNoTwist) {
    const DeformationIndexValues rest = measure(model->m_vtxOrigPos);
    ASSERT_TRUE(rest.available && rest.segmentsAvailable);
    for (double v :
         {rest.longitudinal, rest.circumferential, rest.radial, rest.apicalRotation, rest.basalRotation, rest.twist})
        EXPECT_NEAR(v, 0.0, kExact);
    int counted = 0;
    for (const SegmentStrains& s : rest.segments) {
        EXPECT_GT(s.tetrahedra, 50) << "every AHA segment holds part of the wall";
        EXPECT_NEAR(s.longitudinal, 0.0, kExact);
        counted += s.tetrahedra;
    }
    EXPECT_EQ(counted, indices.myocardiumTetrahedra());

    // Turned about a tilted axis and moved: nothing stretches, apex and base turn alike.
    const vec3 tilted = vec3(0.3, -0.5, 0.8) / vec3(0.3, -0.5, 0.8).norm();
    const DeformationIndexValues moved =
        measure(deformed([&](const vec3& p) { return rotateAbout(p, vec3(3, 1, -2), tilted, 0.9) + vec3(5, -7, 2); }));
    for (double v : {moved.longitudinal, moved.circumferential, moved.radial, moved.twist}) EXPECT_NEAR(v, 0.0, kExact);
    EXPECT_NEAR(moved.apicalRotation, moved.basalRotation, kExact);
    for (const SegmentStrains& s : moved.segments) EXPECT_NEAR(s.radial, 0.0, kExact);

    // Turned about the long axis by 20 degrees (right-handed, so clockwise seen from the apex).
    const DeformationIndexValues turned =
        measure(deformed([&](const vec3& p) { return rotateAbout(p, apex, axis, 20.0 * kPi / 180.0); }));
    EXPECT_NEAR(turned.apicalRotation, -20.0, kExact);
    EXPECT_NEAR(turned.basalRotation, -20.0, kExact);
    EXPECT_NEAR(turned.twist, 0.0, kExact);
}

TEST_F(DeformationIndicesTest, APrescribedTwistComesBackWithoutStrain) {
    // Turned counterclockwise seen from the apex by k h, h held within [0.3, 0.7]: the apical band
    // turns by 0.3 k, the basal band by 0.7 k, and the base stays on the axis.
    for (int v : indices.baseVertices()) ASSERT_GE(indices.heightAt(model->m_vtxOrigPos[v]), 0.7);
    const double k = 6.0;
    const DeformationIndexValues twisted = measure(deformed([&](const vec3& p) {
        const double h = std::clamp(indices.heightAt(p), 0.3, 0.7);
        return rotateAbout(p, apex, axis, -k * h * kPi / 180.0);
    }));
    EXPECT_NEAR(twisted.apicalRotation, 0.3 * k, kExact);
    EXPECT_NEAR(twisted.basalRotation, 0.7 * k, kExact);
    EXPECT_NEAR(twisted.twist, -0.4 * k, kExact);
    // Shear r dtheta/dz of at most about 0.1 stretches a fibre by half its square at most.
    for (double v : {twisted.longitudinal, twisted.circumferential, twisted.radial}) EXPECT_LT(std::fabs(v), 0.5);
}

TEST_F(DeformationIndicesTest, WideningAndShorteningAboutTheAxisGiveTheirStrains) {
    // Wider by 10 % across the axis: every circumferential direction stretches by exactly 10 %.
    const DeformationIndexValues wider = measure(scaledAboutAxis(1.0, 1.1));
    EXPECT_NEAR(wider.circumferential, 10.0, kExact);
    for (const SegmentStrains& s : wider.segments) {
        EXPECT_NEAR(s.circumferential, 10.0, kExact);
        EXPECT_GE(s.radial, -kExact);
        EXPECT_LE(s.radial, 10.0 + kExact);
    }
    EXPECT_NEAR(wider.apicalRotation, 0.0, kExact);
    EXPECT_NEAR(wider.twist, 0.0, kExact);

    // 10 % shorter along the axis: longitudinal and radial shorten by less than 10 %, around the
    // axis nothing changes.
    const DeformationIndexValues shorter = measure(scaledAboutAxis(0.9, 1.0));
    EXPECT_LT(shorter.longitudinal, -5.0) << "the wall runs mostly along the axis";
    EXPECT_GE(shorter.longitudinal, -10.0 - kExact);
    EXPECT_NEAR(shorter.circumferential, 0.0, kExact);
    EXPECT_LE(shorter.radial, kExact);
    EXPECT_GE(shorter.radial, -10.0 - kExact);
    for (const SegmentStrains& s : shorter.segments) {
        EXPECT_LT(s.longitudinal, 0.0);
        EXPECT_GE(s.longitudinal, -10.0 - kExact);
    }
    EXPECT_NEAR(shorter.twist, 0.0, kExact);
}

TEST_F(DeformationIndicesTest, KnownPointsFallInTheirSegments) {
    const vec3 septum = indices.septumDirection();
    const vec3 anterior = axis.cross(septum);  // 90 degrees clockwise from the septum seen from the apex
    const double length = indices.axisLength();
    // psi: degrees counterclockwise seen from the apex, from the septum.
    auto at = [&](double h, double psi) {
        const double a = psi * kPi / 180.0;
        return apex + axis * (h * length) + (septum * std::cos(a) - anterior * std::sin(a)) * (0.3 * length);
    };
    struct Case {
        double h, psi;
        int segment;
    };
    const Case cases[] = {{0.8, -90, 1},   {0.8, -61, 1},   {0.8, -59, 2}, {0.8, -1, 2},    {0.8, 1, 3},
                          {0.8, 90, 4},    {0.8, 150, 5},   {0.8, 179, 5}, {0.8, -179, 6},  {0.8, -121, 6},
                          {0.5, -90, 7},   {0.5, -30, 8},   {0.5, 30, 9},  {0.5, 90, 10},   {0.5, 150, 11},
                          {0.5, -150, 12}, {0.7, -30, 2},   {0.6, -30, 8}, {0.3, -30, 14},  {0.2, -90, 13},
                          {0.2, -46, 13},  {0.2, -44, 14},  {0.2, 44, 14}, {0.2, 90, 15},   {0.2, 134, 15},
                          {0.2, 136, 16},  {0.2, -136, 16}, {0.01, 0, 14}, {-0.01, 90, 17}, {-0.3, -90, 17},
                          {1.01, 0, 0}};
    for (const Case& c : cases)
        EXPECT_EQ(indices.segmentAt(at(c.h, c.psi)), c.segment) << "h " << c.h << ", " << c.psi << " degrees";

    // The right ventricle lies on the septal side: none of its wall falls in a lateral segment.
    for (const std::array<int, 3>& t : model->m_trisVR)
        for (int v : t) {
            const int s = indices.segmentAt(model->m_vtxOrigPos[v]);
            EXPECT_TRUE(s != 5 && s != 6 && s != 11 && s != 12 && s != 16) << "VR vertex " << v << " in segment " << s;
        }
}

TEST_F(DeformationIndicesTest, WithoutALeftWallNothingIsMeasuredWithoutARightWallNoSegments) {
    DeformationIndices none;
    EXPECT_FALSE(none.prepare(model->m_vtxOrigPos, model->m_tets, model->m_vtxIsVentriOrAtrium, {}, model->m_trisVR));
    EXPECT_EQ(none.refusal(), "no left-ventricular wall painted (VL): the deformation indices need it");
    DeformationIndexValues values;
    values.longitudinal = 1.0;
    EXPECT_FALSE(none.measure(model->m_vtxOrigPos, values));
    EXPECT_FALSE(values.available);
    EXPECT_EQ(values.longitudinal, 0.0);

    // Without the right wall every ventricle tetrahedron below the base counts, and the base takes in
    // the right ventricle's border with the atria too; globals only.
    DeformationIndices leftOnly;
    ASSERT_TRUE(
        leftOnly.prepare(model->m_vtxOrigPos, model->m_tets, model->m_vtxIsVentriOrAtrium, model->m_trisVL, {}));
    EXPECT_FALSE(leftOnly.hasSegments());
    EXPECT_GT(leftOnly.myocardiumTetrahedra(), indices.myocardiumTetrahedra());
    EXPECT_GT(leftOnly.baseVertices().size(), indices.baseVertices().size());
    const vec3 leftApex = model->m_vtxOrigPos[leftOnly.apexVertex()];
    ASSERT_TRUE(leftOnly.measure(scaledAboutAxis(1.0, 1.1, leftApex, leftOnly.axisDirection()), values));
    EXPECT_TRUE(values.available);
    EXPECT_FALSE(values.segmentsAvailable);
    EXPECT_NEAR(values.circumferential, 10.0, kExact);
    for (const SegmentStrains& s : values.segments) EXPECT_EQ(s.tetrahedra, 0);
    EXPECT_EQ(leftOnly.segmentAt(leftApex + leftOnly.axisDirection()), 0);

    // A vertex count that is not the model's is refused, not read past.
    std::vector<vec3> fewer(model->m_vtxOrigPos.begin(), model->m_vtxOrigPos.end() - 1);
    EXPECT_FALSE(indices.measure(fewer, values));
    EXPECT_FALSE(values.available);
}

TEST_F(DeformationIndicesTest, ASetUpKnowsWhetherItStillFitsTheModel) {
    const std::vector<TTriIndices> rightWall = model->m_trisVR;
    const vec3 restVertex = model->m_vtxOrigPos[3];
    const int16_t label = model->m_vtxIsVentriOrAtrium[7];
    EXPECT_TRUE(indices.isPreparedFor(*model));
    model->m_vtxIsVentriOrAtrium[7] = label == 2 ? 1 : 2;
    EXPECT_FALSE(indices.isPreparedFor(*model)) << "a painted label";
    model->m_vtxIsVentriOrAtrium[7] = label;
    model->m_trisVR.pop_back();
    EXPECT_FALSE(indices.isPreparedFor(*model)) << "a changed wall";
    model->m_trisVR = rightWall;
    EXPECT_TRUE(indices.isPreparedFor(*model));
    model->m_vtxOrigPos[3].x += 1e-9;
    EXPECT_FALSE(indices.isPreparedFor(*model)) << "a moved rest shape";
    model->m_vtxOrigPos[3] = restVertex;
    EXPECT_TRUE(indices.isPreparedFor(*model));
    TLSMModel other;
    EXPECT_FALSE(indices.isPreparedFor(other));
}

TEST_F(DeformationIndicesTest, TheSameBitsOnOneAndTwoThreadsWithoutAllocating) {
    const std::vector<vec3> state = deformed([&](const vec3& p) {
        const double h = indices.heightAt(p);
        const vec3 q = rotateAbout(p, apex, axis, 0.2 * h);
        return q + axis * (-0.05 * h * indices.axisLength()) + (q - apex) * 0.02 * std::sin(3 * h);
    });
    const int defaultThreads = omp_get_max_threads();
    indices.setParallelThreshold(0);  // the threads' loops even on this heart
    DeformationIndexValues one, two;
    omp_set_num_threads(1);
    indices.measure(state, one);
    omp_set_num_threads(2);
    indices.measure(state, two);  // the threads exist from here on
    size_t largest = 1;
    {
        AllocationProbe probe;
        indices.measure(state, two);
        largest = probe.largestBlock();
    }
    omp_set_num_threads(defaultThreads);
    EXPECT_EQ(largest, 0u);
    auto bits = [](const DeformationIndexValues& v) {
        std::vector<double> all = {v.longitudinal,   v.circumferential, v.radial,
                                   v.apicalRotation, v.basalRotation,   v.twist};
        for (const SegmentStrains& s : v.segments) all.insert(all.end(), {s.longitudinal, s.circumferential, s.radial});
        std::vector<unsigned char> bytes(all.size() * sizeof(double));
        std::memcpy(bytes.data(), all.data(), bytes.size());
        return bytes;
    };
    EXPECT_NE(one.longitudinal, 0.0);
    EXPECT_EQ(bits(one), bits(two));
}

TEST_F(DeformationIndicesTest, ARunKeepsItsEndSystoleAndPeaks) {
    BeatMeasurements run(*model);
    ASSERT_TRUE(run.deformationIndices().ready());
    const std::vector<std::vector<vec3>> ticks = {
        scaledAboutAxis(1.0, 1.1),  // wider: the largest volume
        scaledAboutAxis(0.9, 1.0),  // shorter
        scaledAboutAxis(0.8, 1.0),  // shortest: the smallest volume ...
        scaledAboutAxis(0.8, 1.0),  // ... twice: the earlier tick counts
        deformed([&](const vec3& p) { return rotateAbout(p, apex, axis, 0.3 * indices.heightAt(p)); }),
    };
    std::vector<DeformationIndexValues> expected;
    for (const std::vector<vec3>& positions : ticks) {
        model->m_verts = positions;
        run.addTick(*model);
        expected.push_back(run.lastIndices());
        ASSERT_TRUE(expected.back().available);
    }
    model->m_verts = model->m_vtxOrigPos;
    EXPECT_EQ(run.endSystoleTick(), 3);
    EXPECT_EQ(run.endSystoleIndices().longitudinal, expected[2].longitudinal);
    EXPECT_EQ(run.endSystoleIndices().segments[16].radial, expected[2].segments[16].radial);
    EXPECT_EQ(run.peaks().longitudinalTick, 3);
    EXPECT_EQ(run.peaks().longitudinal, expected[2].longitudinal);
    EXPECT_EQ(run.peaks().radialTick, 1);
    EXPECT_EQ(run.peaks().twistTick, 5);
    EXPECT_GT(run.peaks().twist, 1.0);
}

}  // namespace
