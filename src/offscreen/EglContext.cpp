// EglContext: probe the client extensions, get the platform display once, make a context.
#include "offscreen/EglContext.h"

#include <EGL/egl.h>
#include <EGL/eglext.h>
#include <GL/gl.h>

#include <cstdio>
#include <cstring>

namespace {

bool hasExtension(const char* list, const char* name) {
    if (!list) return false;
    const size_t length = std::strlen(name);
    for (const char* p = list; (p = std::strstr(p, name)) != nullptr; p += length)
        if ((p == list || p[-1] == ' ') && (p[length] == ' ' || p[length] == '\0')) return true;
    return false;
}

std::string eglErrorText() {
    char code[16];
    std::snprintf(code, sizeof(code), "0x%04x", eglGetError());
    return std::string("EGL error ") + code;
}

/// The process's EGL display and its shared context: the display is opened by the first context,
/// and at the end of the process the shared context is destroyed first, then the display is
/// terminated, once.
class ProcessEgl {
   public:
    static ProcessEgl& instance() {
        static ProcessEgl egl;
        return egl;
    }
    ~ProcessEgl() {
        sharedContext.reset();
        if (m_initialised) eglTerminate(m_display);
    }
    /// The initialised display, or EGL_NO_DISPLAY with the reason.
    EGLDisplay display(std::string& error) {
        if (m_initialised) return m_display;
        if (!m_error.empty()) {
            error = m_error;
            return EGL_NO_DISPLAY;
        }
        m_display = open(m_error);
        if (m_display == EGL_NO_DISPLAY) {
            error = m_error;
            return EGL_NO_DISPLAY;
        }
        m_initialised = true;
        return m_display;
    }

    std::unique_ptr<EglContext> sharedContext;
    std::string sharedContextError;

   private:
    static EGLDisplay open(std::string& error) {
        const char* clientExtensions = eglQueryString(EGL_NO_DISPLAY, EGL_EXTENSIONS);
        if (!hasExtension(clientExtensions, "EGL_EXT_platform_base")) {
            error = "EGL has no platform displays (EGL_EXT_platform_base is missing)";
            return EGL_NO_DISPLAY;
        }
        auto getPlatformDisplay =
            reinterpret_cast<PFNEGLGETPLATFORMDISPLAYEXTPROC>(eglGetProcAddress("eglGetPlatformDisplayEXT"));
        if (!getPlatformDisplay) {
            error = "EGL has no eglGetPlatformDisplayEXT";
            return EGL_NO_DISPLAY;
        }
        EGLDisplay display = EGL_NO_DISPLAY;
        if (hasExtension(clientExtensions, "EGL_MESA_platform_surfaceless")) {
            display = getPlatformDisplay(EGL_PLATFORM_SURFACELESS_MESA, EGL_DEFAULT_DISPLAY, nullptr);
        } else if (hasExtension(clientExtensions, "EGL_EXT_platform_device")) {
            auto queryDevices = reinterpret_cast<PFNEGLQUERYDEVICESEXTPROC>(eglGetProcAddress("eglQueryDevicesEXT"));
            EGLDeviceEXT device = nullptr;
            EGLint count = 0;
            if (queryDevices && queryDevices(1, &device, &count) && count > 0)
                display = getPlatformDisplay(EGL_PLATFORM_DEVICE_EXT, device, nullptr);
        } else {
            error = "EGL offers neither EGL_MESA_platform_surfaceless nor EGL_EXT_platform_device";
            return EGL_NO_DISPLAY;
        }
        if (display == EGL_NO_DISPLAY) {
            error = "no EGL display without a window system (" + eglErrorText() + ")";
            return EGL_NO_DISPLAY;
        }
        EGLint major = 0, minor = 0;
        if (!eglInitialize(display, &major, &minor)) {
            error = "eglInitialize failed (" + eglErrorText() + ")";
            return EGL_NO_DISPLAY;
        }
        return display;
    }

