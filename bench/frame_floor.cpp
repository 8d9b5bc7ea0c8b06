// The floor for the game's frame rate: the game's own court picture, drawn
// with the fewest GL calls a frame can take. The game's window, GL context,
// textures and render state are made by the game's own code. Its court frame
// (DrawCourt, with a full trail) is drawn once the game's way while every
// quad it draws is recorded (the linker hands DrawCourt's GL calls to the
// recorder below first: --wrap); the floor then draws the same quads from
// one vertex array, one draw call for each texture, every frame. What the
// game spends over this is its own: immediate-mode calls, the world step,
// the message loop.
//
// The two pictures are compared pixel by pixel before the floor runs. Prints
// the GL renderer's name, "picture same" (or how many pixels differ), the GL
// calls of a frame each way, and the frames per second.
// Usage: zarvo_frame_floor [seconds]
#include <SDL.h>

#include <cstdio>
#include <cstdlib>
#include <vector>

#include "app/game_window.h"
#include "render/gl_api.h"
#include "render/scene.h"
#include "render/scene_setup.h"
#include "world/world_values.h"

namespace {

struct Vertex {
    GLfloat s, t;
    GLfloat r, g, b, a;
    GLfloat x, y, z;
};

// One texture's quads: vertices [first, first + count) of the array.
struct Batch {
    GLuint texture;
    GLint first;
    GLsizei count;
};

// What the game's drawing has made current, and the quads recorded so far,
// in runs of one texture each.
struct Recorder {
    bool on = false;
    bool onlyQuads = true;
    long calls = 0;
    GLuint texture = 0;
    Vertex current{0, 0, 1, 1, 1, 1, 0, 0, 0};
    std::vector<Vertex> vertices;
    std::vector<Batch> batches;
} recorder;

}  // namespace

// DrawCourt's GL calls come here first. Quads with additive blending and no
// depth test add up the same in any order, so quads of one texture may be
// drawn together.
extern "C" {
void __real_glBindTexture(GLenum target, GLuint texture);
void __real_glBegin(GLenum mode);
void __real_glEnd();
void __real_glTexCoord2f(GLfloat s, GLfloat t);
void __real_glColor3f(GLfloat r, GLfloat g, GLfloat b);
void __real_glColor4f(GLfloat r, GLfloat g, GLfloat b, GLfloat a);
void __real_glVertex3f(GLfloat x, GLfloat y, GLfloat z);

void __wrap_glBindTexture(GLenum target, GLuint texture) {
    recorder.calls += recorder.on;
    recorder.texture = texture;
    __real_glBindTexture(target, texture);
}
void __wrap_glBegin(GLenum mode) {
    recorder.calls += recorder.on;
    recorder.onlyQuads = recorder.onlyQuads && mode == GL_QUADS;
    __real_glBegin(mode);
}
void __wrap_glEnd() {
    recorder.calls += recorder.on;
    __real_glEnd();
}
void __wrap_glTexCoord2f(GLfloat s, GLfloat t) {
    recorder.calls += recorder.on;
    recorder.current.s = s;
    recorder.current.t = t;
    __real_glTexCoord2f(s, t);
}
void __wrap_glColor3f(GLfloat r, GLfloat g, GLfloat b) {
    recorder.calls += recorder.on;
    recorder.current.r = r;
    recorder.current.g = g;
    recorder.current.b = b;
    recorder.current.a = 1.0f;
    __real_glColor3f(r, g, b);
}
void __wrap_glColor4f(GLfloat r, GLfloat g, GLfloat b, GLfloat a) {
    recorder.calls += recorder.on;
    recorder.current.r = r;
    recorder.current.g = g;
    recorder.current.b = b;
    recorder.current.a = a;
    __real_glColor4f(r, g, b, a);
}
void __wrap_glVertex3f(GLfloat x, GLfloat y, GLfloat z) {
    if (recorder.on) {
        ++recorder.calls;
        Vertex vertex = recorder.current;
        vertex.x = x;
        vertex.y = y;
        vertex.z = z;
        const auto end = static_cast<GLint>(recorder.vertices.size());
        if (recorder.batches.empty() || recorder.batches.back().texture != recorder.texture) {
            recorder.batches.push_back(Batch{recorder.texture, end, 0});
        }
        recorder.batches.back().count += 1;
        recorder.vertices.push_back(vertex);
    }
    __real_glVertex3f(x, y, z);
}
}

