// HeartRenderer: surface sampling, depth bands, vertex batches, the heart shader and the surface passes.
#include "render/HeartRenderer.h"

#include <GL/glew.h>

#include <cmath>
#include <fstream>
#include <sstream>

#include "linalg/Diagnostics.h"
#include "mesh/ScreenProjection.h"
#include "model/MainWindowManager.h"
#include "render/FibreLineBuffers.h"
#include "render/GLMaterial.h"

namespace {

/// Lighting with both scene lights on, texturing off: the start of every lit surface pass.
void enableLitUntextured() {
    glEnable(GL_LIGHTING);
    glEnable(GL_LIGHT0);
    glEnable(GL_LIGHT1);
    glDisable(GL_TEXTURE_1D);
    glDisable(GL_TEXTURE_2D);
}

/// Below this opacity the shaded pass blends; the plain pass blends below kPlainOpaque.
constexpr double kShadedOpaque = 0.95;
constexpr double kPlainOpaque = 0.9999;
constexpr double kOuterBandDepth = 0.1;
constexpr double kMiddleBandDepth = 0.6;

bool allAtMost(double a, double b, double c, double limit) { return a <= limit && b <= limit && c <= limit; }

void putVec3(std::vector<float>& out, const vec3& v) {
    out.push_back(static_cast<float>(v.x));
    out.push_back(static_cast<float>(v.y));
    out.push_back(static_cast<float>(v.z));
}

std::string shaderLog(GLuint object, bool program) {
    GLint length = 0;
    if (program) {
        glGetProgramiv(object, GL_INFO_LOG_LENGTH, &length);
    } else {
        glGetShaderiv(object, GL_INFO_LOG_LENGTH, &length);
    }
    if (length <= 1) return std::string();
    std::string log(static_cast<size_t>(length), '\0');
    GLsizei written = 0;
    if (program) {
        glGetProgramInfoLog(object, length, &written, &log[0]);
    } else {
        glGetShaderInfoLog(object, length, &written, &log[0]);
    }
    log.resize(static_cast<size_t>(written));
    return log;
}

/// Compiles one stage; 0 (with the log in log) when it does not compile.
GLuint compileStage(GLenum stage, const std::string& source, std::string& log) {
    const GLuint shader = glCreateShader(stage);
    if (shader == 0) return 0;
    const char* text = source.c_str();
    glShaderSource(shader, 1, &text, nullptr);
    glCompileShader(shader);
    GLint ok = GL_FALSE;
    glGetShaderiv(shader, GL_COMPILE_STATUS, &ok);
    if (ok != GL_TRUE) {
        log = shaderLog(shader, false);
        glDeleteShader(shader);
        return 0;
    }
    return shader;
}

void printLog(const std::string& log) {
    if (log.empty()) return;
    diagPrintf("%s%s", log.c_str(), log.back() == '\n' ? "" : "\n");
}

const Rgba kChamberColours[5] = {
    {0.4f, 0.4f, 0.4f, 0.4f},  // none (diffuse; its ambient is lighter)
    {0.9f, 0.6f, 0.2f, 0.7f},  // right ventricle
    {0.9f, 0.2f, 0.5f, 0.7f},  // left ventricle
    {0.6f, 0.2f, 0.9f, 0.7f},  // right atrium
    {0.2f, 0.6f, 0.9f, 0.7f},  // left atrium (and any other id)
};

}  // namespace

// ---- GL-free builders ------------------------------------------------------------------------

int sampleThroughSources(const std::vector<SurfaceVertexSource>& sources, const std::vector<double>& values,
                         std::vector<double>& out) {
    const int valueCount = static_cast<int>(values.size());
    out.resize(sources.size());
    int unresolved = 0;
    for (size_t i = 0; i < sources.size(); ++i) {
        const SurfaceVertexSource& s = sources[i];
        const bool aOk = s.vertA >= 0 && s.vertA < valueCount;
        const bool bOk = !s.isBlend || (s.vertB >= 0 && s.vertB < valueCount);
        if (!aOk || !bOk) {
            out[i] = 0.0;
            ++unresolved;
        } else if (s.isBlend) {
            out[i] = s.t * values[s.vertB] + (1.0 - s.t) * values[s.vertA];
        } else {
            out[i] = values[s.vertA];
        }
    }
    return unresolved;
}

