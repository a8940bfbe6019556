// MarkerPrimitives: geometry of the marker solids and their drawing.
#include "render/MarkerPrimitives.h"

#include <GL/glew.h>

#include <algorithm>
#include <cmath>

#include "mesh/TTriangleMesh.h"
#include "render/GLMaterial.h"
#include "render/SphereInstances.h"

namespace {

constexpr double kPi = 3.14159265358979;
constexpr double kRadToDeg = 180.0 / kPi;
/// Below this a segment has no usable direction.
constexpr double kMinSegmentLength = 1e-12;

vec3 rimPoint(int k, double r, double y) {
    const double theta = k * kPi / 3.0;
    return vec3(r * std::sin(theta), y, r * std::cos(theta));
}

vec3 rimNormal(int k) {
    const double theta = k * kPi / 3.0;
    return vec3(std::sin(theta), 0.0, std::cos(theta));
}

PrimitiveBatch bottomCap(double r) {
    PrimitiveBatch cap;
    cap.kind = PrimitiveKind::TriangleFan;
    for (int k = 0; k >= -5; --k) {
        cap.positions.push_back(rimPoint(k, r, 0.0));
        cap.normals.push_back(vec3(0, -1, 0));
    }
    return cap;
}

void emitBatches(const std::vector<PrimitiveBatch>& batches) {
    for (const PrimitiveBatch& b : batches) {
        glBegin(b.kind == PrimitiveKind::TriangleFan ? GL_TRIANGLE_FAN : GL_QUAD_STRIP);
        for (size_t i = 0; i < b.positions.size(); ++i) {
            glNormal3d(b.normals[i].x, b.normals[i].y, b.normals[i].z);
            glVertex3d(b.positions[i].x, b.positions[i].y, b.positions[i].z);
        }
        glEnd();
    }
}

void drawUnitSphere(double scale, const vec3& center, bool withNormals) {
    const SphereTriangles& sphere = unitSphereTriangles();
    glMatrixMode(GL_MODELVIEW);
    glPushMatrix();
    glTranslated(center.x, center.y, center.z);
    glScaled(scale, scale, scale);
    glPushAttrib(GL_ENABLE_BIT);
    // The uniform scale would otherwise lengthen or shorten the lit normals with the radius.
    if (withNormals) glEnable(GL_RESCALE_NORMAL);
    glPushClientAttrib(GL_CLIENT_VERTEX_ARRAY_BIT);
    glEnableClientState(GL_VERTEX_ARRAY);
    glVertexPointer(3, GL_DOUBLE, 0, sphere.positions.data());
    if (withNormals) {
        glEnableClientState(GL_NORMAL_ARRAY);
        glNormalPointer(GL_DOUBLE, 0, sphere.normals.data());
    } else {
        glDisableClientState(GL_NORMAL_ARRAY);
    }
    glDisableClientState(GL_TEXTURE_COORD_ARRAY);
    glDisableClientState(GL_COLOR_ARRAY);
    glDrawArrays(GL_TRIANGLES, 0, static_cast<GLsizei>(sphere.positions.size()));
    glPopClientAttrib();
    glPopAttrib();
    glPopMatrix();
}

/// A lit marker colour: diffuse and ambient alike, a little specular.
void setMarkerMaterial(const Rgba& colour) { setFrontMaterial({0.5f, 0.5f, 0.5f, 1.0f}, colour, colour, 32.0f); }

}  // namespace

std::vector<PrimitiveBatch> prismGeometry(double h, double r) {
    std::vector<PrimitiveBatch> batches(2);
    PrimitiveBatch& top = batches[0];
    top.kind = PrimitiveKind::TriangleFan;
    for (int k = 0; k <= 5; ++k) {
        top.positions.push_back(rimPoint(k, r, h));
        top.normals.push_back(vec3(0, 1, 0));
    }
    PrimitiveBatch& side = batches[1];
    side.kind = PrimitiveKind::QuadStrip;
    for (int k = 0; k >= -6; --k) {
        side.positions.push_back(rimPoint(k, r, 0.0));
        side.normals.push_back(rimNormal(k));
        side.positions.push_back(rimPoint(k, r, h));
        side.normals.push_back(rimNormal(k));
    }
    batches.push_back(bottomCap(r));
    return batches;
}

