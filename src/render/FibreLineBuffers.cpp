// FibreLineBuffers: strip building, change detection and the one-call drawing of a fibre-line set.
#include "render/FibreLineBuffers.h"

#include <GL/glew.h>

#include <algorithm>
#include <cmath>
#include <limits>

#include "render/FieldViews.h"
#include "render/HeartRenderer.h"
#include "render/MarkerPrimitives.h"

namespace {

std::uint64_t mixSample(std::uint64_t h, const std::pair<TTetSample, double>& entry) {
    h = fingerprintBytes(entry.first.m_tetVertex, sizeof(entry.first.m_tetVertex), h);
    h = fingerprintBytes(entry.first.m_weight, sizeof(entry.first.m_weight), h);
    return fingerprintBytes(&entry.second, sizeof(entry.second), h);
}

}  // namespace

void buildFibreStrips(const std::vector<TFibreLine>& lines, const std::vector<vec3>& positions, FibreStrips& strips,
                      const std::vector<float>* importance, double tolerance) {
    size_t sampleCount = 0;
    for (const TFibreLine& line : lines) sampleCount += line.size();
    if (importance && importance->size() != sampleCount) importance = nullptr;
    strips.vertices.clear();
    strips.firsts.clear();
    strips.counts.clear();
    strips.indices.clear();
    std::vector<vec3> points;
    std::vector<double> values;
    TFibreLine kept;
    size_t offset = 0;
    for (const TFibreLine& line : lines) {
        if (importance) {
            kept.clear();
            for (size_t i = 0; i < line.size(); ++i)
                if ((*importance)[offset + i] > tolerance) kept.push_back(line[i]);
            offset += line.size();
            fibreLineVertices(kept, positions, points, values);
        } else {
            fibreLineVertices(line, positions, points, values);
        }
        if (points.size() < 2) continue;
        const int first = strips.pointCount();
        if (!strips.firsts.empty()) strips.indices.push_back(kStripRestart);
        strips.firsts.push_back(first);
        strips.counts.push_back(static_cast<int>(points.size()));
        for (size_t i = 0; i < points.size(); ++i) {
            strips.vertices.insert(strips.vertices.end(),
                                   {static_cast<float>(points[i].x), static_cast<float>(points[i].y),
                                    static_cast<float>(points[i].z), static_cast<float>(values[i])});
            strips.indices.push_back(static_cast<std::uint32_t>(first + static_cast<int>(i)));
        }
    }
}

void polylineImportance(const std::vector<vec3>& points, const std::vector<double>& values, double valueScale,
                        std::vector<float>& importance) {
    const size_t n = points.size();
    importance.assign(n, std::numeric_limits<float>::infinity());
    if (n < 3) return;
    auto coordinate = [&](size_t i, int axis) {
        return axis < 3 ? points[i][axis] : valueScale * (i < values.size() ? values[i] : 0.0);
    };
    auto distanceFromChord = [&](size_t a, size_t b, size_t i) {
        double chord[4], offset[4], chordLength2 = 0.0, along = 0.0;
        for (int k = 0; k < 4; ++k) {
            chord[k] = coordinate(b, k) - coordinate(a, k);
            offset[k] = coordinate(i, k) - coordinate(a, k);
            chordLength2 += chord[k] * chord[k];
            along += chord[k] * offset[k];
        }
        const double t = chordLength2 > 0.0 ? std::clamp(along / chordLength2, 0.0, 1.0) : 0.0;
        double d2 = 0.0;
        for (int k = 0; k < 4; ++k) d2 += (offset[k] - t * chord[k]) * (offset[k] - t * chord[k]);
        return std::sqrt(d2);
    };
    struct Span {
        size_t a, b;
        float limit;
    };
    std::vector<Span> spans{{0, n - 1, std::numeric_limits<float>::infinity()}};
    while (!spans.empty()) {
        const Span span = spans.back();
        spans.pop_back();
        if (span.b - span.a < 2) continue;
        size_t split = span.a + 1;
        double farthest = -1.0;
        for (size_t i = span.a + 1; i < span.b; ++i) {
            const double d = distanceFromChord(span.a, span.b, i);
            if (d > farthest) {
                farthest = d;
                split = i;
            }
        }
        // A point is dropped no later than the point whose span it lies in: ranks never rise inwards.
        const float rank = std::min(static_cast<float>(farthest), span.limit);
        importance[split] = rank;
        spans.push_back({span.a, split, rank});
        spans.push_back({split, span.b, rank});
    }
}

