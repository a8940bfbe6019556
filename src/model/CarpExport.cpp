// CarpExport: the openCARP writer and the model's fibres brought from its vertices to its elements.
#include "model/CarpExport.h"

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <functional>

#include "io/TetGenFile.h"
#include "linalg/Diagnostics.h"
#include "model/FieldExport.h"
#include "model/TLSMModel.h"

namespace {

constexpr double kTinyLength = 1e-12;

/// The sum of four directions, each turned to agree with the first, normalised; fallback when
/// they cancel.
vec3 meanLine(const vec3 (&d)[4], const vec3& fallback) {
    vec3 sum = d[0];
    for (int k = 1; k < 4; ++k) sum += d[0].dot(d[k]) < 0.0 ? -d[k] : d[k];
    const double length = sum.norm();
    return length > kTinyLength ? sum / length : fallback;
}

/// v made orthogonal to the unit vector axis and normalised; an axis-orthogonal unit vector when
/// nothing is left of v.
vec3 orthogonalTo(vec3 v, const vec3& axis) {
    v -= axis * axis.dot(v);
    double length = v.norm();
    if (length > kTinyLength) return v / length;
    const vec3 other = std::fabs(axis.x) < 0.9 ? vec3(1, 0, 0) : vec3(0, 1, 0);
    v = other - axis * axis.dot(other);
    length = v.norm();
    return v / length;
}

/// Writes finalPath + ".part" through stdio; false with a reason naming finalPath (the name the
/// user knows).
bool writeText(const std::string& finalPath, const std::function<void(std::FILE*)>& fill, std::string& error) {
    const std::string part = finalPath + ".part";
    std::FILE* out = std::fopen(part.c_str(), "wb");
    if (!out) {
        error = "cannot write " + finalPath + ": " + std::strerror(errno);
        return false;
    }
    fill(out);
    if (closeWrittenFile(out, part, error)) return true;
    // "cannot write PART: REASON" told with the final name.
    const std::string prefix = "cannot write " + part;
    if (error.compare(0, prefix.size(), prefix) == 0) error = "cannot write " + finalPath + error.substr(prefix.size());
    return false;
}

}  // namespace

bool writeCarpMesh(const std::string& outBase, const std::vector<vec3>& points,
                   const std::vector<std::array<int, 4>>& tets, const std::vector<int>& regions,
                   const std::vector<vec3>& fibres, const std::vector<vec3>& sheets, std::string& error) {
    const bool withFibres = fibres.size() == tets.size() && !tets.empty();
    const bool withSheets = withFibres && sheets.size() == tets.size();
    std::vector<std::string> extensions = {".pts", ".elem"};
    if (withFibres) extensions.push_back(".lon");
    auto part = [&](const std::string& ext) { return outBase + ext + ".part"; };
    auto removeParts = [&] {
        for (const std::string& ext : extensions) std::remove(part(ext).c_str());
    };
    const bool written = writeText(
                             outBase + ".pts",
                             [&](std::FILE* f) {
                                 std::fprintf(f, "%zu\n", points.size());
                                 for (const vec3& p : points) std::fprintf(f, "%.17g %.17g %.17g\n", p.x, p.y, p.z);
                             },
                             error) &&
                         writeText(
                             outBase + ".elem",
                             [&](std::FILE* f) {
                                 std::fprintf(f, "%zu\n", tets.size());
                                 for (size_t j = 0; j < tets.size(); ++j)
                                     std::fprintf(f, "Tt %d %d %d %d %d\n", tets[j][0], tets[j][1], tets[j][2],
                                                  tets[j][3], j < regions.size() ? regions[j] : 0);
                             },
                             error) &&
                         (!withFibres || writeText(
                                             outBase + ".lon",
                                             [&](std::FILE* f) {
                                                 std::fprintf(f, "%d\n", withSheets ? 2 : 1);
                                                 for (size_t j = 0; j < tets.size(); ++j) {
                                                     const vec3& a = fibres[j];
                                                     if (withSheets)
                                                         std::fprintf(f, "%.9g %.9g %.9g %.9g %.9g %.9g\n", a.x, a.y,
                                                                      a.z, sheets[j].x, sheets[j].y, sheets[j].z);
                                                     else
                                                         std::fprintf(f, "%.9g %.9g %.9g\n", a.x, a.y, a.z);
                                                 }
                                             },
                                             error));
    if (!written) {
        removeParts();
        return false;
    }
    for (const std::string& ext : extensions) {
        std::error_code ec;
        std::filesystem::rename(part(ext), outBase + ext, ec);
        if (ec) {
            error = "cannot write " + outBase + ext + ": " + ec.message();
            removeParts();
            return false;
        }
    }
    return true;
}

