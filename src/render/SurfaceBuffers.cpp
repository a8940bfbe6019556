// SurfaceBuffers: the indexed surface arrays, their change detection and drawing.
#include "render/SurfaceBuffers.h"

#include <GL/glew.h>

namespace {

bool triangleInside(const TTriangleMesh::Tri& t, int vertexCount) {
    return t[0] >= 0 && t[1] >= 0 && t[2] >= 0 && t[0] < vertexCount && t[1] < vertexCount && t[2] < vertexCount;
}

void putVec3(std::vector<float>& out, const vec3& v) {
    out.push_back(static_cast<float>(v.x));
    out.push_back(static_cast<float>(v.y));
    out.push_back(static_cast<float>(v.z));
}

}  // namespace

void buildSurfaceVertexArrays(const TTriangleMesh& mesh, const std::vector<int16_t>& flatTags, bool flatShadingTags,
                              SurfaceVertexArrays& arrays) {
    const int vertexCount = static_cast<int>(mesh.verts().size());
    const bool haveVertexNormals = mesh.vertexNormals().size() == mesh.verts().size();
    const bool haveTriangleNormals = mesh.polyNormals().size() == mesh.polys().size();
    const bool haveTags = flatShadingTags && flatTags.size() == mesh.verts().size() && haveTriangleNormals;
    arrays.positions.clear();
    arrays.normals.clear();
    arrays.surfaceVertex.clear();
    arrays.cornerVertex.assign(mesh.polys().size() * 3, -1);
    arrays.surfaceVertexCount = vertexCount;
    for (int v = 0; v < vertexCount; ++v) {
        putVec3(arrays.positions, mesh.verts()[v]);
        putVec3(arrays.normals, haveVertexNormals ? mesh.vertexNormals()[v] : vec3());
        arrays.surfaceVertex.push_back(v);
    }
    for (size_t t = 0; t < mesh.polys().size(); ++t) {
        const TTriangleMesh::Tri& tri = mesh.polys()[t];
        if (!triangleInside(tri, vertexCount)) continue;
        for (int k = 0; k < 3; ++k) {
            const int v = tri[k];
            if (haveTags && flatTags[v] != 0) {
                arrays.cornerVertex[3 * t + k] = static_cast<int>(arrays.surfaceVertex.size());
                putVec3(arrays.positions, mesh.verts()[v]);
                putVec3(arrays.normals, mesh.polyNormals()[t]);
                arrays.surfaceVertex.push_back(v);
            } else {
                arrays.cornerVertex[3 * t + k] = v;
            }
        }
    }
}

void surfaceTriangleIndices(const SurfaceVertexArrays& arrays, const std::vector<int>& triangles, bool reverseWinding,
                            std::vector<std::uint32_t>& indices) {
    static const int kForward[3] = {0, 1, 2}, kReversed[3] = {0, 2, 1};
    const int* corners = reverseWinding ? kReversed : kForward;
    const int triangleCount = static_cast<int>(arrays.cornerVertex.size() / 3);
    indices.clear();
    for (int t : triangles) {
        if (t < 0 || t >= triangleCount || arrays.cornerVertex[3 * t] < 0) continue;
        for (int k = 0; k < 3; ++k) indices.push_back(static_cast<std::uint32_t>(arrays.cornerVertex[3 * t + corners[k]]));
    }
}

void surfaceTexCoords(const SurfaceVertexArrays& arrays, const std::vector<double>& values, std::vector<float>& out) {
    out.assign(arrays.surfaceVertex.size(), 0.0f);
    if (static_cast<int>(values.size()) != arrays.surfaceVertexCount) return;
    for (size_t i = 0; i < arrays.surfaceVertex.size(); ++i) out[i] = static_cast<float>(values[arrays.surfaceVertex[i]]);
}

void SurfaceBuffers::update(const TTriangleMesh& mesh, const std::vector<int16_t>& flatTags, bool flatShadingTags) {
    std::uint64_t key = fingerprintBytes(mesh.verts().data(), mesh.verts().size() * sizeof(vec3));
    key = fingerprintBytes(mesh.vertexNormals().data(), mesh.vertexNormals().size() * sizeof(vec3), key);
    key = fingerprintBytes(mesh.polyNormals().data(), mesh.polyNormals().size() * sizeof(vec3), key);
    key = fingerprintBytes(mesh.polys().data(), mesh.polys().size() * sizeof(TTriangleMesh::Tri), key);
    if (flatShadingTags) key = fingerprintBytes(flatTags.data(), flatTags.size() * sizeof(int16_t), key + 1);
    if (m_vertexKey != 0 && key == m_vertexKey) return;
    buildSurfaceVertexArrays(mesh, flatTags, flatShadingTags, m_arrays);
    m_interleaved.resize(m_arrays.positions.size() * 2);
    for (size_t i = 0; i < m_arrays.positions.size() / 3; ++i)
        for (int k = 0; k < 3; ++k) {
            m_interleaved[6 * i + k] = m_arrays.normals[3 * i + k];
            m_interleaved[6 * i + 3 + k] = m_arrays.positions[3 * i + k];
        }
    m_vertexKey = key;
    m_vertexUploaded = false;
    // The texture coordinates and indices refer to the array vertices: take them anew.
    m_texKey = 0;
    m_texUploaded = false;
    for (int s = 0; s < kIndexSlots; ++s) {
        m_indices[s].clear();
        m_indicesUploaded[s] = false;
    }
}