void fibreSampleImportance(const std::vector<TFibreLine>& lines, const std::vector<vec3>& positions,
                           std::vector<float>& importance) {
    importance.clear();
    std::vector<vec3> points;
    std::vector<double> values;
    std::vector<float> ranks;
    std::vector<size_t> resolved;
    const float kept = std::numeric_limits<float>::infinity();
    for (const TFibreLine& line : lines) {
        points.clear();
        values.clear();
        resolved.clear();
        for (size_t i = 0; i < line.size(); ++i) {
            vec3 p;
            if (!samplePosition(line[i].first, positions, p)) continue;
            points.push_back(p);
            values.push_back(line[i].second);
            resolved.push_back(i);
        }
        polylineImportance(points, values, kFibreValueScale, ranks);
        const size_t start = importance.size();
        importance.resize(start + line.size(), kept);
        for (size_t j = 0; j < resolved.size(); ++j) importance[start + resolved[j]] = ranks[j];
    }
}

int fibreDetailLevel(const ScreenProjection& view, const vec3& boxMin, const vec3& boxMax) {
    // Perspective only: the scale of a model unit on the screen then falls with the distance.
    if (view.projection[15] != 0.0 || view.projection[11] != -1.0) return -1;
    const vec3 eye = eyeFromModelView(view.modelView);
    vec3 nearest;
    for (int k = 0; k < 3; ++k) nearest[k] = std::clamp(eye[k], boxMin[k], boxMax[k]);
    const double distance = (eye - nearest).norm();
    if (!(distance > 0.0)) return -1;
    const double pixelsPerUnit = std::abs(view.projection[5]) * 0.5 * view.viewport[3] / distance;
    if (!(pixelsPerUnit > 0.0) || !std::isfinite(pixelsPerUnit)) return -1;
    const double tolerance = kFibrePixelTolerance / pixelsPerUnit;
    int level = -1;
    for (int k = 0; k < kFibreDetailLevels && kFibreFinestTolerance * std::ldexp(1.0, k) <= tolerance; ++k) level = k;
    return level;
}

std::uint64_t fibreSetFingerprint(const std::vector<TFibreLine>& lines) {
    const size_t lineCount = lines.size();
    std::uint64_t h = fingerprintBytes(&lineCount, sizeof(lineCount));
    for (const TFibreLine& line : lines) {
        const size_t n = line.size();
        h = fingerprintBytes(&n, sizeof(n), h);
        if (n == 0) continue;
        h = mixSample(h, line.front());
        h = mixSample(h, line[n / 2]);
        h = mixSample(h, line.back());
    }
    return h;
}

FibreLineBuffers& FibreLineBuffers::instance() {
    static FibreLineBuffers buffers;
    return buffers;
}

void FibreLineBuffers::forgetContext() {
    for (Set& s : m_sets) {
        s.vertexBuffer.forget();
        s.indexBuffer.forget();
        s.uploaded = false;
    }
}

