// Small software rasteriser used to draw Zarvo's pictures.
//
// A Canvas holds premultiplied RGBA in doubles, y pointing down, pixel
// (x, y) covering the square [x, x+1) x [y, y+1). Shapes are painted by
// supersampling a per-sample shader, so every edge is antialiased by
// real coverage. Text goes through FreeType.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace resgen {

struct Rgb {
    double r = 0, g = 0, b = 0;
};

// 0..255 components, the way colours are written down.
constexpr Rgb rgb8(int r, int g, int b) { return Rgb{r / 255.0, g / 255.0, b / 255.0}; }

Rgb mix(Rgb a, Rgb b, double t);
Rgb scale(Rgb c, double k);
Rgb add(Rgb a, Rgb b);

struct Rgba {  // premultiplied
    double r = 0, g = 0, b = 0, a = 0;
};

struct Rgba8 {  // straight (not premultiplied) 8-bit colour
    std::uint8_t r = 0, g = 0, b = 0, a = 0;
};

class Canvas {
public:
    Canvas(int width, int height);

    int width() const { return w_; }
    int height() const { return h_; }

    const Rgba& at(int x, int y) const { return px_[static_cast<size_t>(y) * w_ + x]; }
    Rgba& at(int x, int y) { return px_[static_cast<size_t>(y) * w_ + x]; }

    // Source-over with a straight colour at the given opacity.
    void blend(int x, int y, Rgb c, double alpha);
    // Source-over with a premultiplied colour.
    void blendPremultiplied(int x, int y, Rgba src);
    // Every pixel set to an opaque colour.
    void fill(Rgb c);

    // 8-bit colour composited over black (what an opaque BMP stores).
    Rgba8 opaqueOnBlack(int x, int y) const;
    // 8-bit straight RGBA (what a PNG or a 32-bit icon stores).
    Rgba8 straight(int x, int y) const;

private:
    int w_, h_;
    std::vector<Rgba> px_;
};

std::uint8_t to8(double v);

// A shader answers, for one sample point, the colour there or nothing
// when the point is outside the shape.
using Shader = std::function<std::optional<Rgb>(double x, double y)>;

struct Box {
    double x0, y0, x1, y1;
};

// Paints the shader over the pixels touched by box, with ss x ss samples
// per pixel; the share of samples inside gives the coverage.
void paint(Canvas& canvas, Box box, const Shader& shader, int ss = 8);

// Signed distances (negative inside).
double sdCircle(double x, double y, double cx, double cy, double r);
double sdRoundRect(double x, double y, Box b, double radius);
double sdSegment(double x, double y, double ax, double ay, double bx, double by);
// Inside test for a triangle given in any winding.
bool inTriangle(double x, double y, double ax, double ay, double bx, double by, double cx, double cy);

// Flat-coloured conveniences built on paint().
void fillRoundRect(Canvas& c, Box b, double radius, Rgb colour);
void strokeRoundRect(Canvas& c, Box b, double radius, double width, Rgb colour);
void fillCircle(Canvas& c, double cx, double cy, double r, Rgb colour);
// A line with round caps.
void line(Canvas& c, double ax, double ay, double bx, double by, double width, Rgb colour);
// A polyline with round joins and caps.
void polyline(Canvas& c, const std::vector<std::pair<double, double>>& pts, double width, Rgb colour);
void fillTriangle(Canvas& c, double ax, double ay, double bx, double by, double cx, double cy, Rgb colour);

// ---- text ------------------------------------------------------------

class Font {
public:
    explicit Font(const std::string& path);
    ~Font();
    Font(const Font&) = delete;
    Font& operator=(const Font&) = delete;

    struct Impl;
    Impl& impl() { return *impl_; }

private:
    std::unique_ptr<Impl> impl_;
};

// A line of text laid out with its pen origin at (0, 0) on the baseline.
struct TextRun {
    struct Glyph {
        int x = 0, y = 0, w = 0, h = 0;  // top-left of the bitmap, y down
        std::vector<std::uint8_t> coverage;
    };
    std::vector<Glyph> glyphs;
    // Union of the glyph ink, relative to the pen origin.
    int inkX0 = 0, inkY0 = 0, inkX1 = 0, inkY1 = 0;
    double advance = 0;  // pen advance in pixels

    double inkWidth() const { return inkX1 - inkX0; }
    double inkHeight() const { return inkY1 - inkY0; }
};

// pixelSize is the em size in pixels; tracking adds that many pixels
// between letters.
TextRun layoutText(Font& font, int pixelSize, const std::string& text, double tracking = 0.0);

// Draws the run with its pen origin at (ox, oy).
void drawText(Canvas& c, const TextRun& run, int ox, int oy, Rgb colour);
// Draws the run with the centre of its ink at (cx, cy) (rounded to whole
// pixels, so glyph edges stay as FreeType rendered them). When verticalRef
// is given, its ink (laid out with the same font and size) decides the
// vertical centre instead, e.g. "x" to centre on the x-height band.
void drawTextCentred(Canvas& c, const TextRun& run, double cx, double cy, Rgb colour,
                     const TextRun* verticalRef = nullptr);

}  // namespace resgen
