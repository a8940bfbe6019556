// HeartRenderer: the passes that draw the heart's surface: the shaded pass through the heart shader,
// the plain lit pass, the surface coloured by chamber, and the closed chamber walls.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "mesh/TTriangleMesh.h"
#include "model/TLSMModel.h"
#include "render/ColourRamps.h"
#include "render/Rgba.h"
#include "render/SphereInstances.h"
#include "render/SurfaceBuffers.h"

// ---- GL-free builders ------------------------------------------------------------------------

/// Samples a per-vertex value at every surface vertex through its source record: the value of vertA,
/// or (1 - t) value(vertA) + t value(vertB) for a blend vertex. out gets one entry per source (its
/// storage is reused). A source whose vertex lies outside values samples 0; returns how many did.
int sampleThroughSources(const std::vector<SurfaceVertexSource>& sources, const std::vector<double>& values,
                         std::vector<double>& out);

/// Depth band of a triangle from its corners' depth values: 0 when all are at most 0.1, else 1 when
/// all are at most 0.6, else 2 (also when a value is not a number).
int depthBand(double d0, double d1, double d2);

/// The emission order of the shaded pass: three walks over order, taking first the triangles of band
/// 0, then of band 1, then the rest. depth holds one value per surface vertex; marks is the
/// per-triangle "emitted" buffer (resized to the triangle count and cleared here, storage reused).
void orderByDepthBands(const std::vector<TTriangleMesh::Tri>& triangles, const std::vector<int>& order,
                       const std::vector<double>& depth, std::vector<char>& marks, std::vector<int>& out);

/// The model's draw order with entries outside the surface left out. An order whose length differs
/// from the triangle count (the model was not refreshed) is replaced here by a fresh one, computed
/// as TLSMModel::buildDrawOrder would; the model itself is not changed.
std::vector<int> validDrawOrder(const TLSMModel& model);

/// Interleaved-free vertex arrays of one triangle batch (three corners per triangle).
struct SurfaceBatch {
    std::vector<float> positions;  ///< 3 per corner
    std::vector<float> normals;    ///< 3 per corner
    std::vector<float> texCoords;  ///< 1 per corner, empty without texture coordinates
    int cornerCount() const { return static_cast<int>(positions.size() / 3); }
};

/// Options of buildSurfaceBatch.
struct SurfaceBatchOptions {
    /// Corners at a surface vertex with a non-zero tag take the triangle normal.
    bool flatShadingTags = true;
    /// Corners in the order 0, 2, 1 (the inner side faces the viewer).
    bool reverseWinding = false;
};

/// Fills batch with the triangles of mesh listed in triangles, in that order: per corner the normal
/// (vertex normal, or the triangle normal where flatTags marks the vertex), the position and, when
/// texCoords is given (one per surface vertex), the texture coordinate. Triangles with a corner
/// outside the mesh are left out. Storage is reused between calls.
void buildSurfaceBatch(const TTriangleMesh& mesh, const std::vector<int16_t>& flatTags,
                       const std::vector<int>& triangles, const std::vector<double>* texCoords,
                       const SurfaceBatchOptions& options, SurfaceBatch& batch);

/// Diffuse and ambient colour of a chamber id (0 none, 1 right ventricle, 2 left ventricle,
/// 3 right atrium, any other id the left atrium's colour).
Rgba chamberDiffuse(int id);
Rgba chamberAmbient(int id);

/// Flat normal of a wall triangle: unit((b - a) x (c - a)), the zero vector when degenerate.
vec3 wallTriangleNormal(const vec3& a, const vec3& b, const vec3& c);

/// The camera eye in model coordinates from a column-major model-view matrix (the translation
/// undone through the rotation); the origin when the matrix is singular.
vec3 eyeFromModelView(const double modelView[16]);

/// Source of one stage of the heart shader file: the file's own "#version" line (or "#version 120"
/// when it has none) first, then the stage's defines (VERTEX_PROGRAM and "Vert_Main" as the entry,
/// or FRAGMENT_PROGRAM and "Frag_Main"), then the rest of the file.
std::string heartShaderStageSource(const std::string& fileText, bool vertexStage);

// ---- The shader holder -----------------------------------------------------------------------

/// The heart shader: one GLSL file holding a vertex program (entry "Vert_Main") and a fragment
/// program (entry "Frag_Main"), linked into one program. Uniforms: "modelViewMat" (model-view-
/// projection), "modelToWorld" (model-view), "unif.eyePos" (camera eye in model coordinates) and
/// "unif.trans" (the opacity). Per vertex it takes the position, the normal and one texture
/// coordinate (the amplitude). Lives in the renderer; serves the current model and context.
class TSheder {
   public:
    TSheder() = default;
    TSheder(const TSheder&) = delete;
    TSheder& operator=(const TSheder&) = delete;