    ProcessEgl() = default;
    EGLDisplay m_display = EGL_NO_DISPLAY;
    bool m_initialised = false;
    std::string m_error;
};

}  // namespace

std::unique_ptr<EglContext> EglContext::create(std::string& error) {
    std::string reason;
    EGLDisplay display = ProcessEgl::instance().display(reason);
    if (display == EGL_NO_DISPLAY) {
        error = "no OpenGL without a window: " + reason;
        return nullptr;
    }
    const char* extensions = eglQueryString(display, EGL_EXTENSIONS);
    if (!hasExtension(extensions, "EGL_KHR_surfaceless_context")) {
        error = "no OpenGL without a window: EGL_KHR_surfaceless_context is missing";
        return nullptr;
    }
    if (!eglBindAPI(EGL_OPENGL_API)) {
        error = "no OpenGL without a window: EGL cannot bind desktop OpenGL (" + eglErrorText() + ")";
        return nullptr;
    }
    EGLConfig config = nullptr;
    if (!hasExtension(extensions, "EGL_KHR_no_config_context")) {
        const EGLint configAttributes[] = {EGL_RENDERABLE_TYPE, EGL_OPENGL_BIT, EGL_NONE};
        EGLint count = 0;
        if (!eglChooseConfig(display, configAttributes, &config, 1, &count) || count < 1) {
            error = "no OpenGL without a window: no EGL configuration for desktop OpenGL";
            return nullptr;
        }
    }
    const EGLint contextAttributes[] = {EGL_CONTEXT_MAJOR_VERSION_KHR,
                                        3,
                                        EGL_CONTEXT_MINOR_VERSION_KHR,
                                        3,
                                        EGL_CONTEXT_OPENGL_PROFILE_MASK_KHR,
                                        EGL_CONTEXT_OPENGL_COMPATIBILITY_PROFILE_BIT_KHR,
                                        EGL_NONE};
    EGLContext context = eglCreateContext(display, config, EGL_NO_CONTEXT, contextAttributes);
    if (context == EGL_NO_CONTEXT) {
        error = "no OpenGL without a window: eglCreateContext failed (" + eglErrorText() + ")";
        return nullptr;
    }
    std::unique_ptr<EglContext> result(new EglContext());
    result->m_display = display;
    result->m_context = context;
    if (!result->makeContextCurrent()) {
        error = "no OpenGL without a window: eglMakeCurrent failed (" + eglErrorText() + ")";
        return nullptr;
    }
    const auto* renderer = reinterpret_cast<const char*>(glGetString(GL_RENDERER));
    const auto* version = reinterpret_cast<const char*>(glGetString(GL_VERSION));
    if (!renderer || !version) {
        error = "no OpenGL without a window: the context answers no version";
        return nullptr;
    }
    result->m_renderer = renderer;
    result->m_version = version;
    return result;
}

EglContext* EglContext::shared(std::string& error) {
    ProcessEgl& egl = ProcessEgl::instance();
    if (!egl.sharedContext && egl.sharedContextError.empty()) egl.sharedContext = create(egl.sharedContextError);
    if (!egl.sharedContext) error = egl.sharedContextError;
    return egl.sharedContext.get();
}

EglContext::~EglContext() {
    if (!m_context) return;
    if (eglGetCurrentContext() == m_context) eglMakeCurrent(m_display, EGL_NO_SURFACE, EGL_NO_SURFACE, EGL_NO_CONTEXT);
    eglDestroyContext(m_display, m_context);
}

bool EglContext::makeContextCurrent() {
    if (eglGetCurrentContext() == m_context) return true;
    return eglMakeCurrent(m_display, EGL_NO_SURFACE, EGL_NO_SURFACE, m_context) == EGL_TRUE;
}

void EglContext::doneContextCurrent() {
    if (eglGetCurrentContext() == m_context) eglMakeCurrent(m_display, EGL_NO_SURFACE, EGL_NO_SURFACE, EGL_NO_CONTEXT);
}
