// FramebufferObject: creation with a completeness check, read-back with the rows turned over.
#include "render/FramebufferObject.h"

#include <GL/glew.h>

#include <algorithm>
#include <cstdio>
#include <cstring>

std::unique_ptr<FramebufferObject> FramebufferObject::create(int width, int height, std::string& error) {
    if (!glGenFramebuffers || !glGenRenderbuffers) {
        error = "the OpenGL context has no framebuffer objects";
        return nullptr;
    }
    GLint maxSize = 0;
    glGetIntegerv(GL_MAX_RENDERBUFFER_SIZE, &maxSize);
    if (width < 1 || height < 1 || width > maxSize || height > maxSize) {
        error = "a picture of " + std::to_string(width) + "x" + std::to_string(height) +
                " pixels is outside what the OpenGL context draws (1 to " + std::to_string(maxSize) + " per side)";
        return nullptr;
    }
    std::unique_ptr<FramebufferObject> fbo(new FramebufferObject());
    fbo->m_width = width;
    fbo->m_height = height;
    glGenFramebuffers(1, &fbo->m_framebuffer);
    glGenRenderbuffers(1, &fbo->m_colour);
    glGenRenderbuffers(1, &fbo->m_depth);
    glBindRenderbuffer(GL_RENDERBUFFER, fbo->m_colour);
    glRenderbufferStorage(GL_RENDERBUFFER, GL_RGBA8, width, height);
    glBindRenderbuffer(GL_RENDERBUFFER, fbo->m_depth);
    glRenderbufferStorage(GL_RENDERBUFFER, GL_DEPTH_COMPONENT24, width, height);
    glBindRenderbuffer(GL_RENDERBUFFER, 0);
    glBindFramebuffer(GL_FRAMEBUFFER, fbo->m_framebuffer);
    glFramebufferRenderbuffer(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_RENDERBUFFER, fbo->m_colour);
    glFramebufferRenderbuffer(GL_FRAMEBUFFER, GL_DEPTH_ATTACHMENT, GL_RENDERBUFFER, fbo->m_depth);
    const GLenum status = glCheckFramebufferStatus(GL_FRAMEBUFFER);
    if (status != GL_FRAMEBUFFER_COMPLETE) {
        char code[16];
        std::snprintf(code, sizeof(code), "0x%04x", status);
        error = std::string("the framebuffer object is not complete (status ") + code + ")";
        return nullptr;  // the destructor deletes what was made
    }
    return fbo;
}

FramebufferObject::~FramebufferObject() {
    if (m_framebuffer) {
        GLint bound = 0;
        glGetIntegerv(GL_FRAMEBUFFER_BINDING, &bound);
        if (static_cast<unsigned int>(bound) == m_framebuffer) glBindFramebuffer(GL_FRAMEBUFFER, 0);
        glDeleteFramebuffers(1, &m_framebuffer);
    }
    if (m_colour) glDeleteRenderbuffers(1, &m_colour);
    if (m_depth) glDeleteRenderbuffers(1, &m_depth);
}

void FramebufferObject::bind() const { glBindFramebuffer(GL_FRAMEBUFFER, m_framebuffer); }

void FramebufferObject::readRgb(std::vector<std::uint8_t>& rgb) const {
    bind();
    const size_t rowBytes = static_cast<size_t>(m_width) * 3;
    rgb.resize(rowBytes * m_height);
    GLint packAlignment = 4;
    glGetIntegerv(GL_PACK_ALIGNMENT, &packAlignment);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glReadBuffer(GL_COLOR_ATTACHMENT0);
    glReadPixels(0, 0, m_width, m_height, GL_RGB, GL_UNSIGNED_BYTE, rgb.data());
    glPixelStorei(GL_PACK_ALIGNMENT, packAlignment);
    // OpenGL's first row is the bottom one.
    std::vector<std::uint8_t> row(rowBytes);
    for (int top = 0, bottom = m_height - 1; top < bottom; ++top, --bottom) {
        std::uint8_t* a = &rgb[static_cast<size_t>(top) * rowBytes];
        std::uint8_t* b = &rgb[static_cast<size_t>(bottom) * rowBytes];
        std::memcpy(row.data(), a, rowBytes);
        std::memcpy(a, b, rowBytes);
        std::memcpy(b, row.data(), rowBytes);
    }
}

bool FramebufferHost::makeContextCurrent() {
    if (!m_context.makeContextCurrent()) return false;
    if (m_framebuffer) m_framebuffer->bind();
    return true;
}

void FramebufferHost::doneContextCurrent() { m_context.doneContextCurrent(); }
