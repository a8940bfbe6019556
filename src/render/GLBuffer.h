// GLBuffer: one OpenGL buffer object of the view's context, refilled in place as its data changes.
#pragma once

#include <cstddef>
#include <cstdint>

/// A vertex or index buffer of the view's context. Created on the first upload; its storage grows
/// when the data outgrows it and is otherwise rewritten in place. Owned by the renderer object that
/// keeps the data; user-interface thread only, with the view's context current.
class GLBuffer {
   public:
    GLBuffer() = default;
    GLBuffer(const GLBuffer&) = delete;
    GLBuffer& operator=(const GLBuffer&) = delete;

    /// Copies bytes bytes from data into the buffer, bound to target (GL_ARRAY_BUFFER or
    /// GL_ELEMENT_ARRAY_BUFFER) on return. False when the context gives no buffer object.
    bool upload(unsigned int target, const void* data, size_t bytes);
    /// Binds the buffer to target; false (nothing bound) before the first upload.
    bool bind(unsigned int target) const;
    /// Bytes last uploaded.
    size_t size() const { return m_size; }
    bool valid() const { return m_id != 0; }

    /// Deletes the buffer (its context current).
    void release();
    /// Forgets the buffer without deleting it: its context is gone or replaced.
    void forget();

   private:
    unsigned int m_id = 0;
    size_t m_capacity = 0;
    size_t m_size = 0;
};

/// Whether the current context has buffer objects (OpenGL 1.5); the passes fall back to client
/// arrays without them.
bool haveBufferObjects();

/// Points the normal and vertex client arrays at interleaved float records of a normal then a
/// position (6 floats each) starting at base: a client-memory address, or the offset into the
/// bound GL_ARRAY_BUFFER (nullptr for its start). Enables both arrays; disables the colour array.
void pointInterleavedNormalsAndPositions(const char* base);

/// FNV-1a over bytes, continued from seed: the fingerprint by which the passes tell whether the data
/// behind a buffer changed since the last upload.
std::uint64_t fingerprintBytes(const void* data, size_t bytes, std::uint64_t seed = 1469598103934665603ull);
