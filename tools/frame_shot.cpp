// Draws two frames of the game offscreen (Mesa's llvmpipe through EGL, as the
// drawing tests do) and writes them as PNG
// files: the title splash as the game opens, and a court frame from a match
// the two computer players play for a while. Usage: zarvo_frame_shot [dir]
// (default "."); writes dir/splash.png and dir/court.png.

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "png.hpp"
#include "render/gl_api.h"
#include "render/scene.h"
#include "render/scene_setup.h"
#include "tests/render/offscreen_gl.h"
#include "timing/second_timer.h"
#include "world/frame_step.h"
#include "world/world_values.h"

namespace {

constexpr int kWidth = OffscreenGl::kWidth;
constexpr int kHeight = OffscreenGl::kHeight;
constexpr int kFrameRate = 90;

// The current frame as an 8-bit RGB PNG, rows turned top first.
bool WriteFrameAsPng(const std::string& path) {
    const std::size_t rowBytes = static_cast<std::size_t>(kWidth) * 3;
    std::vector<std::uint8_t> bottomFirst(rowBytes * kHeight);
    glFinish();
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glReadPixels(0, 0, kWidth, kHeight, GL_RGB, GL_UNSIGNED_BYTE, bottomFirst.data());
    std::vector<std::uint8_t> pixels;
    pixels.reserve(bottomFirst.size());
    for (int row = kHeight - 1; row >= 0; --row) {
        const auto start = bottomFirst.begin() + static_cast<std::ptrdiff_t>(row * rowBytes);
        pixels.insert(pixels.end(), start, start + static_cast<std::ptrdiff_t>(rowBytes));
    }
    const std::vector<std::uint8_t> file = png::encode(kWidth, kHeight, 3, pixels);

    std::FILE* out = std::fopen(path.c_str(), "wb");
    if (out == nullptr) {
        return false;
    }
    const bool written = std::fwrite(file.data(), 1, file.size(), out) == file.size();
    return std::fclose(out) == 0 && written;
}

// Plays until a point was won a moment ago, so that a goal strip is still
// flashing, the trail is full and the bars are uneven; gives up after a
// few minutes of play.
void PlayUntilJustAfterAPoint() {
    leftComputer = true;
    rightComputer = true;
    splashActive.store(false);
    constexpr int kFramesAfterPoint = 20;
    constexpr int kMaxSeconds = 300;
    int framesSincePoint = -1;
    for (int frame = 1; frame <= kMaxSeconds * kFrameRate; ++frame) {
        const std::int32_t pointsBefore = leftScore + rightScore;
        RunFrame();
        if (frame % kFrameRate == 0) {
            OnSecondTick(timerId, 0, 0, 0, 0);
        }
        if (leftScore + rightScore != pointsBefore) {
            framesSincePoint = 0;
        } else if (framesSincePoint >= 0) {
            framesSincePoint += 1;
        }
        const bool unevenBars = leftScore != rightScore;
        if (framesSincePoint == kFramesAfterPoint && unevenBars && frame > 20 * kFrameRate) {
            return;
        }
    }
}

}  // namespace

int main(int argc, char** argv) {
    const std::string dir = argc > 1 ? argv[1] : ".";
    const OffscreenGl gl;
    if (!gl.IsCurrent()) {
        std::fprintf(stderr, "zarvo_frame_shot: no offscreen GL context: %s\n", gl.Problem().c_str());
        return 1;
    }
    ResizeScene(kWidth, kHeight);
    InitScene();
    // The same match on every run, so the pictures only change when the game does.
    std::srand(1);
    ballVelocity = Velocity(0.7, 50);

    BeginFrame();
    DrawSplash();
    const bool splashWritten = WriteFrameAsPng(dir + "/splash.png");

    PlayUntilJustAfterAPoint();
    BeginFrame();
    DrawCourt();
    const bool courtWritten = WriteFrameAsPng(dir + "/court.png");

    if (!splashWritten || !courtWritten) {
        std::fprintf(stderr, "zarvo_frame_shot: cannot write the PNG files in %s\n", dir.c_str());
        return 1;
    }
    std::printf("%s/splash.png and %s/court.png: score %d to %d\ndrawn by %s\n", dir.c_str(), dir.c_str(),
                static_cast<int>(leftScore), static_cast<int>(rightScore), gl.Description().c_str());
    return 0;
}