int depthBand(double d0, double d1, double d2) {
    if (allAtMost(d0, d1, d2, kOuterBandDepth)) return 0;
    if (allAtMost(d0, d1, d2, kMiddleBandDepth)) return 1;
    return 2;
}

void orderByDepthBands(const std::vector<TTriangleMesh::Tri>& triangles, const std::vector<int>& order,
                       const std::vector<double>& depth, std::vector<char>& marks, std::vector<int>& out) {
    const int vertexCount = static_cast<int>(depth.size());
    marks.assign(triangles.size(), 0);
    out.clear();
    auto depthAt = [&](int v) { return v >= 0 && v < vertexCount ? depth[v] : std::nan(""); };
    for (double limit : {kOuterBandDepth, kMiddleBandDepth}) {
        for (int t : order) {
            if (marks[t]) continue;
            const TTriangleMesh::Tri& tri = triangles[t];
            if (!allAtMost(depthAt(tri[0]), depthAt(tri[1]), depthAt(tri[2]), limit)) continue;
            marks[t] = 1;
            out.push_back(t);
        }
    }
    for (int t : order) {
        if (marks[t]) continue;
        marks[t] = 1;
        out.push_back(t);
    }
}

std::vector<int> validDrawOrder(const TLSMModel& model) {
    std::vector<int> fresh;
    if (model.m_triDrawOrder.size() != model.m_surface.polys().size()) fresh = model.computeDrawOrder();
    const std::vector<int>& stored = fresh.empty() ? model.m_triDrawOrder : fresh;
    const int count = static_cast<int>(model.m_surface.polys().size());
    std::vector<int> order;
    order.reserve(stored.size());
    std::vector<char> seen(static_cast<size_t>(count), 0);
    for (int t : stored)
        if (t >= 0 && t < count && !seen[t]) {
            seen[t] = 1;
            order.push_back(t);
        }
    return order;
}

void buildSurfaceBatch(const TTriangleMesh& mesh, const std::vector<int16_t>& flatTags,
                       const std::vector<int>& triangles, const std::vector<double>* texCoords,
                       const SurfaceBatchOptions& options, SurfaceBatch& batch) {
    const int vertexCount = static_cast<int>(mesh.verts().size());
    const int triangleCount = static_cast<int>(mesh.polys().size());
    const bool haveVertexNormals = mesh.vertexNormals().size() == mesh.verts().size();
    const bool haveTriangleNormals = mesh.polyNormals().size() == mesh.polys().size();
    const bool haveTags = options.flatShadingTags && flatTags.size() == mesh.verts().size();
    const bool haveCoords = texCoords && static_cast<int>(texCoords->size()) == vertexCount;
    batch.positions.clear();
    batch.normals.clear();
    batch.texCoords.clear();
    static const int kForward[3] = {0, 1, 2}, kReversed[3] = {0, 2, 1};
    const int* corners = options.reverseWinding ? kReversed : kForward;
    for (int t : triangles) {
        if (t < 0 || t >= triangleCount) continue;
        const TTriangleMesh::Tri& tri = mesh.polys()[t];
        if (tri[0] < 0 || tri[1] < 0 || tri[2] < 0 || tri[0] >= vertexCount || tri[1] >= vertexCount ||
            tri[2] >= vertexCount)
            continue;
        for (int k = 0; k < 3; ++k) {
            const int v = tri[corners[k]];
            vec3 normal;
            if (haveTags && flatTags[v] != 0 && haveTriangleNormals) {
                normal = mesh.polyNormals()[t];
            } else if (haveVertexNormals) {
                normal = mesh.vertexNormals()[v];
            }
            putVec3(batch.normals, normal);
            putVec3(batch.positions, mesh.verts()[v]);
            if (haveCoords) batch.texCoords.push_back(static_cast<float>((*texCoords)[v]));
        }
    }
    if (texCoords && !haveCoords) batch.texCoords.assign(batch.positions.size() / 3, 0.0f);
}

