// FieldViews: builders and drawing of the field colouring, fibres, strokes, frames and markers.
#include "render/FieldViews.h"

#include <GL/glew.h>

#include <algorithm>
#include <cmath>

#include "render/FibreLineBuffers.h"
#include "render/GLMaterial.h"
#include "render/HeartRenderer.h"
#include "render/MarkerPrimitives.h"
#include "render/SphereInstances.h"

namespace {

constexpr double kPeelWindow = 0.1;
constexpr double kFrameAxisLength = 0.3;
constexpr double kWireframeLift = 0.05;

bool cornerIsCut(int v, const std::vector<SurfaceVertexSource>& sources) {
    return v < 0 || v >= static_cast<int>(sources.size()) || sources[v].isBlend;
}

}  // namespace

// ---- GL-free builders ------------------------------------------------------------------------

const std::vector<double>& fieldValues(const TLSMModel& model, SurfaceField field) {
    switch (field) {
        case SurfaceField::Phase:
            return model.m_phaseField.m_value;
        case SurfaceField::Amplitude:
            return model.m_ampliField.m_value;
        case SurfaceField::Transmural:
            if (model.m_orienField.m_transmural.size() == model.m_verts.size()) return model.m_orienField.m_transmural;
            break;
        case SurfaceField::Depth:
            break;
    }
    return model.m_orienField.m_depthField.m_value;
}

std::vector<std::pair<int, int>> wireframeEdges(const TTriangleMesh& mesh,
                                                const std::vector<SurfaceVertexSource>& sources) {
    std::vector<std::pair<int, int>> edges;
    const int vertexCount = static_cast<int>(mesh.verts().size());
    for (const TTriangleMesh::Tri& t : mesh.polys()) {
        if (t[0] < 0 || t[1] < 0 || t[2] < 0 || t[0] >= vertexCount || t[1] >= vertexCount || t[2] >= vertexCount)
            continue;
        if (cornerIsCut(t[0], sources) && cornerIsCut(t[1], sources) && cornerIsCut(t[2], sources)) continue;
        edges.emplace_back(t[0], t[1]);
        edges.emplace_back(t[1], t[2]);
        edges.emplace_back(t[2], t[0]);
    }
    return edges;
}

double wireframeGrey(const float clearColour[4]) {
    return clearColour[0] + clearColour[1] + clearColour[2] >= 2.0f ? 0.9 : 0.7;
}

vec3 viewBackDirection(const double modelView[16]) {
    const vec3 back(modelView[2], modelView[6], modelView[10]);
    const double length = back.norm();
    return length > 0.0 ? back / length : vec3(0, 0, 1);
}

bool strokePassesPeelFilter(const TOrientationStroke& stroke, const std::vector<double>& depth, bool filterOn,
                            double peelDepth) {
    if (!filterOn) return true;
    if (stroke.empty()) return false;
    const TTetSample& first = stroke.front();
    const int n = static_cast<int>(depth.size());
    for (int k = 0; k < 4; ++k)
        if (first.m_tetVertex[k] < 0 || first.m_tetVertex[k] >= n) return false;
    return std::abs(first.interpolate(depth) - peelDepth) <= kPeelWindow;
}

void fibreLineVertices(const TFibreLine& line, const std::vector<vec3>& positions, std::vector<vec3>& points,
                       std::vector<double>& texCoords) {
    points.clear();
    texCoords.clear();
    for (const auto& [sample, value] : line) {
        vec3 p;
        if (!samplePosition(sample, positions, p)) continue;
        points.push_back(p);
        texCoords.push_back(value);
    }
}

LabelStyle vertexLabelStyle(int label) {
    if (label == 0) return {{0.3f, 0.3f, 0.3f, 0.5f}, 0.1};
    if (label == 1) return {{0.8f, 0.2f, 0.0f, 0.5f}, 0.3};
    return {{0.2f, 0.8f, 0.0f, 0.5f}, 0.3};
}