std::vector<PrimitiveBatch> coneGeometry(double h, double r) {
    std::vector<PrimitiveBatch> batches(1);
    PrimitiveBatch& mantle = batches[0];
    mantle.kind = PrimitiveKind::TriangleFan;
    mantle.positions.push_back(vec3(0, h, 0));
    mantle.normals.push_back(vec3(0, 1, 0));
    for (int k = 0; k <= 6; ++k) {
        mantle.positions.push_back(rimPoint(k, r, 0.0));
        mantle.normals.push_back(rimNormal(k));
    }
    batches.push_back(bottomCap(r));
    return batches;
}

const SphereTriangles& unitSphereTriangles() {
    static const SphereTriangles sphere = [] {
        TTriangleMesh mesh;
        mesh.createSphere(1.0);
        SphereTriangles s;
        for (const TTriangleMesh::Tri& t : mesh.polys())
            for (int k = 0; k < 3; ++k) {
                s.positions.push_back(mesh.verts()[t[k]]);
                s.normals.push_back(mesh.vertexNormals()[t[k]]);
            }
        return s;
    }();
    return sphere;
}

AxisAngle rotationFromYTo(const vec3& d) {
    AxisAngle rotation;
    const vec3 axis(d.z, 0.0, -d.x);
    if (axis.norm() < 1e-12) {
        rotation.axis = vec3(1, 0, 0);
        rotation.degrees = d.y >= 0.0 ? 0.0 : 180.0;
        return rotation;
    }
    rotation.axis = axis;
    rotation.degrees = std::acos(std::clamp(d.y, -1.0, 1.0)) * kRadToDeg;
    return rotation;
}

std::vector<StrokeSegment> strokeSegments(const std::vector<vec3>& points) {
    std::vector<StrokeSegment> segments;
    for (size_t i = 1; i < points.size(); ++i) {
        const vec3 delta = points[i] - points[i - 1];
        const double length = delta.norm();
        if (!(length > kMinSegmentLength)) continue;
        StrokeSegment s;
        s.start = points[i - 1];
        s.direction = delta / length;
        s.length = length;
        segments.push_back(s);
    }
    if (!segments.empty()) segments.back().arrowHead = true;
    return segments;
}

std::vector<vec3> strokeLinePoints(const Tstroke3D& stroke) {
    std::vector<vec3> points = stroke.m_points;
    if (stroke.m_isClosed && !points.empty()) points.push_back(points.front());
    return points;
}

bool samplePosition(const TTetSample& sample, const std::vector<vec3>& positions, vec3& p) {
    const int n = static_cast<int>(positions.size());
    for (int k = 0; k < 4; ++k)
        if (sample.m_tetVertex[k] < 0 || sample.m_tetVertex[k] >= n) return false;
    p = sample.position(positions);
    return true;
}

std::vector<ConstraintMarker> constraintMarkers(const TSmoothField& field, const std::vector<vec3>& positions,
                                                bool onlyOneValue, double value) {
    std::vector<ConstraintMarker> markers;
    const double range = field.m_maxValue - field.m_minValue;
    for (const TConstraint& c : field.m_constraints) {
        // Targets come from the tools' own constants or from six-decimal project records.
        if (onlyOneValue && std::abs(c.m_target - value) > 1e-9) continue;
        ConstraintMarker m;
        if (!samplePosition(c, positions, m.position)) continue;
        m.texCoord = range != 0.0 ? (c.m_target - field.m_minValue) / range : 0.0;
        markers.push_back(m);
    }
    return markers;
}

void drawSphere(double scale, const vec3& center) { drawUnitSphere(scale, center, false); }

void drawSphereWithNormals(double scale, const vec3& center) { drawUnitSphere(scale, center, true); }

void drawPrism(double h, double r) { emitBatches(prismGeometry(h, r)); }

void drawCone(double h, double r) { emitBatches(coneGeometry(h, r)); }