    /// Reads m_shaderPath, compiles and links both programs and looks up the uniforms. Prints
    /// "initShapder <path>" and, on failure, the message of the failing step with the compiler's or
    /// linker's log. True (and m_shaderReady) on success. Needs a current context.
    bool initShader();
    /// Uses the program and sets the uniforms from the current matrices and alpha.
    void bind(double alpha);
    /// Back to fixed-function drawing.
    void unbind();
    /// Deletes the programs (current context) and clears the ready flag.
    void release();
    /// Forgets the programs without deleting them (their context is gone).
    void forget();

    bool m_shaderReady = false;
    std::string m_shaderPath;
    /// The shader stages (GL_VERTEX_SHADER, GL_FRAGMENT_SHADER) the two programs are built for.
    unsigned int m_vertProfile = 0;
    unsigned int m_fragProfile = 0;
    /// The compiled stages and the linked program; 0 when absent.
    unsigned int m_vertProgram = 0;
    unsigned int m_fragProgram = 0;
    unsigned int m_program = 0;
    /// Uniform locations; -1 when the program does not use them.
    int m_modelViewMat = -1;
    int m_modelToWorld = -1;
    int m_trans = -1;
    int m_eyePos = -1;
};

/// File name of the heart shader, looked for in the program's directory.
constexpr const char* kHeartShaderFileName = "heartShader.glsl";

// ---- The passes (current context, inside a frame) --------------------------------------------

/// Holds what the passes keep between frames: the shader holder, the sampling and mark buffers, and
/// the surface and wall vertex buffers (uploaded again only when their data changed, so once per
/// tick while the heart beats and not at all for a redraw of a still one). One per process (one
/// view); user-interface thread only.
class HeartRenderer {
   public:
    static HeartRenderer& instance();

    /// The standard mode's surface: shader (set up on demand; fixed-function lighting while it is
    /// not ready), shaded material with opacity alpha, blended with back faces culled below 0.95,
    /// triangles in the three depth bands. Fills in m_shaderPath when it is empty.
    void drawShaded(const TLSMModel& model, double alpha);
    /// The paint mode's surface: plain material, translucent (blended, no culling, no depth writes)
    /// below 0.9999.
    void drawPlain(const TLSMModel& model, double alpha);
    /// The surface coloured by chamber id, inner side towards the viewer; only with one id per
    /// triangle. translucent: blended without depth writes.
    void drawByChamber(const TLSMModel& model, bool translucent);
    /// The four chamber wall lists with flat normals at the current positions.
    void drawChamberWalls(const TLSMModel& model);

    /// The context was replaced: programs and textures of the old one are forgotten.
    void forgetContext();

    TSheder m_sheder;
    /// The heart shader's file (the program's directory when empty) and whether it was built from
    /// it; while false every shaded frame tries to build it again, so clearing it asks for a rebuild.
    /// A model it has not drawn before (a load) has it built again too.
    std::string m_shaderPath;
    bool m_shaderReady = false;
    std::uint64_t m_shaderModelSerial = 0;
    std::vector<double> m_amplitudeSamples;
    std::vector<double> m_depthSamples;
    std::vector<char> m_triangleMarks;
    std::vector<int> m_emitOrder;
    /// The surface with the flat-shading tags (shaded, plain and field passes) and without them
    /// (the chamber colouring), and the index slots of the passes.
    SurfaceBuffers m_taggedSurface;
    SurfaceBuffers m_untaggedSurface;
    static constexpr int kShadedSlot = 0;
    static constexpr int kPlainSlot = 1;
    static constexpr int kFieldSlot = 2;
    static constexpr int kWireframeSlot = 3;
    std::vector<std::uint32_t> m_edgeIndices;
    /// The chamber walls at the current positions (normal and position per corner).
    std::vector<float> m_wallVertices;
    int m_wallCounts[4] = {0, 0, 0, 0};
    std::uint64_t m_wallKey = 0;
    bool m_wallsUploaded = false;
    GLBuffer m_wallBuffer;
    /// The spheres of the per-vertex passes (storage reused between frames).
    std::vector<SphereInstance> m_spheres;

   private:
    HeartRenderer() = default;
};

/// The scene's base state as the context's set-up leaves it (depth test and writes on, blending and
/// 1-D texturing off, back faces culled), so that what an earlier frame's overlays changed does not
/// carry into the passes of the next.
void resetSceneState();

/// Forgets every per-context resource of the drawing layer (ramp textures, shader programs);
/// called when the view's context is created anew.
void forgetRenderResources();