Rgba chamberDiffuse(int id) { return kChamberColours[(id >= 0 && id <= 3) ? id : 4]; }

Rgba chamberAmbient(int id) {
    if (id == 0) return {0.6f, 0.6f, 0.6f, 0.4f};
    return chamberDiffuse(id);
}

vec3 wallTriangleNormal(const vec3& a, const vec3& b, const vec3& c) {
    const vec3 n = (b - a).cross(c - a);
    const double length = n.norm();
    return length > 0.0 ? n / length : n;
}

vec3 eyeFromModelView(const double modelView[16]) {
    double inverse[16];
    if (!invertMatrix4(modelView, inverse) || inverse[15] == 0.0) return vec3();
    return vec3(inverse[12], inverse[13], inverse[14]) / inverse[15];
}

std::string heartShaderStageSource(const std::string& fileText, bool vertexStage) {
    std::string version = "#version 120\n";
    std::string body = fileText;
    // A "#version" directive must stay the first thing the compiler sees.
    const size_t start = body.find_first_not_of(" \t\r\n");
    if (start != std::string::npos && body.compare(start, 8, "#version") == 0) {
        const size_t end = body.find('\n', start);
        version = body.substr(start, end == std::string::npos ? std::string::npos : end - start) + "\n";
        body = end == std::string::npos ? std::string() : body.substr(end + 1);
    }
    const char* defines = vertexStage ? "#define VERTEX_PROGRAM 1\n#define Vert_Main main\n"
                                      : "#define FRAGMENT_PROGRAM 1\n#define Frag_Main main\n";
    // The line directive keeps the compiler's line numbers those of the file.
    return version + defines + "#line 1\n" + body;
}

// ---- TSheder ---------------------------------------------------------------------------------

bool TSheder::initShader() {
    diagPrintf("initShapder %s\n", m_shaderPath.c_str());
    release();
    // The GLSL entry points stand where the shading-language run-time used to be.
    if (!glCreateShader || !glCreateProgram || !glShaderSource || !glCompileShader || !glLinkProgram) {
        diagPrintf("Cg is not avirable!!!!!!1111111\n");
        return false;
    }
    const GLubyte* languageVersion = glGetString(GL_SHADING_LANGUAGE_VERSION);
    if (!languageVersion || !*languageVersion) {
        diagPrintf("Cg is not avirable!!!!!! (on initialize Shader In TSheder)\n\n");
        return false;
    }
    m_vertProfile = GL_VERTEX_SHADER;
    m_fragProfile = GL_FRAGMENT_SHADER;

    std::string fileText;
    {
        std::ifstream file(m_shaderPath, std::ios::binary);
        if (file) {
            std::ostringstream text;
            text << file.rdbuf();
            fileText = text.str();
        }
        if (!file || fileText.empty()) {
            diagPrintf("\n !! cant load vertexd Shader: file is = %s \n", m_shaderPath.c_str());
            return false;
        }
    }
    std::string log;
    m_vertProgram = compileStage(m_vertProfile, heartShaderStageSource(fileText, true), log);
    if (m_vertProgram == 0) {
        diagPrintf("\n !! cant load vertexd Shader: file is = %s \n", m_shaderPath.c_str());
        printLog(log);
        return false;
    }
    m_fragProgram = compileStage(m_fragProfile, heartShaderStageSource(fileText, false), log);
    if (m_fragProgram == 0) {
        diagPrintf("\n !!cant load fragmen Shader ch:: file is = %s \n", m_shaderPath.c_str());
        printLog(log);
        release();
        return false;
    }
    m_program = glCreateProgram();
    glAttachShader(m_program, m_vertProgram);
    glAttachShader(m_program, m_fragProgram);
    glLinkProgram(m_program);
    GLint linked = GL_FALSE;
    glGetProgramiv(m_program, GL_LINK_STATUS, &linked);
    if (linked != GL_TRUE) {
        diagPrintf("\n !! cant link heart Shader: file is = %s \n", m_shaderPath.c_str());
        printLog(shaderLog(m_program, true));
        release();
        return false;
    }
    m_modelViewMat = glGetUniformLocation(m_program, "modelViewMat");
    m_modelToWorld = glGetUniformLocation(m_program, "modelToWorld");
    m_eyePos = glGetUniformLocation(m_program, "unif.eyePos");
    m_trans = glGetUniformLocation(m_program, "unif.trans");
    m_shaderReady = true;
    return true;
}