void SurfaceBuffers::updateTexCoords(const std::vector<double>& values) {
    const std::uint64_t key = fingerprintBytes(values.data(), values.size() * sizeof(double), m_vertexKey);
    if (key == m_texKey && m_texCoords.size() == m_arrays.surfaceVertex.size()) return;
    surfaceTexCoords(m_arrays, values, m_texCoords);
    m_texKey = key;
    m_texUploaded = false;
}

void SurfaceBuffers::updateIndices(int slot, const std::vector<int>& triangles, bool reverseWinding) {
    surfaceTriangleIndices(m_arrays, triangles, reverseWinding, m_scratch);
    if (m_scratch == m_indices[slot]) return;
    m_indices[slot].swap(m_scratch);
    m_indicesUploaded[slot] = false;
}

void SurfaceBuffers::setIndices(int slot, const std::vector<std::uint32_t>& indices) {
    if (indices == m_indices[slot]) return;
    m_indices[slot] = indices;
    m_indicesUploaded[slot] = false;
}

void SurfaceBuffers::forgetContext() {
    m_vertexBuffer.forget();
    m_texBuffer.forget();
    for (int s = 0; s < kIndexSlots; ++s) {
        m_indexBuffers[s].forget();
        m_indicesUploaded[s] = false;
    }
    m_vertexUploaded = m_texUploaded = false;
}

void SurfaceBuffers::draw(int slot, bool withTexCoords, int first, int count, unsigned int mode) {
    const std::vector<std::uint32_t>& indices = m_indices[slot];
    const int total = static_cast<int>(indices.size());
    if (count < 0) count = total - first;
    if (first < 0 || count <= 0 || first + count > total) return;
    withTexCoords = withTexCoords && m_texCoords.size() == m_arrays.surfaceVertex.size();
    const bool buffers = haveBufferObjects();
    if (buffers && !m_vertexUploaded)
        m_vertexUploaded = m_vertexBuffer.upload(GL_ARRAY_BUFFER, m_interleaved.data(), m_interleaved.size() * sizeof(float));
    if (buffers && withTexCoords && !m_texUploaded)
        m_texUploaded = m_texBuffer.upload(GL_ARRAY_BUFFER, m_texCoords.data(), m_texCoords.size() * sizeof(float));
    if (buffers && !m_indicesUploaded[slot])
        m_indicesUploaded[slot] = m_indexBuffers[slot].upload(GL_ELEMENT_ARRAY_BUFFER, indices.data(),
                                                              indices.size() * sizeof(std::uint32_t));
    glBindBuffer(GL_ARRAY_BUFFER, 0);
    glBindBuffer(GL_ELEMENT_ARRAY_BUFFER, 0);
    const bool vertexFromBuffer = buffers && m_vertexUploaded;
    const bool texFromBuffer = buffers && m_texUploaded;
    const bool indexFromBuffer = buffers && m_indicesUploaded[slot];

    glPushClientAttrib(GL_CLIENT_VERTEX_ARRAY_BIT);
    const char* base = vertexFromBuffer ? nullptr : reinterpret_cast<const char*>(m_interleaved.data());
    if (vertexFromBuffer) m_vertexBuffer.bind(GL_ARRAY_BUFFER);
    pointInterleavedNormalsAndPositions(base);
    if (withTexCoords) {
        if (texFromBuffer) {
            m_texBuffer.bind(GL_ARRAY_BUFFER);
        } else {
            glBindBuffer(GL_ARRAY_BUFFER, 0);
        }
        glEnableClientState(GL_TEXTURE_COORD_ARRAY);
        glTexCoordPointer(1, GL_FLOAT, 0, texFromBuffer ? nullptr : m_texCoords.data());
    } else {
        glDisableClientState(GL_TEXTURE_COORD_ARRAY);
    }
    glBindBuffer(GL_ARRAY_BUFFER, 0);
    const std::uintptr_t offset = static_cast<std::uintptr_t>(first) * sizeof(std::uint32_t);
    if (indexFromBuffer) {
        m_indexBuffers[slot].bind(GL_ELEMENT_ARRAY_BUFFER);
        glDrawRangeElements(mode, 0, static_cast<GLuint>(m_arrays.vertexCount() - 1), count, GL_UNSIGNED_INT,
                            reinterpret_cast<const void*>(offset));
        glBindBuffer(GL_ELEMENT_ARRAY_BUFFER, 0);
    } else {
        glDrawElements(mode, count, GL_UNSIGNED_INT, indices.data() + first);
    }
    glPopClientAttrib();
    glBindBuffer(GL_ARRAY_BUFFER, 0);
}