vec3 contractionColour(double c) {
    const double warm = std::clamp(2.0 * (1.0 - c), 0.0, 1.0);
    return vec3(warm, warm, std::clamp(2.0 * (c - 1.0), 0.0, 1.0));
}

// ---- Drawing ---------------------------------------------------------------------------------

void drawFieldColored(const TLSMModel& model, SurfaceField field, unsigned int texture) {
    HeartRenderer& renderer = HeartRenderer::instance();
    std::vector<double>& samples = renderer.m_amplitudeSamples;
    sampleThroughSources(model.m_surfVtxSource, fieldValues(model, field), samples);
    std::vector<int>& order = renderer.m_emitOrder;
    order.resize(model.m_surface.polys().size());
    for (size_t i = 0; i < order.size(); ++i) order[i] = static_cast<int>(i);
    renderer.m_taggedSurface.update(model.m_surface, model.m_surfVtxTag, true);
    renderer.m_taggedSurface.updateTexCoords(samples);
    renderer.m_taggedSurface.updateIndices(HeartRenderer::kFieldSlot, order, false);

    glEnable(GL_LIGHTING);
    setFrontMaterial({1.0f, 1.0f, 1.0f, 0.4f}, {0.8f, 0.8f, 0.8f, 0.4f}, {0.75f, 0.75f, 0.75f, 0.8f}, 32.0f);
    glEnable(GL_TEXTURE_1D);
    glBindTexture(GL_TEXTURE_1D, texture);
    renderer.m_taggedSurface.draw(HeartRenderer::kFieldSlot, true);
    glDisable(GL_TEXTURE_1D);
}

void drawFibreLines(const TLSMModel& model, int set, unsigned int texture) {
    if (set < 0 || set > 3) return;
    glDisable(GL_LIGHTING);
    glColor3d(1.0, 1.0, 1.0);
    glLineWidth(2.0f);
    glEnable(GL_TEXTURE_1D);
    glBindTexture(GL_TEXTURE_1D, texture);
    FibreLineBuffers::instance().draw(model.m_orienField, set, model.m_verts);
    glDisable(GL_TEXTURE_1D);
}

void drawOrientationStrokes(const TLSMModel& model, bool filterOn, double peelDepth) {
    glDisable(GL_LIGHTING);
    glDisable(GL_TEXTURE_1D);
    glColor3d(1.0, 0.2, 0.2);
    const std::vector<double>& depth = model.m_orienField.m_depthField.m_value;
    std::vector<vec3> points;
    for (const TOrientationStroke& stroke : model.m_orienField.m_strokes) {
        if (stroke.size() < 2) continue;
        if (!strokePassesPeelFilter(stroke, depth, filterOn, peelDepth)) continue;
        points.clear();
        for (const TTetSample& s : stroke) {
            vec3 p;
            if (samplePosition(s, model.m_verts, p)) points.push_back(p);
        }
        drawStrokeSolids(points, 0.25, 0.75);
    }
}

void drawFrames(const TLSMModel& model) {
    glDisable(GL_LIGHTING);
    glDisable(GL_TEXTURE_1D);
    glLineWidth(2.0f);
    const size_t n = std::min(model.m_verts.size(), model.m_orienField.m_frames.size());
    glBegin(GL_LINES);
    for (size_t v = 0; v < n; ++v) {
        const vec3& p = model.m_verts[v];
        const TVertexFrame& f = model.m_orienField.m_frames[v];
        const vec3 ends[3] = {p + kFrameAxisLength * f.m_primaryDir, p + kFrameAxisLength * f.m_depthDir,
                              p + kFrameAxisLength * f.m_thirdDir};
        const double colours[3][3] = {{1, 1, 1}, {0, 1, 0}, {0, 0, 1}};
        for (int k = 0; k < 3; ++k) {
            glColor3dv(colours[k]);
            glVertex3d(p.x, p.y, p.z);
            glVertex3d(ends[k].x, ends[k].y, ends[k].z);
        }
    }
    glEnd();
}

