// openCARP meshes through velmora-cli: a torus written here (element fibres along its ring, half of
// them flipped, tetrahedra of both orientations, an unused node) imports with its counts, regions
// and fibres, keeps them in its project file across saves, loses them to a preset, and comes back
// out of export-carp with the same counts and matching fibres.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <nlohmann/json.hpp>

#include "common/TestFiles.h"
#include "fields/FibrePresets.h"
#include "io/TetGenFile.h"
#include "linalg/Diagnostics.h"
#include "mesh/TTetMesh.h"
#include "meshimport/CarpFile.h"
#include "model/ProjectFile.h"
#include "model/TLSMModel.h"

namespace {

using testfiles::RunResult;
using testfiles::TempDir;

constexpr double kPi = 3.14159265358979323846;
constexpr double kMajorRadius = 3.0, kInnerRadius = 0.5, kOuterRadius = 1.0;
constexpr int kRing = 24, kAround = 12, kLayers = 3;
// Element fibres brought to the vertices must lie within 8 degrees of the ring at 95 % of them.
const double kCos8Degrees = std::cos(8.0 * kPi / 180.0);

RunResult run(const std::string& args, const TempDir& dir) {
    return testfiles::runCommand("OMP_WAIT_POLICY=passive " + testfiles::binDir() + "/velmora-cli " + args, dir.path());
}

/// The unit tangent of the torus's ring at p: the analytic fibre.
vec3 ringTangent(const vec3& p) {
    const double angle = std::atan2(p.y, p.x);
    return vec3(-std::sin(angle), std::cos(angle), 0.0);
}

/// A thick torus shell cut into cells along ring, tube and wall, each cell into six tetrahedra.
struct TorusFiles {
    int vertices = kRing * kAround * (kLayers + 1);
    int tetrahedra = 6 * kRing * kAround * kLayers;
    int regionSeven = 0;
};

TorusFiles writeTorus(const std::string& base) {
    TorusFiles torus;
    auto index = [](int i, int j, int k) { return ((i % kRing) * kAround + (j % kAround)) * (kLayers + 1) + k; };
    std::vector<vec3> points;
    for (int i = 0; i < kRing; ++i)
        for (int j = 0; j < kAround; ++j)
            for (int k = 0; k <= kLayers; ++k) {
                const double u = 2 * kPi * i / kRing, v = 2 * kPi * j / kAround;
                const double r = kInnerRadius + (kOuterRadius - kInnerRadius) * k / kLayers;
                points.emplace_back((kMajorRadius + r * std::cos(v)) * std::cos(u),
                                    (kMajorRadius + r * std::cos(v)) * std::sin(u), r * std::sin(v));
            }
    points.emplace_back(100, 100, 100);  // used by no tetrahedron
    std::string pts = std::to_string(points.size()) + "\n", elem = std::to_string(torus.tetrahedra) + "\n", lon = "2\n";
    char line[200];
    for (const vec3& p : points) {
        std::snprintf(line, sizeof line, "%.12g %.12g %.12g\n", p.x, p.y, p.z);
        pts += line;
    }
    const int orders[6][3] = {{0, 1, 2}, {0, 2, 1}, {1, 0, 2}, {1, 2, 0}, {2, 0, 1}, {2, 1, 0}};
    int n = 0;
    for (int i = 0; i < kRing; ++i)
        for (int j = 0; j < kAround; ++j)
            for (int k = 0; k < kLayers; ++k)
                for (const auto& order : orders) {
                    int step[3] = {0, 0, 0};
                    int corners[4] = {index(i, j, k), 0, 0, 0};
                    for (int c = 0; c < 3; ++c) {
                        ++step[order[c]];
                        corners[c + 1] = index(i + step[0], j + step[1], k + step[2]);
                    }
                    const int region = n % 3 == 0 ? 7 : 1;
                    torus.regionSeven += region == 7;
                    std::snprintf(line, sizeof line, "Tt %d %d %d %d %d\n", corners[0], corners[1], corners[2],
                                  corners[3], region);
                    elem += line;
                    vec3 centre;
                    for (int c : corners) centre += points[static_cast<size_t>(c)] * 0.25;
                    const vec3 fibre = ringTangent(centre) * (n % 2 ? -1.0 : 1.0);
                    const double angle = std::atan2(centre.y, centre.x);
                    const vec3 axis(kMajorRadius * std::cos(angle), kMajorRadius * std::sin(angle), 0.0);
                    vec3 sheet = centre - axis;
                    sheet /= sheet.norm();
                    std::snprintf(line, sizeof line, "%.9g %.9g %.9g %.9g %.9g %.9g\n", fibre.x, fibre.y, fibre.z,
                                  sheet.x, sheet.y, sheet.z);
                    lon += line;
                    ++n;
                }
    testfiles::writeText(base + ".pts", pts);
    testfiles::writeText(base + ".elem", elem);
    testfiles::writeText(base + ".lon", lon);
    return torus;
}

double fractionAlong(const std::vector<vec3>& directions, const std::vector<vec3>& at) {
    int close = 0;
    for (size_t i = 0; i < directions.size(); ++i)
        close += std::fabs(directions[i].dot(ringTangent(at[i]))) >= kCos8Degrees * directions[i].norm();
    return static_cast<double>(close) / static_cast<double>(directions.size());
}

std::string readFile(const std::string& path) { return testfiles::readText(path); }

}  // namespace

