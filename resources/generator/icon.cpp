// The application icon: a ball between two paddles on a navy tile.
// Each size has its own hand-placed geometry so that the 16-pixel icon
// keeps crisp, whole-pixel paddles instead of a blurred scale-down.
#include <algorithm>
#include <cmath>
#include <stdexcept>

#include "art.hpp"

namespace resgen {

namespace {

struct IconLayout {
    int size;
    double corner;        // tile corner radius
    double border;        // width of the tile's lighter edge
    Box leftPaddle, rightPaddle;
    double ballX, ballY, ballR;
};

IconLayout layoutFor(int size) {
    switch (size) {
        case 16: return {16, 3.0, 1.0, {2, 2, 4, 10}, {12, 6, 14, 14}, 8.0, 7.0, 2.1};
        case 32: return {32, 6.0, 1.0, {4, 4, 8, 19}, {24, 13, 28, 28}, 16.0, 14.5, 4.0};
        case 48: return {48, 9.0, 1.5, {6, 7, 12, 29}, {36, 19, 42, 41}, 24.0, 22.0, 6.0};
        default: throw std::runtime_error("no icon layout for that size");
    }
}

}  // namespace

Canvas drawIcon(int size) {
    const IconLayout k = layoutFor(size);
    Canvas c(size, size);
    const double s = size;
    const Box tile{0, 0, s, s};

    // Navy tile, a little lighter at the top, with a soft blue edge.
    const Rgb top = rgb8(30, 48, 100), bottom = rgb8(10, 18, 46), edge = rgb8(64, 96, 168);
    paint(c, tile, [&](double x, double y) -> std::optional<Rgb> {
        const double d = sdRoundRect(x, y, tile, k.corner);
        if (d > 0) return std::nullopt;
        const Rgb fillColour = mix(top, bottom, y / s);
        if (d > -k.border) return mix(fillColour, edge, 0.7);
        return fillColour;
    }, 16);

    // Paddles: light blue, gently rounded across, no dark ends (at icon
    // sizes those read as outlines).
    const Rgb paddleBase = rgb8(150, 205, 255);
    for (const Box& p : {k.leftPaddle, k.rightPaddle}) {
        paint(c, p, [&](double x, double y) -> std::optional<Rgb> {
            const double r = (p.x1 - p.x0) / 2;
            const double cy = std::clamp(y, p.y0 + r, p.y1 - r);
            const double nx = (x - (p.x0 + r)) / r, ny = (y - cy) / r;
            const double d2 = nx * nx + ny * ny;
            if (d2 > 1.0) return std::nullopt;
            const double nz = std::sqrt(1.0 - d2);
            return mix(scale(paddleBase, 0.80 + 0.20 * nz), Rgb{1, 1, 1}, 0.45 * std::pow(nz, 6.0));
        }, 16);
    }

    // Tiny balls stay bright: much less shading contrast than the texture.
    const Rgb lavender = rgb8(176, 170, 255);
    const Box ballBox{k.ballX - k.ballR - 1, k.ballY - k.ballR - 1, k.ballX + k.ballR + 1, k.ballY + k.ballR + 1};
    paint(c, ballBox, shadedSphere(k.ballX, k.ballY, k.ballR, lavender, 0.0, 0.55), 16);
    return c;
}

}  // namespace resgen
