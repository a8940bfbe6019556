// ColourRamps: the three 1-D colour-ramp textures that colour the fields, and their texel tables.
#pragma once

#include <array>
#include <cstdint>
#include <vector>

/// One RGB texel of unsigned bytes.
using RampTexel = std::array<std::uint8_t, 3>;
static_assert(sizeof(RampTexel) == 3, "texels are handed to OpenGL as packed RGB bytes");

/// Red ramp: 255 texels, texel i = (i, 70, 50). Colours the amplitude field.
std::vector<RampTexel> redRampTexels();
/// Green ramp: 128 texels, texel i = (0, floor(255 i / 128), 0). Colours the phase field.
std::vector<RampTexel> greenRampTexels();
/// Rainbow: 128 texels running red (0), yellow (32), green (64), cyan (96) to blue (127); each
/// channel clamped to 0..255. Colours the depth field and the fibre lines.
std::vector<RampTexel> rainbowRampTexels();

/// The texel a texture coordinate selects under nearest filtering and clamp wrapping: coordinates
/// at or below 0 take the first texel, at or above 1 the last. texelCount must be positive.
int rampTexelIndex(double coordinate, int texelCount);

/// Texture names of the three ramps in the current context; 0 until built.
struct ColourRampTextures {
    unsigned int red = 0;
    unsigned int green = 0;
    unsigned int rainbow = 0;
    bool built = false;
};

/// The ramps of the view's context (one set per process: the program has one view).
ColourRampTextures& colourRampTextures();

/// Creates one 1-D RGB texture from texels with nearest filtering and clamp-to-edge wrapping and
/// returns its name (0 when the context gives none). Needs a current context.
unsigned int buildRampTexture(const std::vector<RampTexel>& texels);
/// The three ramps in their fixed order (red, green, rainbow); needs a current context.
unsigned int buildRedRamp();
unsigned int buildGreenRamp();
unsigned int buildRainbowRamp();

/// Builds the three ramps once per context (the first frame does it). Needs a current context.
void ensureColourRamps();
/// Forgets the ramps without deleting them: the context they lived in is gone or replaced.
void forgetColourRamps();