void drawFixedVertices(const TLSMModel& model) {
    glDisable(GL_LIGHTING);
    glDisable(GL_TEXTURE_1D);
    glLineWidth(3.0f);
    glColor3d(1.0, 1.0, 0.0);
    const int n = model.vertexCount();
    glBegin(GL_LINES);
    for (const auto& [v, target] : model.m_fixedVerts) {
        if (v < 0 || v >= n) continue;
        const vec3& p = model.m_verts[v];
        glVertex3d(p.x, p.y, p.z);
        glVertex3d(target.x, target.y, target.z);
    }
    glEnd();
}

void drawVertexLabels(const TLSMModel& model) {
    glEnable(GL_LIGHTING);
    glDisable(GL_TEXTURE_1D);
    glMaterialfv(GL_FRONT, GL_SPECULAR, Rgba{0.9f, 0.9f, 0.9f, 0.9f}.data());
    glMaterialf(GL_FRONT, GL_SHININESS, 32.0f);
    std::vector<SphereInstance>& spheres = HeartRenderer::instance().m_spheres;
    spheres.clear();
    const size_t n = model.m_verts.size();
    for (size_t v = 0; v < n; ++v) {
        const int label = v < model.m_vtxIsVentriOrAtrium.size() ? model.m_vtxIsVentriOrAtrium[v] : 0;
        const LabelStyle style = vertexLabelStyle(label);
        spheres.push_back(sphereInstance(model.m_verts[v], style.radius, style.colour, style.colour));
    }
    SphereInstances::instance().draw(spheres, SphereShading::Lit);
    glDisable(GL_LIGHTING);
}

void drawContraction(const TLSMModel& model) {
    glDisable(GL_LIGHTING);
    glDisable(GL_TEXTURE_1D);
    std::vector<SphereInstance>& spheres = HeartRenderer::instance().m_spheres;
    spheres.clear();
    const size_t n = model.m_verts.size();
    for (size_t v = 0; v < n; ++v) {
        const double c = v < model.m_vtxContraction.size() ? model.m_vtxContraction[v].x : 1.0;
        const vec3 colour = contractionColour(c);
        const Rgba rgba{static_cast<float>(colour.x), static_cast<float>(colour.y), static_cast<float>(colour.z), 1.0f};
        spheres.push_back(sphereInstance(model.m_verts[v], 0.3, rgba, rgba));
    }
    SphereInstances::instance().draw(spheres, SphereShading::Unlit);
}

void drawWireframe(const TLSMModel& model) {
    double modelView[16];
    glGetDoublev(GL_MODELVIEW_MATRIX, modelView);
    const vec3 lift = kWireframeLift * viewBackDirection(modelView);
    float clearColour[4] = {1, 1, 1, 1};
    glGetFloatv(GL_COLOR_CLEAR_VALUE, clearColour);
    const double grey = wireframeGrey(clearColour);

    glMatrixMode(GL_MODELVIEW);
    glPushMatrix();
    glTranslated(lift.x, lift.y, lift.z);
    glDisable(GL_LIGHTING);
    glDisable(GL_TEXTURE_1D);
    glColor3d(grey, grey, grey);
    glLineWidth(2.0f);
    HeartRenderer& renderer = HeartRenderer::instance();
    std::vector<std::uint32_t>& indices = renderer.m_edgeIndices;
    indices.clear();
    for (const auto& [a, b] : wireframeEdges(model.m_surface, model.m_surfVtxSource)) {
        indices.push_back(static_cast<std::uint32_t>(a));
        indices.push_back(static_cast<std::uint32_t>(b));
    }
    // The surface's own vertex buffer: its first vertices are the surface vertices in order.
    renderer.m_taggedSurface.update(model.m_surface, model.m_surfVtxTag, true);
    renderer.m_taggedSurface.setIndices(HeartRenderer::kWireframeSlot, indices);
    renderer.m_taggedSurface.draw(HeartRenderer::kWireframeSlot, false, 0, -1, GL_LINES);
    glPopMatrix();
}
