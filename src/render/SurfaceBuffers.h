// SurfaceBuffers: the heart surface as indexed vertex buffers. Positions and normals go up once per
// change of the surface, texture coordinates once per change of the sampled field, and each pass's
// triangle indices only when its draw order changes.
#pragma once

#include <cstdint>
#include <vector>

#include "mesh/TTriangleMesh.h"
#include "render/GLBuffer.h"

// ---- GL-free builders ------------------------------------------------------------------------

/// The surface's vertices as OpenGL takes them: one array vertex per surface vertex with its vertex
/// normal, plus one per triangle corner that takes the triangle normal (a corner at a vertex with a
/// non-zero flat-shading tag), so that each corner reads the same position and normal as in
/// buildSurfaceBatch.
struct SurfaceVertexArrays {
    std::vector<float> positions;     ///< 3 per array vertex
    std::vector<float> normals;       ///< 3 per array vertex
    std::vector<int> surfaceVertex;   ///< per array vertex: the surface vertex it stands for
    std::vector<int> cornerVertex;    ///< 3 per triangle: the array vertex of each corner; -1 for a
                                      ///< triangle with a corner outside the mesh
    int surfaceVertexCount = 0;       ///< vertices of the mesh (the first array vertices)
    int vertexCount() const { return static_cast<int>(surfaceVertex.size()); }
};

/// Fills arrays from mesh; with flatShadingTags the corners at tagged vertices take the triangle
/// normal (when the mesh has triangle normals), as buildSurfaceBatch does. Storage is reused.
void buildSurfaceVertexArrays(const TTriangleMesh& mesh, const std::vector<int16_t>& flatTags, bool flatShadingTags,
                              SurfaceVertexArrays& arrays);

/// The indices of the triangles listed in triangles, in that order (corners 0, 2, 1 with
/// reverseWinding); triangles outside the mesh or with a corner outside it are left out.
void surfaceTriangleIndices(const SurfaceVertexArrays& arrays, const std::vector<int>& triangles, bool reverseWinding,
                            std::vector<std::uint32_t>& indices);

/// Texture coordinates per array vertex from one value per surface vertex; all 0 when values does
/// not hold one value per surface vertex (as buildSurfaceBatch).
void surfaceTexCoords(const SurfaceVertexArrays& arrays, const std::vector<double>& values, std::vector<float>& out);

// ---- The buffers (current context, inside a frame) -------------------------------------------

/// One vertex layout of the surface (with or without the flat-shading tags) in buffer objects, and
/// the index lists of the passes that draw it. Client arrays stand in where the context has no
/// buffer objects. Owned by the renderer; user-interface thread only.
class SurfaceBuffers {
   public:
    /// Brings positions and normals up to date with mesh (uploaded only when they changed).
    void update(const TTriangleMesh& mesh, const std::vector<int16_t>& flatTags, bool flatShadingTags);
    /// Brings the texture coordinates up to date with values (one per surface vertex).
    void updateTexCoords(const std::vector<double>& values);
    /// Brings the index list of pass slot (0..kIndexSlots - 1) up to date with triangles.
    void updateIndices(int slot, const std::vector<int>& triangles, bool reverseWinding);
    /// Sets the index list of pass slot to indices as they are (surface vertex v is array vertex v).
    void setIndices(int slot, const std::vector<std::uint32_t>& indices);
    /// Draws indices first .. first + count - 1 (count -1: to the end) of pass slot as primitives
    /// of mode (GL_TRIANGLES, GL_LINES), with texture coordinates when withTexCoords.
    void draw(int slot, bool withTexCoords, int first = 0, int count = -1, unsigned int mode = 0x0004);
    /// Indices in pass slot.
    int indexCount(int slot) const { return static_cast<int>(m_indices[slot].size()); }

    void forgetContext();

    static constexpr int kIndexSlots = 4;
    const SurfaceVertexArrays& arrays() const { return m_arrays; }

   private:
    SurfaceVertexArrays m_arrays;
    std::vector<float> m_interleaved;
    std::vector<float> m_texCoords;
    std::vector<std::uint32_t> m_indices[kIndexSlots];
    std::vector<std::uint32_t> m_scratch;
    std::uint64_t m_vertexKey = 0;
    std::uint64_t m_texKey = 0;
    bool m_vertexUploaded = false;
    bool m_texUploaded = false;
    bool m_indicesUploaded[kIndexSlots] = {false, false, false, false};
    GLBuffer m_vertexBuffer;
    GLBuffer m_texBuffer;
    GLBuffer m_indexBuffers[kIndexSlots];
};
