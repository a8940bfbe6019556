// SphereInstances: the instancing program, the shared sphere buffers and the fallback.
#include "render/SphereInstances.h"

#include <GL/glew.h>

#include <cmath>
#include <string>
#include <unordered_map>

#include "linalg/Diagnostics.h"
#include "render/GLMaterial.h"
#include "render/MarkerPrimitives.h"

namespace {

// Attribute slots of the per-sphere data; slot 0 stays with the position (gl_Vertex).
constexpr GLuint kCentreRadiusSlot = 3;
constexpr GLuint kDiffuseSlot = 4;
constexpr GLuint kAmbientSlot = 5;
constexpr GLuint kTexCoordSlot = 6;
constexpr int kShadedLights = 4;
constexpr int kOctagonCorners = 8;
constexpr double kPi = 3.14159265358979;

// Each sphere is a screen-facing octagon around its silhouette on which the fragment program casts
// the eye ray against the exact sphere: the depth written is the sphere's, and the lighting is the
// fixed-function pipeline's (local lights with attenuation, infinite viewer, one-sided, single
// colour) on the per-sphere material, evaluated at the surface point.
const char* kVertexSource = R"(
attribute vec4 centreRadius;
attribute vec4 sphereDiffuse;
varying vec3 rayPoint;
varying vec3 centre;
varying float centreTerm;
varying vec4 diffuse;
#if LIT
attribute vec4 sphereAmbient;
varying float radius;
varying vec4 ambient;
#endif
#if TEXTURED
attribute float sphereTexCoord;
varying float rampCoord;
#endif
void main() {
    vec4 c = gl_ModelViewMatrix * vec4(centreRadius.xyz, 1.0);
    centre = c.xyz / c.w;
    float r = centreRadius.w * length(gl_ModelViewMatrix[0].xyz);
    float d = length(centre);
    vec3 w = d > 0.0 ? -centre / d : vec3(0.0, 0.0, 1.0);
    vec3 u = abs(w.y) < 0.9 ? normalize(cross(vec3(0.0, 1.0, 0.0), w)) : normalize(cross(vec3(1.0, 0.0, 0.0), w));
    vec3 v = cross(w, u);
    // The silhouette cone's cross-section at the centre, a little wider for rounding.
    float reach = 1.02 * r * d / sqrt(max(d * d - r * r, 1e-6 * d * d));
    rayPoint = centre + reach * (gl_Vertex.x * u + gl_Vertex.y * v);
    centreTerm = dot(centre, centre) - r * r;
    gl_Position = gl_ProjectionMatrix * vec4(rayPoint, 1.0);
    diffuse = sphereDiffuse;
#if LIT
    radius = r;
    ambient = sphereAmbient;
#endif
#if TEXTURED
    rampCoord = sphereTexCoord;
#endif
}
)";