TEST(CliCarpTest, ATorusWithElementFibresImportsKeepsItsFramesAndExportsBack) {
    TempDir dir;
    const TorusFiles torus = writeTorus(dir.file("torus"));
    const std::string base = dir.file("ring");
    const RunResult imported = run("import '" + dir.file("torus.pts") + "' '" + base + "' --json --quiet", dir);
    ASSERT_EQ(imported.status, 0) << imported.err;
    const nlohmann::json j = nlohmann::json::parse(imported.out);
    EXPECT_EQ(j["vertices"], torus.vertices);
    EXPECT_EQ(j["tetrahedra"], torus.tetrahedra);
    EXPECT_EQ(j["dropped_nodes"], 1);
    EXPECT_GT(j["reoriented_tetrahedra"].get<int>(), 0);
    EXPECT_EQ(j["fibres"], true);
    EXPECT_EQ(j["sheets"], true);
    EXPECT_EQ(j["regions"]["source"], "elem");
    EXPECT_EQ(j["regions"]["counts"]["7"], torus.regionSeven);
    EXPECT_EQ(j["regions"]["counts"]["1"], torus.tetrahedra - torus.regionSeven);

    // The model's frames: fibres along the ring at 95 % of the vertices, frames orthonormal.
    TTetMesh raw;
    TLSMModel model;
    {
        DiagCapture quiet;
        ASSERT_TRUE(loadTetMesh(raw, base));
        ASSERT_TRUE(model.loadModel(base));
    }
    ASSERT_EQ(model.m_orienField.m_frames.size(), static_cast<size_t>(torus.vertices));
    std::vector<vec3> fibres;
    for (const TVertexFrame& f : model.m_orienField.m_frames) {
        fibres.push_back(f.m_primaryDir);
        EXPECT_NEAR(f.m_primaryDir.dot(f.m_depthDir), 0.0, 1e-5);
        EXPECT_NEAR(f.m_primaryDir.cross(f.m_depthDir).dot(f.m_thirdDir), 1.0, 1e-5);
    }
    EXPECT_GE(fractionAlong(fibres, raw.m_verts), 0.95);
    EXPECT_TRUE(keptFramesInForce(model));

    // Saved and loaded, the frames stay, and a second save writes the same bytes.
    ASSERT_EQ(run("save '" + base + "' --quiet", dir).status, 0);
    const std::string once = readFile(base + ".vm");
    EXPECT_NE(once.find("#VtxFrames " + std::to_string(torus.vertices) + "\n"), std::string::npos);
    ASSERT_EQ(run("save '" + base + "' --quiet", dir).status, 0);
    EXPECT_EQ(readFile(base + ".vm"), once);

    // export-carp gives the torus back: the same counts and positions, element fibres along the ring.
    const RunResult exported = run("export-carp '" + base + "' '" + dir.file("back") + "' --quiet", dir);
    ASSERT_EQ(exported.status, 0) << exported.err;
    std::vector<vec3> points, elementFibres, elementSheets;
    std::vector<std::array<int, 4>> tets;
    std::vector<int> regions;
    std::string error;
    const std::string pts = readFile(dir.file("back.pts")), elem = readFile(dir.file("back.elem")),
                      lon = readFile(dir.file("back.lon"));
    ASSERT_TRUE(parseCarpPoints(pts.data(), pts.size(), "back.pts", points, error)) << error;
    ASSERT_TRUE(parseCarpElements(elem.data(), elem.size(), "back.elem", points.size(), tets, regions, error)) << error;
    ASSERT_TRUE(parseCarpFibres(lon.data(), lon.size(), "back.lon", tets.size(), elementFibres, elementSheets, error))
        << error;
    EXPECT_EQ(lon.compare(0, 2, "2\n"), 0);
    ASSERT_EQ(points.size(), static_cast<size_t>(torus.vertices));
    ASSERT_EQ(tets.size(), static_cast<size_t>(torus.tetrahedra));
    EXPECT_EQ(points, raw.m_verts);
    std::vector<vec3> centres;
    for (const auto& t : tets) {
        vec3 centre;
        for (int v : t) centre += points[static_cast<size_t>(v)] * 0.25;
        centres.push_back(centre);
    }
    EXPECT_GE(fractionAlong(elementFibres, centres), 0.95);
    for (size_t e = 0; e < tets.size(); ++e) EXPECT_NEAR(elementFibres[e].dot(elementSheets[e]), 0.0, 1e-6);
    // A destination that cannot be written is refused.
    EXPECT_EQ(run("export-carp '" + base + "' '" + dir.file("none/back") + "' --quiet", dir).status, 1);

    // A preset replaces the imported frames: the project file no longer holds them.
    ASSERT_TRUE(applyFibrePreset(0, model.m_orienField, model.m_tets, model.m_vtxOrigPos));
    EXPECT_FALSE(keptFramesInForce(model));
    std::string text;
    ASSERT_TRUE(formatProjectText(projectRecordOf(model), text, error)) << error;
    EXPECT_EQ(text.find("#VtxFrames"), std::string::npos);
}
