// SphereInstances: many marker spheres in one instanced draw of screen-facing octagons on which each
// sphere is ray-cast and lit as the fixed-function pipeline lights, with the one-sphere-at-a-time
// path as the fallback.
#pragma once

#include <unordered_map>
#include <utility>
#include <vector>

#include "linalg/vec3.h"
#include "render/Rgba.h"

/// One sphere to draw: centre, radius, its colours and its ramp coordinate. Unlit spheres take
/// diffuse as their colour; lit ones take diffuse and ambient as the material's (specular and
/// shininess are the current material's).
struct SphereInstance {
    float centre[3] = {0, 0, 0};
    float radius = 0.0f;
    Rgba diffuse{0, 0, 0, 1};
    Rgba ambient{0, 0, 0, 1};
    float texCoord = 0.0f;
};
static_assert(sizeof(SphereInstance) == 13 * sizeof(float), "instances are handed to OpenGL as packed floats");

/// Builds an instance (colours as given, texture coordinate 0).
SphereInstance sphereInstance(const vec3& centre, double radius, const Rgba& diffuse, const Rgba& ambient);

/// How a set of spheres is shaded.
enum class SphereShading {
    Unlit,        ///< the diffuse colour as it is
    Lit,          ///< the scene lights on the per-sphere material
    LitTextured,  ///< lit, then modulated by the bound 1-D texture at the sphere's coordinate
};

/// Draws the spheres of the current frame (current context, inside a frame). One per process.
class SphereInstances {
   public:
    static SphereInstances& instance();

    /// Draws spheres with the current depth and blend state: in one instanced draw when the
    /// context has shaders and instanced arrays (the exact sphere, lit per pixel), otherwise one sphere after the other through
    /// drawSphere / drawSphereWithNormals with the same colours. Leaves the current colour (unlit)
    /// or the material's diffuse and ambient (lit) at the last sphere's, as the fallback does.
    void draw(const std::vector<SphereInstance>& spheres, SphereShading shading);
    /// Forces the one-sphere-at-a-time path (for comparing the two).
    void setInstancingAllowed(bool allowed) { m_instancingAllowed = allowed; }
    /// Forgets the program and buffers of a context that is gone.
    void forgetContext();

   private:
    SphereInstances() = default;
    bool ensureBuffers();
    /// The program for a shading and a set of enabled lights (bit i: light i), built on first use;
    /// 0 when it does not build.
    unsigned int program(SphereShading shading, int lightMask);
    void drawOneByOne(const std::vector<SphereInstance>& spheres, SphereShading shading);

    bool m_instancingAllowed = true;
    bool m_buffersTried = false;
    std::unordered_map<int, unsigned int> m_programs;
    /// Per program: the locations of the projection's depth and w rows.
    std::unordered_map<unsigned int, std::pair<int, int>> m_depthRows;
    unsigned int m_meshBuffer = 0;
    unsigned int m_instanceBuffer = 0;
    size_t m_instanceCapacity = 0;
};
