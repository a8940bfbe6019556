// GLBuffer: creation, upload and release of one buffer object.
#include "render/GLBuffer.h"

#include <GL/glew.h>

bool haveBufferObjects() { return glGenBuffers && glBindBuffer && glBufferData && glBufferSubData; }

bool GLBuffer::upload(unsigned int target, const void* data, size_t bytes) {
    if (!haveBufferObjects()) return false;
    if (m_id == 0) {
        glGenBuffers(1, &m_id);
        m_capacity = 0;
        if (m_id == 0) return false;
    }
    glBindBuffer(target, m_id);
    if (bytes > m_capacity || bytes < m_capacity / 4) {
        glBufferData(target, static_cast<GLsizeiptr>(bytes), data, GL_DYNAMIC_DRAW);
        m_capacity = bytes;
    } else if (bytes > 0) {
        glBufferSubData(target, 0, static_cast<GLsizeiptr>(bytes), data);
    }
    m_size = bytes;
    return true;
}

bool GLBuffer::bind(unsigned int target) const {
    if (m_id == 0) return false;
    glBindBuffer(target, m_id);
    return true;
}

void GLBuffer::release() {
    if (m_id != 0 && glDeleteBuffers) glDeleteBuffers(1, &m_id);
    forget();
}

void GLBuffer::forget() {
    m_id = 0;
    m_capacity = m_size = 0;
}

std::uint64_t fingerprintBytes(const void* data, size_t bytes, std::uint64_t seed) {
    const auto* p = static_cast<const unsigned char*>(data);
    std::uint64_t h = seed;
    // Eight bytes at a time keeps the per-frame check of a large position array cheap.
    size_t i = 0;
    for (; i + 8 <= bytes; i += 8) {
        std::uint64_t word = 0;
        for (int k = 0; k < 8; ++k) word |= static_cast<std::uint64_t>(p[i + k]) << (8 * k);
        h = (h ^ word) * 1099511628211ull;
        h ^= h >> 29;
    }
    for (; i < bytes; ++i) h = (h ^ p[i]) * 1099511628211ull;
    return h;
}

void pointInterleavedNormalsAndPositions(const char* base) {
    const GLsizei stride = 6 * sizeof(float);
    glEnableClientState(GL_NORMAL_ARRAY);
    glNormalPointer(GL_FLOAT, stride, base);
    glEnableClientState(GL_VERTEX_ARRAY);
    glVertexPointer(3, GL_FLOAT, stride, base + 3 * sizeof(float));
    glDisableClientState(GL_COLOR_ARRAY);
}