void TSheder::bind(double alpha) {
    if (!m_shaderReady || m_program == 0) return;
    double modelView[16], projection[16], mvp[16];
    glGetDoublev(GL_MODELVIEW_MATRIX, modelView);
    glGetDoublev(GL_PROJECTION_MATRIX, projection);
    multiplyMatrix4(projection, modelView, mvp);
    float mvpF[16], modelViewF[16];
    for (int i = 0; i < 16; ++i) {
        mvpF[i] = static_cast<float>(mvp[i]);
        modelViewF[i] = static_cast<float>(modelView[i]);
    }
    const vec3 eye = eyeFromModelView(modelView);
    glUseProgram(m_program);
    if (m_modelViewMat >= 0) glUniformMatrix4fv(m_modelViewMat, 1, GL_FALSE, mvpF);
    if (m_modelToWorld >= 0) glUniformMatrix4fv(m_modelToWorld, 1, GL_FALSE, modelViewF);
    if (m_eyePos >= 0)
        glUniform3f(m_eyePos, static_cast<float>(eye.x), static_cast<float>(eye.y), static_cast<float>(eye.z));
    if (m_trans >= 0) glUniform1f(m_trans, static_cast<float>(alpha));
}

void TSheder::unbind() {
    if (glUseProgram) glUseProgram(0);
}

void TSheder::release() {
    if (m_program && glDeleteProgram) glDeleteProgram(m_program);
    if (m_vertProgram && glDeleteShader) glDeleteShader(m_vertProgram);
    if (m_fragProgram && glDeleteShader) glDeleteShader(m_fragProgram);
    forget();
}

void TSheder::forget() {
    m_program = m_vertProgram = m_fragProgram = 0;
    m_modelViewMat = m_modelToWorld = m_trans = m_eyePos = -1;
    m_shaderReady = false;
}

// ---- The passes ------------------------------------------------------------------------------

HeartRenderer& HeartRenderer::instance() {
    static HeartRenderer renderer;
    return renderer;
}

void HeartRenderer::forgetContext() {
    m_sheder.forget();
    m_taggedSurface.forgetContext();
    m_untaggedSurface.forgetContext();
    m_wallBuffer.forget();
    m_wallsUploaded = false;
}

void forgetRenderResources() {
    HeartRenderer::instance().forgetContext();
    FibreLineBuffers::instance().forgetContext();
    SphereInstances::instance().forgetContext();
    forgetColourRamps();
}

void resetSceneState() {
    glEnable(GL_DEPTH_TEST);
    glDepthMask(GL_TRUE);
    glDisable(GL_BLEND);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
    glDisable(GL_TEXTURE_1D);
    glDisable(GL_TEXTURE_2D);
    glEnable(GL_CULL_FACE);
    glCullFace(GL_BACK);
}