// Compiled once per shading and set of enabled lights (LIT, TEXTURED and LIGHT_ON_<i> defined
// before both stages), so that no pixel pays for a branch it does not take.
const char* kFragmentSource = R"(
uniform vec4 depthRow;
uniform vec4 wRow;
varying vec3 rayPoint;
varying vec3 centre;
varying float centreTerm;
varying vec4 diffuse;
#if LIT
varying float radius;
varying vec4 ambient;
#endif
#if TEXTURED
uniform sampler1D ramp;
varying float rampCoord;
#endif
#if LIT
vec4 lightTerm(int i, vec3 p, vec3 n) {
    vec4 lp = gl_LightSource[i].position;
    vec3 toLight = lp.w == 0.0 ? lp.xyz : lp.xyz / lp.w - p;
    float attenuation = 1.0;
    if (lp.w != 0.0) {
        float d = length(toLight);
        attenuation = 1.0 / (gl_LightSource[i].constantAttenuation + gl_LightSource[i].linearAttenuation * d +
                             gl_LightSource[i].quadraticAttenuation * d * d);
    }
    vec3 l = normalize(toLight);
    float nl = dot(n, l);
    vec4 term = ambient * gl_LightSource[i].ambient;
    if (nl > 0.0) {
        term += nl * diffuse * gl_LightSource[i].diffuse;
        float nh = max(dot(n, normalize(l + vec3(0.0, 0.0, 1.0))), 0.0);
        term += pow(nh, gl_FrontMaterial.shininess) * gl_FrontMaterial.specular * gl_LightSource[i].specular;
    }
    return attenuation * term;
}
#endif
void main() {
    // The eye ray through this pixel, t * rayPoint, meets the sphere first at the smaller root.
    float a = dot(rayPoint, rayPoint);
    float b = dot(rayPoint, centre);
    float disc = b * b - a * centreTerm;
    if (disc < 0.0) discard;
    vec4 p = vec4(((b - sqrt(disc)) / a) * rayPoint, 1.0);
    gl_FragDepth = 0.5 * (gl_DepthRange.diff * dot(depthRow, p) / dot(wRow, p) + gl_DepthRange.near + gl_DepthRange.far);
#if LIT
    vec3 n = (p.xyz - centre) / radius;
    vec4 c = gl_FrontMaterial.emission + ambient * gl_LightModel.ambient;
#if LIGHT_ON_0
    c += lightTerm(0, p.xyz, n);
#endif
#if LIGHT_ON_1
    c += lightTerm(1, p.xyz, n);
#endif
#if LIGHT_ON_2
    c += lightTerm(2, p.xyz, n);
#endif
#if LIGHT_ON_3
    c += lightTerm(3, p.xyz, n);
#endif
    vec4 colour = vec4(clamp(c.rgb, 0.0, 1.0), clamp(diffuse.a, 0.0, 1.0));
#else
    vec4 colour = diffuse;
#endif
#if TEXTURED
    colour.rgb *= texture1D(ramp, rampCoord).rgb;
#endif
    gl_FragColor = colour;
}
)";

GLuint compile(GLenum stage, const char* source) {
    const GLuint shader = glCreateShader(stage);
    if (shader == 0) return 0;
    glShaderSource(shader, 1, &source, nullptr);
    glCompileShader(shader);
    GLint ok = GL_FALSE;
    glGetShaderiv(shader, GL_COMPILE_STATUS, &ok);
    if (ok != GL_TRUE) {
        char log[1024] = {0};
        glGetShaderInfoLog(shader, sizeof(log) - 1, nullptr, log);
        diagPrintf("SphereInstances: the sphere shader does not compile: %s\n", log);
        glDeleteShader(shader);
        return 0;
    }
    return shader;
}

}  // namespace

SphereInstance sphereInstance(const vec3& centre, double radius, const Rgba& diffuse, const Rgba& ambient) {
    SphereInstance s;
    s.centre[0] = static_cast<float>(centre.x);
    s.centre[1] = static_cast<float>(centre.y);
    s.centre[2] = static_cast<float>(centre.z);
    s.radius = static_cast<float>(radius);
    s.diffuse = diffuse;
    s.ambient = ambient;
    return s;
}

SphereInstances& SphereInstances::instance() {
    static SphereInstances instances;
    return instances;
}

void SphereInstances::forgetContext() {
    m_buffersTried = false;
    m_meshBuffer = m_instanceBuffer = 0;
    m_instanceCapacity = 0;
    m_programs.clear();
    m_depthRows.clear();
}

