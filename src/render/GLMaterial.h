// GLMaterial: small helpers for the fixed-function material and colour state of the drawing passes.
#pragma once

#include <GL/glew.h>

#include "render/Rgba.h"

/// Sets the front material's specular, diffuse and ambient colours and its shininess.
inline void setFrontMaterial(const Rgba& specular, const Rgba& diffuse, const Rgba& ambient, float shininess) {
    glMaterialfv(GL_FRONT, GL_SPECULAR, specular.data());
    glMaterialfv(GL_FRONT, GL_DIFFUSE, diffuse.data());
    glMaterialfv(GL_FRONT, GL_AMBIENT, ambient.data());
    glMaterialf(GL_FRONT, GL_SHININESS, shininess);
}

/// Sets only the front diffuse and ambient colours.
inline void setFrontDiffuseAmbient(const Rgba& diffuse, const Rgba& ambient) {
    glMaterialfv(GL_FRONT, GL_DIFFUSE, diffuse.data());
    glMaterialfv(GL_FRONT, GL_AMBIENT, ambient.data());
}