void HeartRenderer::drawShaded(const TLSMModel& model, double alpha) {
    if (m_shaderPath.empty()) m_shaderPath = runningProgramDirectory() + kHeartShaderFileName;
    if (model.instanceSerial() != m_shaderModelSerial) {
        m_shaderModelSerial = model.instanceSerial();
        m_shaderReady = false;
    }
    if (!m_shaderReady || !m_sheder.m_shaderReady) {
        m_sheder.m_shaderPath = m_shaderPath;
        m_shaderReady = m_sheder.initShader();
    }

    sampleThroughSources(model.m_surfVtxSource, model.m_ampliField.m_value, m_amplitudeSamples);
    sampleThroughSources(model.m_surfVtxSource, model.m_orienField.m_depthField.m_value, m_depthSamples);
    const std::vector<int> order = validDrawOrder(model);
    orderByDepthBands(model.m_surface.polys(), order, m_depthSamples, m_triangleMarks, m_emitOrder);
    m_taggedSurface.update(model.m_surface, model.m_surfVtxTag, true);
    m_taggedSurface.updateTexCoords(m_amplitudeSamples);
    m_taggedSurface.updateIndices(kShadedSlot, m_emitOrder, false);

    const float a = static_cast<float>(alpha);
    enableLitUntextured();
    setFrontMaterial({1.0f, 1.0f, 1.0f, 0.8f}, {1.0f, 1.0f, 1.0f, a}, {0.4f, 0.4f, 0.4f, a}, 32.0f);
    const bool translucent = alpha < kShadedOpaque;
    if (translucent) {
        glEnable(GL_BLEND);
        glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
        glEnable(GL_CULL_FACE);
        glCullFace(GL_BACK);
    }
    if (m_sheder.m_shaderReady) m_sheder.bind(alpha);
    m_taggedSurface.draw(kShadedSlot, true);
    if (m_sheder.m_shaderReady) m_sheder.unbind();
    if (translucent) {
        glDepthMask(GL_TRUE);
        glEnable(GL_DEPTH_TEST);
        glDisable(GL_BLEND);
    }
}

void HeartRenderer::drawPlain(const TLSMModel& model, double alpha) {
    const std::vector<int> order = validDrawOrder(model);
    m_taggedSurface.update(model.m_surface, model.m_surfVtxTag, true);
    m_taggedSurface.updateIndices(kPlainSlot, order, false);
    const float a = static_cast<float>(alpha);
    enableLitUntextured();
    setFrontMaterial({0.3f, 0.3f, 0.3f, 0.9f}, {0.7f, 0.7f, 0.7f, a}, {0.5f, 0.5f, 0.5f, a}, 32.0f);
    const bool translucent = alpha < kPlainOpaque;
    if (translucent) {
        glEnable(GL_BLEND);
        glDisable(GL_CULL_FACE);
        glDepthMask(GL_FALSE);
        glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
    }
    m_taggedSurface.draw(kPlainSlot, false);
    if (translucent) {
        glDepthMask(GL_TRUE);
        glEnable(GL_DEPTH_TEST);
        glDisable(GL_BLEND);
    }
}

void HeartRenderer::drawByChamber(const TLSMModel& model, bool translucent) {
    if (model.m_polygonIDs.size() != model.m_surface.polys().size()) return;
    const std::vector<int> order = validDrawOrder(model);
    m_untaggedSurface.update(model.m_surface, model.m_surfVtxTag, false);
    m_untaggedSurface.updateIndices(0, order, true);
    const std::vector<int>& corners = m_untaggedSurface.arrays().cornerVertex;
    glEnable(GL_LIGHTING);
    glDisable(GL_TEXTURE_1D);
    glDisable(GL_TEXTURE_2D);
    glEnable(GL_CULL_FACE);
    glCullFace(GL_BACK);
    if (translucent) {
        glEnable(GL_BLEND);
        glDepthMask(GL_FALSE);
    }
    glMaterialfv(GL_FRONT, GL_SPECULAR, Rgba{0.2f, 0.2f, 0.2f, 0.3f}.data());
    glMaterialf(GL_FRONT, GL_SHININESS, 32.0f);
    // The draw order is grouped by chamber, so each run of one id is one range with one colour.
    size_t i = 0;
    int first = 0;
    while (i < order.size()) {
        const int id = model.m_polygonIDs[order[i]];
        int count = 0;
        for (; i < order.size() && model.m_polygonIDs[order[i]] == id; ++i)
            if (corners[3 * order[i]] >= 0) count += 3;
        setFrontDiffuseAmbient(chamberDiffuse(id), chamberAmbient(id));
        m_untaggedSurface.draw(0, false, first, count);
        first += count;
    }
    if (translucent) {
        glDepthMask(GL_TRUE);
        glDisable(GL_BLEND);
    }
}