bool SphereInstances::ensureBuffers() {
    if (m_buffersTried) return m_meshBuffer != 0;
    m_buffersTried = true;
    if (!GLEW_VERSION_2_0 || !glDrawArraysInstanced || !glVertexAttribDivisor || !glGenBuffers) return false;
    // The octagon every sphere is cast on (a fan around the unit circle): a sixth fewer pixels to
    // test than a square.
    float octagon[2 * kOctagonCorners];
    const double reach = 1.0 / std::cos(kPi / kOctagonCorners);
    for (int k = 0; k < kOctagonCorners; ++k) {
        const double angle = (2 * k + 1) * kPi / kOctagonCorners;
        octagon[2 * k] = static_cast<float>(reach * std::cos(angle));
        octagon[2 * k + 1] = static_cast<float>(reach * std::sin(angle));
    }
    glGenBuffers(1, &m_meshBuffer);
    glBindBuffer(GL_ARRAY_BUFFER, m_meshBuffer);
    glBufferData(GL_ARRAY_BUFFER, sizeof(octagon), octagon, GL_STATIC_DRAW);
    glGenBuffers(1, &m_instanceBuffer);
    glBindBuffer(GL_ARRAY_BUFFER, 0);
    return m_meshBuffer != 0 && m_instanceBuffer != 0;
}

unsigned int SphereInstances::program(SphereShading shading, int lightMask) {
    const int key = static_cast<int>(shading) * 256 + lightMask;
    const auto found = m_programs.find(key);
    if (found != m_programs.end()) return found->second;
    unsigned int& slot = m_programs[key];
    std::string defines = "#version 120\n";
    defines += std::string("#define LIT ") + (shading == SphereShading::Unlit ? "0" : "1") + "\n";
    defines += std::string("#define TEXTURED ") + (shading == SphereShading::LitTextured ? "1" : "0") + "\n";
    for (int i = 0; i < kShadedLights; ++i)
        defines += "#define LIGHT_ON_" + std::to_string(i) + ((lightMask >> i) & 1 ? " 1\n" : " 0\n");
    const GLuint vertex = compile(GL_VERTEX_SHADER, (defines + kVertexSource).c_str());
    const GLuint fragment = vertex ? compile(GL_FRAGMENT_SHADER, (defines + kFragmentSource).c_str()) : 0;
    if (!vertex || !fragment) {
        if (vertex) glDeleteShader(vertex);
        return slot = 0;
    }
    const GLuint linked = glCreateProgram();
    glAttachShader(linked, vertex);
    glAttachShader(linked, fragment);
    glBindAttribLocation(linked, kCentreRadiusSlot, "centreRadius");
    glBindAttribLocation(linked, kDiffuseSlot, "sphereDiffuse");
    glBindAttribLocation(linked, kAmbientSlot, "sphereAmbient");
    glBindAttribLocation(linked, kTexCoordSlot, "sphereTexCoord");
    glLinkProgram(linked);
    glDeleteShader(vertex);
    glDeleteShader(fragment);
    GLint ok = GL_FALSE;
    glGetProgramiv(linked, GL_LINK_STATUS, &ok);
    if (ok != GL_TRUE) {
        diagPrintf("SphereInstances: the sphere shader does not link\n");
        glDeleteProgram(linked);
        return slot = 0;
    }
    glUseProgram(linked);
    const GLint ramp = glGetUniformLocation(linked, "ramp");
    if (ramp >= 0) glUniform1i(ramp, 0);
    glUseProgram(0);
    m_depthRows[linked] = {glGetUniformLocation(linked, "depthRow"), glGetUniformLocation(linked, "wRow")};
    return slot = linked;
}

void SphereInstances::drawOneByOne(const std::vector<SphereInstance>& spheres, SphereShading shading) {
    for (const SphereInstance& s : spheres) {
        const vec3 centre(s.centre[0], s.centre[1], s.centre[2]);
        if (shading == SphereShading::Unlit) {
            glColor4fv(s.diffuse.data());
            drawSphere(s.radius, centre);
        } else {
            setFrontDiffuseAmbient(s.diffuse, s.ambient);
            if (shading == SphereShading::LitTextured) glTexCoord1f(s.texCoord);
            drawSphereWithNormals(s.radius, centre);
        }
    }
}

