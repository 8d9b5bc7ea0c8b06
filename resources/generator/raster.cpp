#include "raster.hpp"

#include <algorithm>
#include <cmath>
#include <stdexcept>

#include <ft2build.h>
#include FT_FREETYPE_H
#include FT_OUTLINE_H

namespace resgen {

Rgb mix(Rgb a, Rgb b, double t) {
    return Rgb{a.r + (b.r - a.r) * t, a.g + (b.g - a.g) * t, a.b + (b.b - a.b) * t};
}
Rgb scale(Rgb c, double k) { return Rgb{c.r * k, c.g * k, c.b * k}; }
Rgb add(Rgb a, Rgb b) { return Rgb{a.r + b.r, a.g + b.g, a.b + b.b}; }

std::uint8_t to8(double v) {
    const double c = std::clamp(v, 0.0, 1.0) * 255.0;
    return static_cast<std::uint8_t>(std::lround(c));
}

Canvas::Canvas(int width, int height) : w_(width), h_(height), px_(static_cast<size_t>(width) * height) {}

void Canvas::blend(int x, int y, Rgb c, double alpha) {
    blendPremultiplied(x, y, Rgba{c.r * alpha, c.g * alpha, c.b * alpha, alpha});
}

void Canvas::blendPremultiplied(int x, int y, Rgba s) {
    if (x < 0 || y < 0 || x >= w_ || y >= h_) return;
    Rgba& d = at(x, y);
    const double k = 1.0 - s.a;
    d.r = s.r + d.r * k;
    d.g = s.g + d.g * k;
    d.b = s.b + d.b * k;
    d.a = s.a + d.a * k;
}

void Canvas::fill(Rgb c) {
    for (Rgba& p : px_) p = Rgba{c.r, c.g, c.b, 1.0};
}

Rgba8 Canvas::opaqueOnBlack(int x, int y) const {
    const Rgba& p = at(x, y);
    return Rgba8{to8(p.r), to8(p.g), to8(p.b), 255};
}

Rgba8 Canvas::straight(int x, int y) const {
    const Rgba& p = at(x, y);
    const std::uint8_t a = to8(p.a);
    if (a == 0) return Rgba8{0, 0, 0, 0};
    return Rgba8{to8(p.r / p.a), to8(p.g / p.a), to8(p.b / p.a), a};
}

void paint(Canvas& canvas, Box box, const Shader& shader, int ss) {
    const int x0 = std::max(0, static_cast<int>(std::floor(box.x0)));
    const int y0 = std::max(0, static_cast<int>(std::floor(box.y0)));
    const int x1 = std::min(canvas.width(), static_cast<int>(std::ceil(box.x1)));
    const int y1 = std::min(canvas.height(), static_cast<int>(std::ceil(box.y1)));
    const double n = static_cast<double>(ss) * ss;
    for (int y = y0; y < y1; ++y) {
        for (int x = x0; x < x1; ++x) {
            Rgba acc;
            for (int j = 0; j < ss; ++j) {
                for (int i = 0; i < ss; ++i) {
                    const double sx = x + (i + 0.5) / ss;
                    const double sy = y + (j + 0.5) / ss;
                    if (auto c = shader(sx, sy)) {
                        acc.r += c->r;
                        acc.g += c->g;
                        acc.b += c->b;
                        acc.a += 1.0;
                    }
                }
            }
            if (acc.a == 0.0) continue;
            canvas.blendPremultiplied(x, y, Rgba{acc.r / n, acc.g / n, acc.b / n, acc.a / n});
        }
    }
}

double sdCircle(double x, double y, double cx, double cy, double r) { return std::hypot(x - cx, y - cy) - r; }

double sdRoundRect(double x, double y, Box b, double radius) {
    const double cx = (b.x0 + b.x1) / 2, cy = (b.y0 + b.y1) / 2;
    const double hx = (b.x1 - b.x0) / 2 - radius, hy = (b.y1 - b.y0) / 2 - radius;
    const double qx = std::abs(x - cx) - hx, qy = std::abs(y - cy) - hy;
    const double outside = std::hypot(std::max(qx, 0.0), std::max(qy, 0.0));
    const double inside = std::min(std::max(qx, qy), 0.0);
    return outside + inside - radius;
}

double sdSegment(double x, double y, double ax, double ay, double bx, double by) {
    const double px = x - ax, py = y - ay, dx = bx - ax, dy = by - ay;
    const double len2 = dx * dx + dy * dy;
    const double t = len2 > 0 ? std::clamp((px * dx + py * dy) / len2, 0.0, 1.0) : 0.0;
    return std::hypot(px - dx * t, py - dy * t);
}

bool inTriangle(double x, double y, double ax, double ay, double bx, double by, double cx, double cy) {
    auto edge = [](double px, double py, double qx, double qy, double rx, double ry) {
        return (qx - px) * (ry - py) - (qy - py) * (rx - px);
    };
    const double e0 = edge(ax, ay, bx, by, x, y);
    const double e1 = edge(bx, by, cx, cy, x, y);
    const double e2 = edge(cx, cy, ax, ay, x, y);
    return (e0 >= 0 && e1 >= 0 && e2 >= 0) || (e0 <= 0 && e1 <= 0 && e2 <= 0);
}

void fillRoundRect(Canvas& c, Box b, double radius, Rgb colour) {
    paint(c, b, [&](double x, double y) -> std::optional<Rgb> {
        if (sdRoundRect(x, y, b, radius) <= 0) return colour;
        return std::nullopt;
    });
}

void strokeRoundRect(Canvas& c, Box b, double radius, double width, Rgb colour) {
    // b is the centre line of the stroke.
    const double h = width / 2 + 1;
    paint(c, Box{b.x0 - h, b.y0 - h, b.x1 + h, b.y1 + h}, [&](double x, double y) -> std::optional<Rgb> {
        if (std::abs(sdRoundRect(x, y, b, radius)) <= width / 2) return colour;
        return std::nullopt;
    });
}

void fillCircle(Canvas& c, double cx, double cy, double r, Rgb colour) {
    paint(c, Box{cx - r - 1, cy - r - 1, cx + r + 1, cy + r + 1}, [&](double x, double y) -> std::optional<Rgb> {
        if (sdCircle(x, y, cx, cy, r) <= 0) return colour;
        return std::nullopt;
    });
}

void line(Canvas& c, double ax, double ay, double bx, double by, double width, Rgb colour) {
    polyline(c, {{ax, ay}, {bx, by}}, width, colour);
}

void polyline(Canvas& c, const std::vector<std::pair<double, double>>& pts, double width, Rgb colour) {
    if (pts.empty()) return;
    Box box{pts[0].first, pts[0].second, pts[0].first, pts[0].second};
    for (const auto& [x, y] : pts) {
        box.x0 = std::min(box.x0, x);
        box.y0 = std::min(box.y0, y);
        box.x1 = std::max(box.x1, x);
        box.y1 = std::max(box.y1, y);
    }
    const double h = width / 2 + 1;
    box = Box{box.x0 - h, box.y0 - h, box.x1 + h, box.y1 + h};
    // One pass over the union, so joins are not painted twice.
    paint(c, box, [&](double x, double y) -> std::optional<Rgb> {
        for (size_t i = 0; i + 1 < pts.size(); ++i) {
            if (sdSegment(x, y, pts[i].first, pts[i].second, pts[i + 1].first, pts[i + 1].second) <= width / 2)
                return colour;
        }
        if (pts.size() == 1 && sdCircle(x, y, pts[0].first, pts[0].second, width / 2) <= 0) return colour;
        return std::nullopt;
    });
}

void fillTriangle(Canvas& c, double ax, double ay, double bx, double by, double cx, double cy, Rgb colour) {
    const Box box{std::min({ax, bx, cx}), std::min({ay, by, cy}), std::max({ax, bx, cx}), std::max({ay, by, cy})};
    paint(c, box, [&](double x, double y) -> std::optional<Rgb> {
        if (inTriangle(x, y, ax, ay, bx, by, cx, cy)) return colour;
        return std::nullopt;
    });
}

// ---- text ------------------------------------------------------------

namespace {
FT_Library library() {
    static FT_Library lib = [] {
        FT_Library l = nullptr;
        if (FT_Init_FreeType(&l) != 0) throw std::runtime_error("FreeType did not initialise");
        return l;
    }();
    return lib;
}

// UTF-8 to code points; the pictures only use ASCII, but be correct.
std::vector<char32_t> decodeUtf8(const std::string& s) {
    std::vector<char32_t> out;
    for (size_t i = 0; i < s.size();) {
        const unsigned char c = static_cast<unsigned char>(s[i]);
        char32_t cp = c;
        int extra = 0;
        if (c >= 0xF0) { cp = c & 0x07; extra = 3; }
        else if (c >= 0xE0) { cp = c & 0x0F; extra = 2; }
        else if (c >= 0xC0) { cp = c & 0x1F; extra = 1; }
        ++i;
        for (int k = 0; k < extra && i < s.size(); ++k, ++i) cp = (cp << 6) | (static_cast<unsigned char>(s[i]) & 0x3F);
        out.push_back(cp);
    }
    return out;
}
}  // namespace

struct Font::Impl {
    FT_Face face = nullptr;
};

Font::Font(const std::string& path) : impl_(std::make_unique<Impl>()) {
    if (FT_New_Face(library(), path.c_str(), 0, &impl_->face) != 0)
        throw std::runtime_error("cannot open font " + path);
}

Font::~Font() {
    if (impl_ && impl_->face) FT_Done_Face(impl_->face);
}

TextRun layoutText(Font& font, int pixelSize, const std::string& text, double tracking) {
    FT_Face face = font.impl().face;
    if (FT_Set_Pixel_Sizes(face, 0, static_cast<FT_UInt>(pixelSize)) != 0)
        throw std::runtime_error("cannot set font size");

    TextRun run;
    bool haveInk = false;
    FT_Pos pen = 0;  // 26.6 fixed point
    FT_UInt previous = 0;
    const FT_Pos track = static_cast<FT_Pos>(std::lround(tracking * 64));
    const auto codes = decodeUtf8(text);
    for (size_t n = 0; n < codes.size(); ++n) {
        const FT_UInt index = FT_Get_Char_Index(face, codes[n]);
        if (previous != 0 && index != 0 && FT_HAS_KERNING(face)) {
            FT_Vector k{};
            FT_Get_Kerning(face, previous, index, FT_KERNING_UNFITTED, &k);
            pen += k.x;
        }
        if (n > 0) pen += track;
        // Light hinting snaps only vertically, so the glyph can be placed
        // at its exact horizontal sub-pixel position.
        if (FT_Load_Glyph(face, index, FT_LOAD_TARGET_LIGHT | FT_LOAD_NO_BITMAP) != 0)
            throw std::runtime_error("cannot load glyph");
        FT_GlyphSlot slot = face->glyph;
        const FT_Pos whole = pen & ~static_cast<FT_Pos>(63);
        const FT_Pos frac = pen - whole;
        if (slot->format == FT_GLYPH_FORMAT_OUTLINE) FT_Outline_Translate(&slot->outline, frac, 0);
        if (FT_Render_Glyph(slot, FT_RENDER_MODE_NORMAL) != 0) throw std::runtime_error("cannot render glyph");

        const FT_Bitmap& bm = slot->bitmap;
        if (bm.width > 0 && bm.rows > 0) {
            TextRun::Glyph g;
            g.x = static_cast<int>(whole / 64) + slot->bitmap_left;
            g.y = -slot->bitmap_top;
            g.w = static_cast<int>(bm.width);
            g.h = static_cast<int>(bm.rows);
            g.coverage.resize(static_cast<size_t>(g.w) * g.h);
            for (int y = 0; y < g.h; ++y)
                for (int x = 0; x < g.w; ++x)
                    g.coverage[static_cast<size_t>(y) * g.w + x] = bm.buffer[y * bm.pitch + x];
            // Tight ink box from the coverage itself.
            for (int y = 0; y < g.h; ++y) {
                for (int x = 0; x < g.w; ++x) {
                    if (g.coverage[static_cast<size_t>(y) * g.w + x] == 0) continue;
                    const int px = g.x + x, py = g.y + y;
                    if (!haveInk) {
                        run.inkX0 = px; run.inkX1 = px + 1; run.inkY0 = py; run.inkY1 = py + 1;
                        haveInk = true;
                    } else {
                        run.inkX0 = std::min(run.inkX0, px);
                        run.inkX1 = std::max(run.inkX1, px + 1);
                        run.inkY0 = std::min(run.inkY0, py);
                        run.inkY1 = std::max(run.inkY1, py + 1);
                    }
                }
            }
            run.glyphs.push_back(std::move(g));
        }
        // Unhinted advance (16.16) keeps the spacing true to the design.
        pen += slot->linearHoriAdvance >> 10;
        previous = index;
    }
    run.advance = pen / 64.0;
    return run;
}

void drawText(Canvas& c, const TextRun& run, int ox, int oy, Rgb colour) {
    for (const auto& g : run.glyphs) {
        for (int y = 0; y < g.h; ++y) {
            for (int x = 0; x < g.w; ++x) {
                const std::uint8_t cov = g.coverage[static_cast<size_t>(y) * g.w + x];
                if (cov == 0) continue;
                c.blend(ox + g.x + x, oy + g.y + y, colour, cov / 255.0);
            }
        }
    }
}

void drawTextCentred(Canvas& c, const TextRun& run, double cx, double cy, Rgb colour, const TextRun* verticalRef) {
    const TextRun& v = verticalRef ? *verticalRef : run;
    const double ix = (run.inkX0 + run.inkX1) / 2.0;
    const double iy = (v.inkY0 + v.inkY1) / 2.0;
    drawText(c, run, static_cast<int>(std::lround(cx - ix)), static_cast<int>(std::lround(cy - iy)), colour);
}

}  // namespace resgen
