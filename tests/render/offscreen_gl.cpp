#include "tests/render/offscreen_gl.h"

// Keeps Xlib, and its macros such as None and Bool, out of EGL's headers.
#define EGL_NO_X11
#include <EGL/egl.h>
#include <EGL/eglext.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "render/gl_api.h"

namespace {

std::string Failed(const char* step) {
    char text[96];
    std::snprintf(text, sizeof text, "%s failed (EGL error 0x%04x)", step, static_cast<unsigned>(eglGetError()));
    return text;
}

EGLint ConfigValue(EGLDisplay display, EGLConfig config, EGLint attribute) {
    EGLint value = -1;
    eglGetConfigAttrib(display, config, attribute, &value);
    return value;
}

// EGL lists deeper colour first; the pictures are those of 8-bit channels.
bool ChooseConfig(EGLDisplay display, EGLConfig* chosen) {
    const EGLint wanted[] = {EGL_SURFACE_TYPE, EGL_PBUFFER_BIT,
                             EGL_RENDERABLE_TYPE, EGL_OPENGL_BIT,
                             EGL_RED_SIZE, OffscreenGl::kChannelBits,
                             EGL_GREEN_SIZE, OffscreenGl::kChannelBits,
                             EGL_BLUE_SIZE, OffscreenGl::kChannelBits,
                             EGL_ALPHA_SIZE, OffscreenGl::kChannelBits,
                             EGL_DEPTH_SIZE, OffscreenGl::kDepthBits,
                             EGL_NONE};
    EGLint count = 0;
    if (eglChooseConfig(display, wanted, nullptr, 0, &count) != EGL_TRUE || count <= 0) {
        return false;
    }
    std::vector<EGLConfig> configs(static_cast<std::size_t>(count));
    eglChooseConfig(display, wanted, configs.data(), count, &count);
    for (EGLint i = 0; i < count; ++i) {
        const EGLConfig config = configs[static_cast<std::size_t>(i)];
        if (ConfigValue(display, config, EGL_RED_SIZE) == OffscreenGl::kChannelBits &&
            ConfigValue(display, config, EGL_GREEN_SIZE) == OffscreenGl::kChannelBits &&
            ConfigValue(display, config, EGL_BLUE_SIZE) == OffscreenGl::kChannelBits) {
            *chosen = config;
            return true;
        }
    }
    return false;
}

GLint GlValue(GLenum name) {
    GLint value = 0;
    glGetIntegerv(name, &value);
    return value;
}

// Mesa's surfaceless display, one for every context of the process:
// initialising it again would load llvmpipe again, some 30 ms a test. It is
// never terminated: that unloads llvmpipe (Mesa 22.3), whose allocations
// made once LeakSanitizer then reports from an unknown module.
struct Display {
    EGLDisplay handle = EGL_NO_DISPLAY;
    std::string problem;

    Display() {
        const auto getPlatformDisplay =
            reinterpret_cast<PFNEGLGETPLATFORMDISPLAYEXTPROC>(eglGetProcAddress("eglGetPlatformDisplayEXT"));
        if (getPlatformDisplay == nullptr) {
            problem = "EGL has no eglGetPlatformDisplayEXT";
            return;
        }
        const EGLDisplay display = getPlatformDisplay(EGL_PLATFORM_SURFACELESS_MESA, EGL_DEFAULT_DISPLAY, nullptr);
        if (display == EGL_NO_DISPLAY || eglInitialize(display, nullptr, nullptr) != EGL_TRUE) {
            problem = Failed("Mesa's surfaceless EGL display");
            return;
        }
        handle = display;
    }
};

const Display& TheDisplay() {
    static const Display display;
    return display;
}

}  // namespace

OffscreenGl::OffscreenGl() : frame_(static_cast<std::size_t>(kWidth) * kHeight * 4) {
    // llvmpipe then draws on this thread. With its rasterizer threads, Mesa
    // frees a fence while one of them still signals it, which
    // ThreadSanitizer reports in some runs; read before the first context is
    // made.
    setenv("LP_NUM_THREADS", "0", 1);
    // llvmpipe, even where Mesa would find a GPU first: the colours the tests
    // expect and the pictures in docs/ are llvmpipe's.
    setenv("LIBGL_ALWAYS_SOFTWARE", "1", 1);
    setenv("GALLIUM_DRIVER", "llvmpipe", 1);
    // Its float texture sampler, not the 8-bit one: Mesa 26.1 rounds the
    // 8-bit one's linear filtering differently (a channel one lower here and
    // there), while the float one draws the same bytes on Mesa 22.3, 25.0
    // and 26.1.
    setenv("GALLIVM_PERF", "no_aos_sampling", 1);
    Create();
}

