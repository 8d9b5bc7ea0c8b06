// Draws two frames of the game offscreen (OSMesa) and writes them as PNG
// files: the title splash as the game opens, and a court frame from a match
// the two computer players play for a while. Usage: zarvo_frame_shot [dir]
// (default "."); writes dir/splash.png and dir/court.png.

#include <GL/osmesa.h>
#include <zlib.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "render/gl_api.h"
#include "render/scene.h"
#include "render/scene_setup.h"
#include "timing/second_timer.h"
#include "world/frame_step.h"
#include "world/world_values.h"

namespace {

constexpr int kWidth = 1152;
constexpr int kHeight = 864;
constexpr int kFrameRate = 90;

void PutU32(std::vector<std::uint8_t>& out, std::uint32_t value) {
    for (int shift = 24; shift >= 0; shift -= 8) {
        out.push_back(static_cast<std::uint8_t>(value >> shift));
    }
}

void PutChunk(std::vector<std::uint8_t>& out, const char* type, const std::vector<std::uint8_t>& data) {
    PutU32(out, static_cast<std::uint32_t>(data.size()));
    const std::size_t start = out.size();
    out.insert(out.end(), type, type + 4);
    out.insert(out.end(), data.begin(), data.end());
    const uLong crc = crc32(0L, out.data() + start, static_cast<uInt>(out.size() - start));
    PutU32(out, static_cast<std::uint32_t>(crc));
}

// The current frame as an 8-bit RGB PNG, rows turned top first.
bool WriteFrameAsPng(const std::string& path) {
    std::vector<std::uint8_t> pixels(static_cast<std::size_t>(kWidth) * kHeight * 3);
    glFinish();
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glReadPixels(0, 0, kWidth, kHeight, GL_RGB, GL_UNSIGNED_BYTE, pixels.data());

    const std::size_t rowBytes = static_cast<std::size_t>(kWidth) * 3;
    std::vector<std::uint8_t> raw;
    raw.reserve((rowBytes + 1) * kHeight);
    for (int row = kHeight - 1; row >= 0; --row) {
        raw.push_back(0);  // filter: none
        const std::uint8_t* p = pixels.data() + static_cast<std::size_t>(row) * rowBytes;
        raw.insert(raw.end(), p, p + rowBytes);
    }
    uLongf packedSize = compressBound(static_cast<uLong>(raw.size()));
    std::vector<std::uint8_t> packed(packedSize);
    if (compress2(packed.data(), &packedSize, raw.data(), static_cast<uLong>(raw.size()), 9) != Z_OK) {
        return false;
    }
    packed.resize(packedSize);

    std::vector<std::uint8_t> header;
    PutU32(header, kWidth);
    PutU32(header, kHeight);
    header.insert(header.end(), {8, 2, 0, 0, 0});  // 8 bits, RGB, deflate, no filter choice, no interlace
    std::vector<std::uint8_t> png = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1a, '\n'};
    PutChunk(png, "IHDR", header);
    PutChunk(png, "IDAT", packed);
    PutChunk(png, "IEND", {});

    std::FILE* file = std::fopen(path.c_str(), "wb");
    if (file == nullptr) {
        return false;
    }
    const bool written = std::fwrite(png.data(), 1, png.size(), file) == png.size();
    return std::fclose(file) == 0 && written;
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
    std::vector<std::uint8_t> buffer(static_cast<std::size_t>(kWidth) * kHeight * 4);
    OSMesaContext context = OSMesaCreateContextExt(OSMESA_RGBA, 16, 0, 0, nullptr);
    if (context == nullptr ||
        OSMesaMakeCurrent(context, buffer.data(), GL_UNSIGNED_BYTE, kWidth, kHeight) != GL_TRUE) {
        std::fprintf(stderr, "zarvo_frame_shot: no OSMesa context\n");
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

    OSMesaMakeCurrent(nullptr, nullptr, 0, 0, 0);
    OSMesaDestroyContext(context);
    if (!splashWritten || !courtWritten) {
        std::fprintf(stderr, "zarvo_frame_shot: cannot write the PNG files in %s\n", dir.c_str());
        return 1;
    }
    std::printf("%s/splash.png and %s/court.png: score %d to %d\n", dir.c_str(), dir.c_str(),
                static_cast<int>(leftScore), static_cast<int>(rightScore));
    return 0;
}