void SphereInstances::draw(const std::vector<SphereInstance>& spheres, SphereShading shading) {
    if (spheres.empty()) return;
    int lightMask = 0;
    if (shading != SphereShading::Unlit)
        for (int i = 0; i < kShadedLights; ++i)
            if (glIsEnabled(GL_LIGHT0 + i)) lightMask |= 1 << i;
    const unsigned int shader = m_instancingAllowed && ensureBuffers() ? program(shading, lightMask) : 0;
    if (shader == 0) {
        drawOneByOne(spheres, shading);
        return;
    }
    const size_t bytes = spheres.size() * sizeof(SphereInstance);
    glBindBuffer(GL_ARRAY_BUFFER, m_instanceBuffer);
    if (bytes > m_instanceCapacity) {
        glBufferData(GL_ARRAY_BUFFER, static_cast<GLsizeiptr>(bytes), spheres.data(), GL_DYNAMIC_DRAW);
        m_instanceCapacity = bytes;
    } else {
        glBufferSubData(GL_ARRAY_BUFFER, 0, static_cast<GLsizeiptr>(bytes), spheres.data());
    }
    const GLsizei stride = sizeof(SphereInstance);
    const struct {
        GLuint slot;
        GLint size;
        size_t offset;
    } perSphere[4] = {{kCentreRadiusSlot, 4, offsetof(SphereInstance, centre)},
                      {kDiffuseSlot, 4, offsetof(SphereInstance, diffuse)},
                      {kAmbientSlot, 4, offsetof(SphereInstance, ambient)},
                      {kTexCoordSlot, 1, offsetof(SphereInstance, texCoord)}};
    for (const auto& a : perSphere) {
        glEnableVertexAttribArray(a.slot);
        glVertexAttribPointer(a.slot, a.size, GL_FLOAT, GL_FALSE, stride, reinterpret_cast<const void*>(a.offset));
        glVertexAttribDivisor(a.slot, 1);
    }
    glPushClientAttrib(GL_CLIENT_VERTEX_ARRAY_BIT);
    glBindBuffer(GL_ARRAY_BUFFER, m_meshBuffer);
    glEnableClientState(GL_VERTEX_ARRAY);
    glVertexPointer(2, GL_FLOAT, 0, nullptr);
    glDisableClientState(GL_NORMAL_ARRAY);
    glDisableClientState(GL_COLOR_ARRAY);
    glDisableClientState(GL_TEXTURE_COORD_ARRAY);

    glUseProgram(shader);
    float projection[16];
    glGetFloatv(GL_PROJECTION_MATRIX, projection);
    const auto rows = m_depthRows[shader];
    glUniform4f(rows.first, projection[2], projection[6], projection[10], projection[14]);
    glUniform4f(rows.second, projection[3], projection[7], projection[11], projection[15]);
    // The octagons face the eye whatever the winding, so culling is left to the depth test.
    const GLboolean culling = glIsEnabled(GL_CULL_FACE);
    glDisable(GL_CULL_FACE);
    glDrawArraysInstanced(GL_TRIANGLE_FAN, 0, kOctagonCorners, static_cast<GLsizei>(spheres.size()));
    if (culling) glEnable(GL_CULL_FACE);
    glUseProgram(0);

    glPopClientAttrib();
    for (const auto& a : perSphere) {
        glVertexAttribDivisor(a.slot, 0);
        glDisableVertexAttribArray(a.slot);
    }
    // Client arrays elsewhere take plain pointers: no buffer may stay bound.
    glBindBuffer(GL_ARRAY_BUFFER, 0);
    // The state the one-by-one path leaves behind.
    const SphereInstance& last = spheres.back();
    if (shading == SphereShading::Unlit) {
        glColor4fv(last.diffuse.data());
    } else {
        setFrontDiffuseAmbient(last.diffuse, last.ambient);
        if (shading == SphereShading::LitTextured) glTexCoord1f(last.texCoord);
    }
}
