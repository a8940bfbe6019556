// SurfaceDraw: triangle order and the lit surface pass.
#include "render/SurfaceDraw.h"

#include <GL/glew.h>

namespace {
constexpr double kOpaqueAlpha = 0.9999;
}  // namespace

std::vector<int> surfaceTriangleOrder(const TTriangleMesh& mesh, const std::vector<int>& drawOrder) {
    const int count = static_cast<int>(mesh.polys().size());
    bool usable = static_cast<int>(drawOrder.size()) == count;
    for (size_t i = 0; usable && i < drawOrder.size(); ++i) usable = drawOrder[i] >= 0 && drawOrder[i] < count;
    if (usable) return drawOrder;
    std::vector<int> order(static_cast<size_t>(count));
    for (int i = 0; i < count; ++i) order[static_cast<size_t>(i)] = i;
    return order;
}

void drawLitSurface(const TTriangleMesh& mesh, const std::vector<int>& drawOrder, double alpha) {
    const std::vector<int> order = surfaceTriangleOrder(mesh, drawOrder);
    const int vertexCount = static_cast<int>(mesh.verts().size());
    const bool haveNormals = mesh.vertexNormals().size() == mesh.verts().size();
    const bool translucent = alpha < kOpaqueAlpha;

    glEnable(GL_LIGHTING);
    glDisable(GL_TEXTURE_1D);
    glDisable(GL_TEXTURE_2D);
    const float ambient[4] = {0.35f, 0.12f, 0.12f, static_cast<float>(alpha)};
    const float diffuse[4] = {0.85f, 0.35f, 0.32f, static_cast<float>(alpha)};
    glMaterialfv(GL_FRONT, GL_AMBIENT, ambient);
    glMaterialfv(GL_FRONT, GL_DIFFUSE, diffuse);
    if (translucent) {
        glEnable(GL_BLEND);
        glDepthMask(GL_FALSE);
    }
    glBegin(GL_TRIANGLES);
    for (int t : order) {
        const TTriangleMesh::Tri& tri = mesh.polys()[static_cast<size_t>(t)];
        if (tri[0] < 0 || tri[1] < 0 || tri[2] < 0 || tri[0] >= vertexCount || tri[1] >= vertexCount ||
            tri[2] >= vertexCount)
            continue;
        for (int k = 0; k < 3; ++k) {
            const size_t v = static_cast<size_t>(tri[k]);
            if (haveNormals)
                glNormal3d(mesh.vertexNormals()[v].x, mesh.vertexNormals()[v].y, mesh.vertexNormals()[v].z);
            glVertex3d(mesh.verts()[v].x, mesh.verts()[v].y, mesh.verts()[v].z);
        }
    }
    glEnd();
    if (translucent) {
        glDepthMask(GL_TRUE);
        glDisable(GL_BLEND);
    }
}