namespace {

std::vector<unsigned char> ReadFrame() {
    std::vector<unsigned char> pixels(static_cast<std::size_t>(kWindowWidth) * kWindowHeight * 4);
    glFinish();
    glReadPixels(0, 0, kWindowWidth, kWindowHeight, GL_RGBA, GL_UNSIGNED_BYTE, pixels.data());
    return pixels;
}

long DifferingPixels(const std::vector<unsigned char>& a, const std::vector<unsigned char>& b) {
    long differing = 0;
    for (std::size_t i = 0; i < a.size(); i += 4) {
        differing += a[i] != b[i] || a[i + 1] != b[i + 1] || a[i + 2] != b[i + 2];
    }
    return differing;
}

// A trail laid out behind the ball at the spacing the game keeps, so that
// every quad of the court covers what it covers in play.
void LayTrail() {
    constexpr double kSpacing = 0.2;
    for (int i = 0; i < kTrailLength; ++i) {
        trail[i] = ball;
        trail[i].MoveX(-kSpacing * (i + 1));
    }
}

// The recorded quads, one draw call for each texture. The arrays were set
// once; BeginFrame is the game's own (clear and view).
void DrawFloorFrame() {
    BeginFrame();
    for (const Batch& batch : recorder.batches) {
        glBindTexture(GL_TEXTURE_2D, batch.texture);
        glDrawArrays(GL_QUADS, batch.first, batch.count);
    }
}

bool OpenWindow() {
    fullscreen = false;
    platform::Module* module = platform::GetOwnModule();
    hWnd = platform::RegisterWindowClass(module)
               ? platform::CreateGameWindow(module, "floor", 0, 0, kWindowWidth, kWindowHeight,
                                            platform::WindowStyle::Overlapped)
               : nullptr;
    hDC = hWnd != nullptr ? platform::GetDeviceContext(hWnd) : nullptr;
    // The window's format is the one the backend gives the game's window;
    // asking for no depth bits takes it as it is.
    const int format = hDC != nullptr ? platform::ChooseGlPixelFormat(hDC, kWindowBitsPerPixel, 0) : 0;
    hRC = format != 0 && platform::SetGlPixelFormat(hDC, format, kWindowBitsPerPixel, 0)
              ? platform::CreateGlContext(hDC)
              : nullptr;
    if (hRC == nullptr || !platform::MakeGlContextCurrent(hDC, hRC)) {
        return false;
    }
    platform::ShowGameWindow(hWnd);
    ResizeScene(kWindowWidth, kWindowHeight);
    return InitScene();
}

}  // namespace

int main(int argc, char** argv) {
    const double seconds = argc > 1 ? std::atof(argv[1]) : 10.0;
    if (!OpenWindow()) {
        std::fprintf(stderr, "zarvo_frame_floor: no window with a GL context: %s\n", SDL_GetError());
        return 1;
    }
    std::printf("renderer %s\n", reinterpret_cast<const char*>(glGetString(GL_RENDERER)));

    LayTrail();
    BeginFrame();
    recorder.on = true;
    DrawCourt();
    recorder.on = false;
    if (!recorder.onlyQuads || recorder.vertices.empty()) {
        std::fprintf(stderr, "zarvo_frame_floor: the court is not drawn as quads any more\n");
        return 1;
    }
    const std::vector<unsigned char> gameWay = ReadFrame();
    const Vertex* first = recorder.vertices.data();
    glVertexPointer(3, GL_FLOAT, sizeof(Vertex), &first->x);
    glColorPointer(4, GL_FLOAT, sizeof(Vertex), &first->r);
    glTexCoordPointer(2, GL_FLOAT, sizeof(Vertex), &first->s);
    glEnableClientState(GL_VERTEX_ARRAY);
    glEnableClientState(GL_COLOR_ARRAY);
    glEnableClientState(GL_TEXTURE_COORD_ARRAY);
    DrawFloorFrame();
    const long differing = DifferingPixels(gameWay, ReadFrame());
    if (differing == 0) {
        std::printf("picture same\n");
    } else {
        std::printf("picture differs in %ld pixels\n", differing);
    }
    std::printf("gl_calls game %ld floor %zu\n", recorder.calls, 2 * recorder.batches.size());

    const Uint64 frequency = SDL_GetPerformanceFrequency();
    const Uint64 start = SDL_GetPerformanceCounter();
    long frames = 0;
    double elapsed = 0.0;
    while (elapsed < seconds) {
        SDL_Event event;
        while (SDL_PollEvent(&event)) {
        }
        DrawFloorFrame();
        platform::SwapWindowBuffers(hDC);
        ++frames;
        elapsed = static_cast<double>(SDL_GetPerformanceCounter() - start) / static_cast<double>(frequency);
    }
    std::printf("frames_per_second %.1f\n", static_cast<double>(frames) / elapsed);
    CloseGameWindow();
    SDL_Quit();
    return 0;
}
