// ColourRamps: texel tables and the 1-D textures built from them.
#include "render/ColourRamps.h"

#include <GL/glew.h>

#include <algorithm>
#include <cmath>

namespace {

std::uint8_t clampByte(int value) { return static_cast<std::uint8_t>(std::clamp(value, 0, 255)); }

}  // namespace

std::vector<RampTexel> redRampTexels() {
    std::vector<RampTexel> texels(255);
    for (int i = 0; i < 255; ++i) texels[i] = {clampByte(i), 70, 50};
    return texels;
}

std::vector<RampTexel> greenRampTexels() {
    std::vector<RampTexel> texels(128);
    for (int i = 0; i < 128; ++i) texels[i] = {0, clampByte(255 * i / 128), 0};
    return texels;
}

std::vector<RampTexel> rainbowRampTexels() {
    std::vector<RampTexel> texels(128);
    for (int i = 0; i < 128; ++i)
        texels[i] = {clampByte(512 - 8 * i), clampByte(512 - 8 * std::abs(i - 64)), clampByte(8 * i - 512)};
    return texels;
}

int rampTexelIndex(double coordinate, int texelCount) {
    if (!(coordinate > 0.0)) return 0;  // also NaN
    const double scaled = std::floor(coordinate * texelCount);
    return static_cast<int>(std::min(scaled, static_cast<double>(texelCount - 1)));
}

ColourRampTextures& colourRampTextures() {
    static ColourRampTextures textures;
    return textures;
}

unsigned int buildRampTexture(const std::vector<RampTexel>& texels) {
    GLuint name = 0;
    glGenTextures(1, &name);
    if (name == 0) return 0;
    glBindTexture(GL_TEXTURE_1D, name);
    glTexParameteri(GL_TEXTURE_1D, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
    glTexParameteri(GL_TEXTURE_1D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
    glTexParameteri(GL_TEXTURE_1D, GL_TEXTURE_WRAP_S, GL_CLAMP_TO_EDGE);
    // One row of tightly packed RGB bytes: the row alignment of the unpack state does not apply.
    glTexImage1D(GL_TEXTURE_1D, 0, GL_RGB, static_cast<GLsizei>(texels.size()), 0, GL_RGB, GL_UNSIGNED_BYTE,
                 texels.data());
    glBindTexture(GL_TEXTURE_1D, 0);
    return name;
}

unsigned int buildRedRamp() { return buildRampTexture(redRampTexels()); }
unsigned int buildGreenRamp() { return buildRampTexture(greenRampTexels()); }
unsigned int buildRainbowRamp() { return buildRampTexture(rainbowRampTexels()); }

void ensureColourRamps() {
    ColourRampTextures& t = colourRampTextures();
    if (t.built) return;
    t.red = buildRedRamp();
    t.green = buildGreenRamp();
    t.rainbow = buildRainbowRamp();
    t.built = true;
}

void forgetColourRamps() { colourRampTextures() = ColourRampTextures(); }