void OffscreenGl::Create() {
    const Display& display = TheDisplay();
    if (!display.problem.empty()) {
        problem_ = display.problem;
        return;
    }
    display_ = display.handle;
    EGLConfig config = nullptr;
    if (eglBindAPI(EGL_OPENGL_API) != EGL_TRUE) {
        problem_ = Failed("eglBindAPI(EGL_OPENGL_API)");
        return;
    }
    if (!ChooseConfig(display.handle, &config)) {
        problem_ = "no EGL config for an OpenGL pbuffer with 8 bits a colour channel and 16 depth bits";
        return;
    }
    // OpenGL 1.1's fixed-function pipeline lives on in the compatibility
    // profile only.
    const EGLint profile[] = {EGL_CONTEXT_OPENGL_PROFILE_MASK, EGL_CONTEXT_OPENGL_COMPATIBILITY_PROFILE_BIT, EGL_NONE};
    context_ = eglCreateContext(display.handle, config, EGL_NO_CONTEXT, profile);
    if (context_ == EGL_NO_CONTEXT) {
        problem_ = Failed("eglCreateContext");
        return;
    }
    // A pbuffer rather than a framebuffer object: it is the context's own
    // framebuffer, as a window is, so the game's calls draw and read as there.
    const EGLint size[] = {EGL_WIDTH, kWidth, EGL_HEIGHT, kHeight, EGL_NONE};
    surface_ = eglCreatePbufferSurface(display.handle, config, size);
    if (surface_ == EGL_NO_SURFACE) {
        problem_ = Failed("eglCreatePbufferSurface");
        return;
    }
    if (eglMakeCurrent(display.handle, surface_, surface_, context_) != EGL_TRUE) {
        problem_ = Failed("eglMakeCurrent");
        return;
    }

    const char* renderer = reinterpret_cast<const char*>(glGetString(GL_RENDERER));
    const char* version = reinterpret_cast<const char*>(glGetString(GL_VERSION));
    const GLint red = GlValue(GL_RED_BITS);
    const GLint green = GlValue(GL_GREEN_BITS);
    const GLint blue = GlValue(GL_BLUE_BITS);
    const GLint alpha = GlValue(GL_ALPHA_BITS);
    const GLint depth = GlValue(GL_DEPTH_BITS);
    // Not known before OpenGL 3.2, which had no core profile.
    const GLint profileMask = GlValue(GL_CONTEXT_PROFILE_MASK);
    while (glGetError() != GL_NO_ERROR) {
    }
    char text[256];
    std::snprintf(text, sizeof text, "%s, OpenGL %s, EGL config %d: %d-%d-%d-%d colour bits, %d depth bits",
                  renderer != nullptr ? renderer : "?", version != nullptr ? version : "?",
                  ConfigValue(display.handle, config, EGL_CONFIG_ID), red, green, blue, alpha, depth);
    description_ = text;
    if (renderer == nullptr || std::strncmp(renderer, "llvmpipe", 8) != 0) {
        problem_ = "not llvmpipe: " + description_;
    } else if ((profileMask & GL_CONTEXT_CORE_PROFILE_BIT) != 0) {
        problem_ = "a core profile, without the fixed-function pipeline: " + description_;
    } else if (red != kChannelBits || green != kChannelBits || blue != kChannelBits || depth < kDepthBits) {
        problem_ = "not 8 bits a colour channel and 16 depth bits: " + description_;
    }
}

OffscreenGl::~OffscreenGl() {
    if (display_ != nullptr) {
        eglMakeCurrent(display_, EGL_NO_SURFACE, EGL_NO_SURFACE, EGL_NO_CONTEXT);
        if (surface_ != nullptr) {
            eglDestroySurface(display_, surface_);
        }
        if (context_ != nullptr) {
            eglDestroyContext(display_, context_);
        }
    }
}

void OffscreenGl::ReadFrame() {
    glFinish();
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glReadPixels(0, 0, kWidth, kHeight, GL_RGBA, GL_UNSIGNED_BYTE, frame_.data());
}

Rgb OffscreenGl::At(int column, int row) const {
    if (column < 0 || column >= kWidth || row < 0 || row >= kHeight) {
        return Rgb{-1, -1, -1};
    }
    const std::size_t i = (static_cast<std::size_t>(row) * kWidth + column) * 4;
    return Rgb{frame_[i], frame_[i + 1], frame_[i + 2]};
}

namespace {

const double kHalfHeight = 6.0 * std::tan(22.5 * 3.14159265358979323846 / 180.0);
const double kHalfWidth = kHalfHeight * OffscreenGl::kWidth / OffscreenGl::kHeight;

}  // namespace

double ScreenX(double x) { return OffscreenGl::kWidth / 2.0 * (1.0 + x / kHalfWidth); }
double ScreenY(double y) { return OffscreenGl::kHeight / 2.0 * (1.0 + y / kHalfHeight); }
int ColumnOf(double x) { return static_cast<int>(std::floor(ScreenX(x))); }
int RowOf(double y) { return static_cast<int>(std::floor(ScreenY(y))); }