void HeartRenderer::drawChamberWalls(const TLSMModel& model) {
    enableLitUntextured();
    glEnable(GL_CULL_FACE);
    glCullFace(GL_BACK);
    glMaterialfv(GL_FRONT, GL_SPECULAR, Rgba{0.9f, 0.9f, 0.9f, 0.9f}.data());
    glMaterialf(GL_FRONT, GL_SHININESS, 32.0f);
    const std::vector<TTriIndices>* walls[4] = {&model.m_trisVR, &model.m_trisVL, &model.m_trisAR, &model.m_trisAL};
    const int n = model.vertexCount();
    const std::vector<vec3>& p = model.m_verts;
    std::uint64_t key = fingerprintBytes(p.data(), p.size() * sizeof(vec3));
    for (const auto* wall : walls) key = fingerprintBytes(wall->data(), wall->size() * sizeof(TTriIndices), key + 1);
    if (key != m_wallKey || m_wallVertices.empty()) {
        // Normal and position per corner: the walls are flat-shaded, so corners are not shared.
        m_wallVertices.clear();
        for (int chamber = 0; chamber < 4; ++chamber) {
            const size_t before = m_wallVertices.size();
            for (const TTriIndices& t : *walls[chamber]) {
                if (t[0] < 0 || t[1] < 0 || t[2] < 0 || t[0] >= n || t[1] >= n || t[2] >= n) continue;
                const vec3 normal = wallTriangleNormal(p[t[0]], p[t[1]], p[t[2]]);
                for (int k = 0; k < 3; ++k) {
                    putVec3(m_wallVertices, normal);
                    putVec3(m_wallVertices, p[t[k]]);
                }
            }
            m_wallCounts[chamber] = static_cast<int>((m_wallVertices.size() - before) / 6);
        }
        m_wallKey = key;
        m_wallsUploaded = false;
    }
    if (m_wallVertices.empty()) return;
    const bool buffers = haveBufferObjects();
    if (buffers && !m_wallsUploaded)
        m_wallsUploaded = m_wallBuffer.upload(GL_ARRAY_BUFFER, m_wallVertices.data(), m_wallVertices.size() * sizeof(float));
    glBindBuffer(GL_ARRAY_BUFFER, 0);
    const bool fromBuffer = buffers && m_wallsUploaded;
    const char* base = fromBuffer ? nullptr : reinterpret_cast<const char*>(m_wallVertices.data());
    glPushClientAttrib(GL_CLIENT_VERTEX_ARRAY_BIT);
    if (fromBuffer) m_wallBuffer.bind(GL_ARRAY_BUFFER);
    pointInterleavedNormalsAndPositions(base);
    glDisableClientState(GL_TEXTURE_COORD_ARRAY);
    glBindBuffer(GL_ARRAY_BUFFER, 0);
    int first = 0;
    for (int chamber = 0; chamber < 4; ++chamber) {
        const Rgba colour = chamberDiffuse(chamber + 1);
        setFrontDiffuseAmbient(colour, colour);
        if (m_wallCounts[chamber] > 0) glDrawArrays(GL_TRIANGLES, first, m_wallCounts[chamber]);
        first += m_wallCounts[chamber];
    }
    glPopClientAttrib();
    glBindBuffer(GL_ARRAY_BUFFER, 0);
}