void elementFibresOfFrames(const TLSMModel& model, std::vector<vec3>& fibres, std::vector<vec3>& sheets) {
    const std::vector<TVertexFrame>& frames = model.m_orienField.m_frames;
    fibres.assign(model.m_tets.size(), vec3());
    sheets.assign(model.m_tets.size(), vec3());
    for (size_t j = 0; j < model.m_tets.size(); ++j) {
        vec3 f[4], d[4];
        for (int k = 0; k < 4; ++k) {
            const TVertexFrame& frame = frames[static_cast<size_t>(model.m_tets[j].vIdx[k])];
            f[k] = frame.m_primaryDir;
            d[k] = frame.m_depthDir;
        }
        fibres[j] = meanLine(f, f[0]);
        sheets[j] = orthogonalTo(meanLine(d, d[0]), fibres[j]);
    }
}

std::vector<int> majorityLabels(const TLSMModel& model) {
    std::vector<int> regions(model.m_tets.size(), 0);
    for (size_t j = 0; j < model.m_tets.size(); ++j) {
        int label[4];
        for (int k = 0; k < 4; ++k)
            label[k] = model.m_vtxIsVentriOrAtrium[static_cast<size_t>(model.m_tets[j].vIdx[k])];
        int best = label[0], bestCount = 0;
        for (int k = 0; k < 4; ++k) {
            int count = 0;
            for (int m = 0; m < 4; ++m) count += label[m] == label[k];
            if (count > bestCount || (count == bestCount && label[k] < best)) {
                best = label[k];
                bestCount = count;
            }
        }
        regions[j] = best;
    }
    return regions;
}

bool exportModelCarp(const TLSMModel& model, const std::string& outBase, std::string& error) {
    const size_t n = static_cast<size_t>(model.vertexCount());
    if (model.m_tets.empty() || model.m_orienField.m_frames.size() != n || model.m_vtxIsVentriOrAtrium.size() != n) {
        error = "no model with fibre frames is loaded";
        return false;
    }
    TTetMesh base;
    bool sameMesh = false;
    {
        // The base was read when the model loaded; reading it again only repeats its console lines.
        DiagCapture quiet;
        sameMesh = !model.m_filePath.empty() && loadTetMesh(base, model.m_filePath) && base.m_verts.size() == n &&
                   base.m_tets.size() == model.m_tets.size();
        for (size_t j = 0; sameMesh && j < base.m_tets.size(); ++j)
            for (int k = 0; k < 4; ++k) sameMesh = sameMesh && base.m_tets[j].vIdx[k] == model.m_tets[j].vIdx[k];
    }
    if (!sameMesh)
        diagPrintf("exportCarp: %s.node no longer matches the model; the model's rest positions are written\n",
                   model.m_filePath.c_str());
    std::vector<std::array<int, 4>> tets(model.m_tets.size());
    for (size_t j = 0; j < tets.size(); ++j)
        for (int k = 0; k < 4; ++k) tets[j][k] = model.m_tets[j].vIdx[k];
    std::vector<vec3> fibres, sheets;
    elementFibresOfFrames(model, fibres, sheets);
    return writeCarpMesh(outBase, sameMesh ? base.m_verts : model.m_vtxOrigPos, tets, majorityLabels(model), fibres,
                         sheets, error);
}
