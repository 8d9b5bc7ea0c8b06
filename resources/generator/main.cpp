// zarvo-resgen: writes Zarvo's pictures, icon and sounds.
//
//   zarvo-resgen OUTPUT_DIR [FONT_DIR]
//
// FONT_DIR defaults to /usr/share/fonts/truetype/dejavu (DejaVuSans.ttf and
// DejaVuSans-Bold.ttf are used). The output is deterministic: the same
// fonts give byte-identical files.
#include <cstdio>
#include <exception>
#include <string>

#include "art.hpp"
#include "formats.hpp"

using namespace resgen;

namespace {

void report(const std::string& path, const Bytes& bytes) {
    writeFile(path, bytes);
    std::printf("%-28s %8zu bytes\n", path.c_str(), bytes.size());
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2 || argc > 3) {
        std::fprintf(stderr, "usage: %s OUTPUT_DIR [FONT_DIR]\n", argv[0]);
        return 2;
    }
    std::string out = argv[1];
    if (!out.empty() && out.back() != '/') out += '/';
    const std::string fontDir = argc == 3 ? argv[2] : "/usr/share/fonts/truetype/dejavu";

    try {
        Fonts fonts(fontDir);

        // Pictures, with their pixels per metre as stored. Each one's resource
        // id is IDB_<NAME> in resources/resource_ids.h.
        report(out + "ball.bmp", bmpFile(drawBall(), 2834));
        report(out + "title.bmp", bmpFile(drawTitle(fonts), 2834));
        report(out + "exit_hint.bmp", bmpFile(drawExitHint(fonts), 11808));
        report(out + "left_keys.bmp", bmpFile(drawLeftKeys(fonts), 11808));
        report(out + "paddle.bmp", bmpFile(drawPaddle(), 2834));
        report(out + "right_keys.bmp", bmpFile(drawRightKeys(fonts), 11808));
        report(out + "white.bmp", bmpFile(drawWhite(), 2834));

        const Canvas icon48 = drawIcon(48), icon32 = drawIcon(32), icon16 = drawIcon(16);
        report(out + "zarvo.ico", icoFile({&icon48, &icon32, &icon16}));
        report(out + "zarvo-16.png", pngFile(icon16));
        report(out + "zarvo-32.png", pngFile(icon32));
        report(out + "zarvo-48.png", pngFile(icon48));

        report(out + "miss.wav", wavFile(missSound(), kSampleRate));
        report(out + "tbhit.wav", wavFile(wallHitSound(), kSampleRate));
        report(out + "rlhit.wav", wavFile(paddleHitSound(), kSampleRate));
    } catch (const std::exception& e) {
        std::fprintf(stderr, "zarvo-resgen: %s\n", e.what());
        return 1;
    }
    return 0;
}