void FibreLineBuffers::draw(const TTensorField& field, int set, const std::vector<vec3>& positions) {
    if (set < 0 || set > 3) return;
    Set& s = m_sets[set];
    const std::vector<TFibreLine>& lines = field.m_fibreLines[set];
    const std::uint64_t linesKey = fibreSetFingerprint(lines);
    const std::uint64_t positionsKey = fingerprintBytes(positions.data(), positions.size() * sizeof(vec3));
    if (!s.built || linesKey != s.linesKey) fibreSampleImportance(lines, positions, s.importance);
    ScreenProjection view;
    glGetDoublev(GL_MODELVIEW_MATRIX, view.modelView);
    glGetDoublev(GL_PROJECTION_MATRIX, view.projection);
    glGetIntegerv(GL_VIEWPORT, view.viewport);
    vec3 boxMin, boxMax;
    if (!positions.empty()) boxMin = boxMax = positions.front();
    for (const vec3& p : positions)
        for (int k = 0; k < 3; ++k) {
            boxMin[k] = std::min(boxMin[k], p[k]);
            boxMax[k] = std::max(boxMax[k], p[k]);
        }
    const int level = fibreDetailLevel(view, boxMin, boxMax);
    if (!s.built || linesKey != s.linesKey || positionsKey != s.positionsKey || level != s.level) {
        if (level < 0) {
            buildFibreStrips(lines, positions, s.strips);
        } else {
            buildFibreStrips(lines, positions, s.strips, &s.importance, kFibreFinestTolerance * std::ldexp(1.0, level));
        }
        s.linesKey = linesKey;
        s.positionsKey = positionsKey;
        s.level = level;
        s.built = true;
        s.uploaded = false;
    }
    if (s.strips.firsts.empty()) return;

    const bool buffers = haveBufferObjects();
    if (buffers && !s.uploaded) {
        s.uploaded = s.vertexBuffer.upload(GL_ARRAY_BUFFER, s.strips.vertices.data(),
                                           s.strips.vertices.size() * sizeof(float)) &&
                     s.indexBuffer.upload(GL_ELEMENT_ARRAY_BUFFER, s.strips.indices.data(),
                                          s.strips.indices.size() * sizeof(std::uint32_t));
        glBindBuffer(GL_ARRAY_BUFFER, 0);
        glBindBuffer(GL_ELEMENT_ARRAY_BUFFER, 0);
    }
    const bool fromBuffers = buffers && s.uploaded;
    const GLsizei stride = 4 * sizeof(float);
    const char* base = fromBuffers ? nullptr : reinterpret_cast<const char*>(s.strips.vertices.data());
    glPushClientAttrib(GL_CLIENT_VERTEX_ARRAY_BIT);
    if (fromBuffers) s.vertexBuffer.bind(GL_ARRAY_BUFFER);
    glEnableClientState(GL_VERTEX_ARRAY);
    glVertexPointer(3, GL_FLOAT, stride, base);
    glEnableClientState(GL_TEXTURE_COORD_ARRAY);
    glTexCoordPointer(1, GL_FLOAT, stride, base + 3 * sizeof(float));
    glDisableClientState(GL_NORMAL_ARRAY);
    glDisableClientState(GL_COLOR_ARRAY);
    if (fromBuffers && GLEW_VERSION_3_1) {
        // One draw for thousands of strips: the restart index separates them.
        s.indexBuffer.bind(GL_ELEMENT_ARRAY_BUFFER);
        glEnable(GL_PRIMITIVE_RESTART);
        glPrimitiveRestartIndex(kStripRestart);
        glDrawElements(GL_LINE_STRIP, static_cast<GLsizei>(s.strips.indices.size()), GL_UNSIGNED_INT, nullptr);
        glDisable(GL_PRIMITIVE_RESTART);
        glBindBuffer(GL_ELEMENT_ARRAY_BUFFER, 0);
    } else {
        glMultiDrawArrays(GL_LINE_STRIP, s.strips.firsts.data(), s.strips.counts.data(),
                          static_cast<GLsizei>(s.strips.firsts.size()));
    }
    if (fromBuffers) glBindBuffer(GL_ARRAY_BUFFER, 0);
    glPopClientAttrib();
}
