// Everything zarvo-resgen draws and synthesises.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "raster.hpp"

namespace resgen {

// The game's colours.
inline constexpr Rgb kLabelBlue = rgb8(103, 196, 255);  // letters and labels
inline constexpr Rgb kArrowBlue = rgb8(170, 220, 255);  // arrows
inline constexpr Rgb kFrameGrey = rgb8(150, 150, 150);  // frames and leader lines
inline constexpr Rgb kWhite = rgb8(255, 255, 255);

struct Fonts {
    explicit Fonts(const std::string& directory);
    Font sans;
    Font bold;
};

// Shaders shared by the pictures and the icon.
// An upright capsule filling box, shaded like a metal cylinder.
Shader metalCapsule(Box box, Rgb base);
// A sphere lit from the upper left; rimFade > 0 fades that many pixels of
// its edge into black; ambient is the share of light on the shadow side.
Shader shadedSphere(double cx, double cy, double radius, Rgb base, double rimFade, double ambient = 0.14);

Canvas drawWhite();
Canvas drawBall();
Canvas drawPaddle();
Canvas drawTitle(Fonts& fonts);
Canvas drawExitHint(Fonts& fonts);
Canvas drawLeftKeys(Fonts& fonts);
Canvas drawRightKeys(Fonts& fonts);

// The application icon at 16, 32 or 48 pixels.
Canvas drawIcon(int size);

inline constexpr std::uint32_t kSampleRate = 44100;
std::vector<std::int16_t> missSound();
std::vector<std::int16_t> wallHitSound();
std::vector<std::int16_t> paddleHitSound();

}  // namespace resgen
