// The seven textures. They are drawn with additive blending, so black
// is see-through: every picture is on pure black.
#include <algorithm>
#include <cmath>

#include "art.hpp"

namespace resgen {

namespace {

double clamp01(double v) { return std::clamp(v, 0.0, 1.0); }

double smoothstep(double e0, double e1, double v) {
    const double t = clamp01((v - e0) / (e1 - e0));
    return t * t * (3 - 2 * t);
}

struct Vec3 {
    double x, y, z;
};
Vec3 normalise(Vec3 v) {
    const double l = std::sqrt(v.x * v.x + v.y * v.y + v.z * v.z);
    return Vec3{v.x / l, v.y / l, v.z / l};
}
double dot(Vec3 a, Vec3 b) { return a.x * b.x + a.y * b.y + a.z * b.z; }

}  // namespace

// An upright capsule inside box (round ends of radius half its width),
// shaded like a brushed metal cylinder lit from the front: a bright band
// down the middle, falling off toward the sides and over the round ends.
Shader metalCapsule(Box box, Rgb base) {
    return [box, base](double x, double y) -> std::optional<Rgb> {
        const double r = (box.x1 - box.x0) / 2;
        const double cx = box.x0 + r;
        const double cy = std::clamp(y, box.y0 + r, box.y1 - r);
        const double nx = (x - cx) / r, ny = (y - cy) / r;
        const double d2 = nx * nx + ny * ny;
        if (d2 > 1.0) return std::nullopt;
        const double nz = std::sqrt(1.0 - d2);
        // Diffuse from the front plus a narrow specular streak.
        const double diffuse = std::pow(nz, 0.9);
        const double streak = std::pow(nz, 8.0);
        // A faint second reflection either side of the streak sells "metal".
        const double band = std::exp(-std::pow((std::abs(nx) - 0.55) / 0.12, 2.0));
        double k = 0.22 + 0.62 * diffuse + 0.08 * band;
        k *= 1.0 - 0.40 * std::abs(ny);  // the round ends turn away: darker
        Rgb c = scale(base, k);
        c = add(c, scale(Rgb{1, 1, 1}, 0.16 * streak * (1.0 - std::abs(ny))));
        return Rgb{clamp01(c.r), clamp01(c.g), clamp01(c.b)};
    };
}

Shader shadedSphere(double cx, double cy, double radius, Rgb base, double rimFade, double ambient) {
    const Vec3 light = normalise(Vec3{-0.50, -0.62, 0.75});  // upper left, toward the viewer
    const Vec3 half = normalise(Vec3{light.x, light.y, light.z + 1.0});
    const Vec3 bounceDir = normalise(Vec3{0.6, 0.7, 0.2});
    return [=](double x, double y) -> std::optional<Rgb> {
        const double dx = (x - cx) / radius, dy = (y - cy) / radius;
        const double d2 = dx * dx + dy * dy;
        if (d2 > 1.0) return std::nullopt;
        const Vec3 n{dx, dy, std::sqrt(1.0 - d2)};
        const double diffuse = std::max(0.0, dot(n, light));
        const double specular = std::pow(std::max(0.0, dot(n, half)), 16.0);
        // A little light bounced back from below right keeps the dark side blue.
        const double bounce = 0.10 * std::max(0.0, dot(n, bounceDir));
        Rgb col = scale(base, ambient + (1.0 - ambient) * diffuse + bounce);
        col = add(col, scale(Rgb{1, 1, 1}, 0.55 * specular));
        if (rimFade > 0) col = scale(col, smoothstep(0.0, rimFade, radius * (1.0 - std::sqrt(d2))));
        return Rgb{clamp01(col.r), clamp01(col.g), clamp01(col.b)};
    };
}

namespace {

// A framed label: rounded grey frame (stroke centred on box) with text
// centred in it.
void framedLabel(Canvas& c, Box box, double radius, double stroke, const TextRun& text, Rgb textColour) {
    strokeRoundRect(c, box, radius, stroke, kFrameGrey);
    drawTextCentred(c, text, (box.x0 + box.x1) / 2, (box.y0 + box.y1) / 2, textColour);
}

// A solid arrow along the vertical: shaft from (x, from) toward the tip
// at (x, tip); the head is headLength long and headWidth wide.
void verticalArrow(Canvas& c, double x, double from, double tip, double shaftWidth, double headLength,
                   double headWidth, Rgb colour) {
    const double dir = tip > from ? 1.0 : -1.0;
    const double headBase = tip - dir * headLength;
    const double lo = std::min(from, tip), hi = std::max(from, tip);
    paint(c, Box{x - headWidth / 2 - 1, lo - 1, x + headWidth / 2 + 1, hi + 1},
          [=](double px, double py) -> std::optional<Rgb> {
              // Shaft: flat at the paddle end, running into the head.
              const double s0 = std::min(from, headBase), s1 = std::max(from, headBase);
              if (std::abs(px - x) <= shaftWidth / 2 && py >= s0 && py <= s1 + 0.5) return colour;
              if (inTriangle(px, py, x, tip, x - headWidth / 2, headBase, x + headWidth / 2, headBase)) return colour;
              return std::nullopt;
          });
}

}  // namespace

Fonts::Fonts(const std::string& directory)
    : sans(directory + "/DejaVuSans.ttf"), bold(directory + "/DejaVuSans-Bold.ttf") {}

Canvas drawWhite() {
    Canvas c(64, 64);
    c.fill(kWhite);
    return c;
}

Canvas drawBall() {
    Canvas c(32, 32);
    // The last pixel and a half of the rim fades into black.
    paint(c, Box{0, 0, 32, 32}, shadedSphere(16, 16, 14.8, rgb8(146, 142, 255), 1.6), 16);
    return c;
}

Canvas drawPaddle() {
    Canvas c(20, 76);
    paint(c, Box{0, 0, 20, 76}, metalCapsule(Box{0, 0, 20, 76}, rgb8(200, 204, 216)), 16);
    return c;
}

Canvas drawTitle(Fonts& fonts) {
    Canvas c(512, 512);

    // The name, sized so its ink spans about 410 of the 512 pixels.
    const std::string name = "Zarvo";
    const TextRun probe = layoutText(fonts.bold, 160, name, 2.0);
    const int size = static_cast<int>(std::lround(160.0 * 410.0 / probe.inkWidth()));
    const TextRun title = layoutText(fonts.bold, size, name, size / 80.0);
    const double nameCentreY = 226;
    drawTextCentred(c, title, 256, nameCentreY, kLabelBlue);

    // A thin rule under the name with a ball resting at its middle.
    const double ruleY = nameCentreY + title.inkHeight() / 2 + 30;
    const double halfSpan = title.inkWidth() / 2;
    line(c, 256 - halfSpan, ruleY, 256 - 16, ruleY, 2.0, kFrameGrey);
    line(c, 256 + 16, ruleY, 256 + halfSpan, ruleY, 2.0, kFrameGrey);
    fillCircle(c, 256, ruleY, 6.5, kArrowBlue);

    // Small white lines at the lower corners.
    const int small = 22;
    const int margin = 22;
    const int lineStep = 30;
    const int lastBaseline = 512 - margin - 6;  // room for descenders below
    const char* left[] = {"Left: W / S", "Right: Up / Down", "Esc to quit"};
    for (int i = 0; i < 3; ++i) {
        const TextRun run = layoutText(fonts.sans, small, left[i]);
        drawText(c, run, margin - run.inkX0, lastBaseline - (2 - i) * lineStep, kWhite);
    }
    const char* right[] = {"version 1.0", "a game for two"};
    for (int i = 0; i < 2; ++i) {
        const TextRun run = layoutText(fonts.sans, small, right[i]);
        drawText(c, run, 512 - margin - run.inkX1, lastBaseline - (1 - i) * lineStep, kWhite);
    }
    return c;
}

Canvas drawExitHint(Fonts& fonts) {
    Canvas c(128, 128);
    const Box exitBox{8, 72, 74, 106};
    const Box escBox{82, 22, 120, 46};
    // Leader from the big label up to the key, drawn first so the frames
    // sit on top of its ends.
    const double elbowX = (escBox.x0 + escBox.x1) / 2;
    polyline(c, {{exitBox.x1, (exitBox.y0 + exitBox.y1) / 2}, {elbowX, (exitBox.y0 + exitBox.y1) / 2}, {elbowX, escBox.y1}},
             1.5, kFrameGrey);
    framedLabel(c, exitBox, 6, 2.0, layoutText(fonts.bold, 24, "Exit"), kLabelBlue);
    framedLabel(c, escBox, 5, 1.5, layoutText(fonts.bold, 15, "esc"), kLabelBlue);
    return c;
}

namespace {

// The shared layout of the two key pictures: a small paddle with an arrow
// up and an arrow down. paddleX is the paddle's centre line.
struct KeyLayout {
    double paddleX;
    double paddleTop = 46, paddleBottom = 82, paddleWidth = 12;
    double upTip = 10, downTip = 118;
    double upRowY = 21, downRowY = 107;  // where the leader lines run
};

void drawPaddleAndArrows(Canvas& c, const KeyLayout& k) {
    const Box paddle{k.paddleX - k.paddleWidth / 2, k.paddleTop, k.paddleX + k.paddleWidth / 2, k.paddleBottom};
    paint(c, Box{paddle.x0 - 1, paddle.y0 - 1, paddle.x1 + 1, paddle.y1 + 1}, metalCapsule(paddle, rgb8(170, 172, 180)),
          16);
    verticalArrow(c, k.paddleX, k.paddleTop - 5, k.upTip, 4, 14, 18, kArrowBlue);
    verticalArrow(c, k.paddleX, k.paddleBottom + 5, k.downTip, 4, 14, 18, kArrowBlue);
}

}  // namespace

Canvas drawLeftKeys(Fonts& fonts) {
    Canvas c(128, 128);
    KeyLayout k;
    k.paddleX = 22;
    const Box upKey{82, 5, 116, 37};
    const Box downKey{82, 91, 116, 123};
    line(c, k.paddleX, k.upRowY, upKey.x0, k.upRowY, 1.5, kFrameGrey);
    line(c, k.paddleX, k.downRowY, downKey.x0, k.downRowY, 1.5, kFrameGrey);
    drawPaddleAndArrows(c, k);
    framedLabel(c, upKey, 5, 2.0, layoutText(fonts.bold, 22, "W"), kLabelBlue);
    framedLabel(c, downKey, 5, 2.0, layoutText(fonts.bold, 22, "S"), kLabelBlue);
    return c;
}

namespace {

// Square brackets drawn as strokes around box (the stroke centred on
// the box edges), with text centred between them.
void bracketLabel(Canvas& c, Box box, double stroke, double tick, const TextRun& text, const TextRun& xHeight,
                  Rgb textColour) {
    polyline(c, {{box.x0 + tick, box.y0}, {box.x0, box.y0}, {box.x0, box.y1}, {box.x0 + tick, box.y1}}, stroke,
             kFrameGrey);
    polyline(c, {{box.x1 - tick, box.y0}, {box.x1, box.y0}, {box.x1, box.y1}, {box.x1 - tick, box.y1}}, stroke,
             kFrameGrey);
    drawTextCentred(c, text, (box.x0 + box.x1) / 2, (box.y0 + box.y1) / 2, textColour, &xHeight);
}

}  // namespace

Canvas drawRightKeys(Fonts& fonts) {
    Canvas c(128, 128);
    KeyLayout k;
    k.paddleX = 106;
    const TextRun up = layoutText(fonts.bold, 19, "up");
    const TextRun down = layoutText(fonts.bold, 19, "down");
    // Centre both words on the x-height band rather than on their own ink,
    // so the ascender of "down" and the descender of "up" do not shift them.
    const TextRun x = layoutText(fonts.bold, 19, "x");
    // Each bracket hugs its word; both are centred in the left column.
    const double column = 44, pad = 9, halfHeight = 14;
    const Box upLabel{column - up.inkWidth() / 2 - pad, k.upRowY - halfHeight, column + up.inkWidth() / 2 + pad,
                      k.upRowY + halfHeight};
    const Box downLabel{column - down.inkWidth() / 2 - pad, k.downRowY - halfHeight, column + down.inkWidth() / 2 + pad,
                        k.downRowY + halfHeight};
    line(c, upLabel.x1 + 4, k.upRowY, k.paddleX, k.upRowY, 1.5, kFrameGrey);
    line(c, downLabel.x1 + 4, k.downRowY, k.paddleX, k.downRowY, 1.5, kFrameGrey);
    drawPaddleAndArrows(c, k);
    bracketLabel(c, upLabel, 2.0, 5, up, x, kLabelBlue);
    bracketLabel(c, downLabel, 2.0, 5, down, x, kLabelBlue);
    return c;
}

}  // namespace resgen