void drawStrokeSolids(const std::vector<vec3>& points, double shaftRadius, double headRadius) {
    glMatrixMode(GL_MODELVIEW);
    for (const StrokeSegment& s : strokeSegments(points)) {
        const AxisAngle rotation = rotationFromYTo(s.direction);
        glPushMatrix();
        glTranslated(s.start.x, s.start.y, s.start.z);
        glRotated(rotation.degrees, rotation.axis.x, rotation.axis.y, rotation.axis.z);
        if (s.arrowHead) {
            drawCone(s.length, headRadius);
        } else {
            drawPrism(s.length, shaftRadius);
        }
        glPopMatrix();
    }
}

void drawStroke(const Tstroke3D& stroke, float lineWidth) {
    const std::vector<vec3> points = strokeLinePoints(stroke);
    glLineWidth(lineWidth);
    glBegin(GL_LINE_STRIP);
    for (const vec3& p : points) glVertex3d(p.x, p.y, p.z);
    glEnd();
}

void drawConstraints(const TSmoothField& field, const std::vector<vec3>& positions, unsigned int texture,
                     bool onlyOneValue, double value) {
    const std::vector<ConstraintMarker> markers = constraintMarkers(field, positions, onlyOneValue, value);
    const Rgba diffuse{1.0f, 1.0f, 1.0f, 0.5f}, ambient{0.6f, 0.6f, 0.6f, 0.6f};
    setFrontMaterial({1.0f, 1.0f, 1.0f, 0.5f}, diffuse, ambient, 64.0f);
    glEnable(GL_LIGHTING);
    glEnable(GL_TEXTURE_1D);
    glBindTexture(GL_TEXTURE_1D, texture);
    std::vector<SphereInstance> spheres;
    spheres.reserve(markers.size());
    for (const ConstraintMarker& m : markers) {
        spheres.push_back(sphereInstance(m.position, 0.25, diffuse, ambient));
        spheres.back().texCoord = static_cast<float>(m.texCoord);
    }
    SphereInstances::instance().draw(spheres, SphereShading::LitTextured);
    glDisable(GL_TEXTURE_1D);
    if (!onlyOneValue) {
        const Rgba white{1.0f, 1.0f, 1.0f, 0.5f};
        setFrontDiffuseAmbient(white, white);
        glEnable(GL_BLEND);
        spheres.clear();
        for (const ConstraintMarker& m : markers) spheres.push_back(sphereInstance(m.position, 0.35, white, white));
        SphereInstances::instance().draw(spheres, SphereShading::Lit);
        glDisable(GL_BLEND);
    }
}

void drawPinnedVertices(const std::set<int>& pinned, const std::vector<vec3>& positions) {
    glEnable(GL_LIGHTING);
    glDisable(GL_TEXTURE_1D);
    const Rgba colour{0.1f, 0.45f, 0.95f, 1.0f};
    setMarkerMaterial(colour);
    const int n = static_cast<int>(positions.size());
    std::vector<SphereInstance> spheres;
    for (int v : pinned)
        if (v >= 0 && v < n) spheres.push_back(sphereInstance(positions[v], 0.5, colour, colour));
    SphereInstances::instance().draw(spheres, SphereShading::Lit);
}

void drawMarkerPoints(const std::vector<TTetSample>& markers, const std::vector<vec3>& positions) {
    glEnable(GL_LIGHTING);
    glDisable(GL_TEXTURE_1D);
    std::vector<SphereInstance> spheres;
    for (size_t i = 0; i < markers.size(); ++i) {
        const Rgba colour = i < 2 ? Rgba{0.95f, 0.75f, 0.1f, 1.0f} : Rgba{0.2f, 0.85f, 0.3f, 1.0f};
        // The material of every marker, drawn or not, as when each set its own.
        setMarkerMaterial(colour);
        vec3 p;
        if (samplePosition(markers[i], positions, p)) spheres.push_back(sphereInstance(p, 0.7, colour, colour));
    }
    SphereInstances::instance().draw(spheres, SphereShading::Lit);
}
