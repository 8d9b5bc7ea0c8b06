#include "formats.hpp"

#include <algorithm>
#include <array>
#include <cmath>
#include <fstream>
#include <map>
#include <stdexcept>

#include "png.hpp"

namespace resgen {

namespace {

void put16(Bytes& b, std::uint32_t v) {
    b.push_back(static_cast<std::uint8_t>(v & 0xFF));
    b.push_back(static_cast<std::uint8_t>((v >> 8) & 0xFF));
}
void put32(Bytes& b, std::uint32_t v) {
    put16(b, v & 0xFFFF);
    put16(b, v >> 16);
}
void append(Bytes& b, const Bytes& more) { b.insert(b.end(), more.begin(), more.end()); }

// The canvas's straight colours, four bytes a pixel: rows top first in
// R,G,B,A for a PNG, or bottom first in B,G,R,A as a 32-bit DIB holds them.
enum class PixelOrder { pngRgba, dibBgra };
Bytes straightPixels(const Canvas& c, PixelOrder order) {
    const int w = c.width(), h = c.height();
    const bool dib = order == PixelOrder::dibBgra;
    Bytes b;
    b.reserve(static_cast<size_t>(w) * h * 4);
    for (int row = 0; row < h; ++row) {
        for (int x = 0; x < w; ++x) {
            const Rgba8 p = c.straight(x, dib ? h - 1 - row : row);
            b.insert(b.end(), {dib ? p.b : p.r, p.g, dib ? p.r : p.b, p.a});
        }
    }
    return b;
}

std::uint32_t rowBytes(int width, int bitsPerPixel) {
    return static_cast<std::uint32_t>(((width * bitsPerPixel + 31) / 32) * 4);
}

// BITMAPINFOHEADER.
void putInfoHeader(Bytes& b, std::int32_t width, std::int32_t height, int bitCount, std::uint32_t sizeImage,
                   std::int32_t ppm) {
    put32(b, 40);
    put32(b, static_cast<std::uint32_t>(width));
    put32(b, static_cast<std::uint32_t>(height));
    put16(b, 1);  // planes
    put16(b, static_cast<std::uint32_t>(bitCount));
    put32(b, 0);  // BI_RGB
    put32(b, sizeImage);
    put32(b, static_cast<std::uint32_t>(ppm));
    put32(b, static_cast<std::uint32_t>(ppm));
    put32(b, 0);  // colours used: all
    put32(b, 0);  // colours important: all
}

}  // namespace

Bytes bmpResource(const Canvas& canvas, std::int32_t pixelsPerMetre) {
    const int w = canvas.width(), h = canvas.height();
    const std::uint32_t stride = rowBytes(w, 24);
    Bytes b;
    b.reserve(40 + stride * h + 2);
    putInfoHeader(b, w, h, 24, 0, pixelsPerMetre);
    for (int y = h - 1; y >= 0; --y) {  // bottom row first
        for (int x = 0; x < w; ++x) {
            const Rgba8 p = canvas.opaqueOnBlack(x, y);
            b.push_back(p.b);
            b.push_back(p.g);
            b.push_back(p.r);
        }
        for (std::uint32_t pad = static_cast<std::uint32_t>(w) * 3; pad < stride; ++pad) b.push_back(0);
    }
    b.push_back(0);
    b.push_back(0);
    return b;
}

Bytes bmpFile(const Canvas& canvas, std::int32_t pixelsPerMetre) {
    const Bytes resource = bmpResource(canvas, pixelsPerMetre);
    Bytes b;
    b.push_back('B');
    b.push_back('M');
    put32(b, static_cast<std::uint32_t>(14 + resource.size()));
    put16(b, 0);
    put16(b, 0);
    put32(b, 14 + 40);  // pixels follow the two headers; there is no colour table
    append(b, resource);
    return b;
}

// ---- PNG -------------------------------------------------------------

Bytes pngFile(const Canvas& canvas) {
    return png::encode(canvas.width(), canvas.height(), 4, straightPixels(canvas, PixelOrder::pngRgba));
}

// ---- ICO -------------------------------------------------------------

namespace {

using Colour = std::array<int, 3>;

// Median cut down to at most maxColours, weighted by pixel counts.
std::vector<Colour> medianCut(const std::map<Colour, int>& histogram, size_t maxColours) {
    struct Entry {
        Colour c;
        int n;
    };
    using Bucket = std::vector<Entry>;
    std::vector<Bucket> buckets(1);
    for (const auto& [c, n] : histogram) buckets[0].push_back({c, n});

    auto spread = [](const Bucket& b, int& channel) {
        int best = -1;
        for (int ch = 0; ch < 3; ++ch) {
            int lo = 255, hi = 0;
            for (const auto& e : b) {
                lo = std::min(lo, e.c[ch]);
                hi = std::max(hi, e.c[ch]);
            }
            if (hi - lo > best) {
                best = hi - lo;
                channel = ch;
            }
        }
        return best;
    };

    while (buckets.size() < maxColours) {
        // Split the bucket whose widest channel, weighted by its pixels, is largest.
        double bestScore = 0;
        size_t bestIndex = buckets.size();
        int bestChannel = 0;
        for (size_t i = 0; i < buckets.size(); ++i) {
            if (buckets[i].size() < 2) continue;
            int ch = 0;
            const int s = spread(buckets[i], ch);
            long pixels = 0;
            for (const auto& e : buckets[i]) pixels += e.n;
            const double score = s * std::sqrt(static_cast<double>(pixels));
            if (score > bestScore) {
                bestScore = score;
                bestIndex = i;
                bestChannel = ch;
            }
        }
        if (bestIndex == buckets.size()) break;
        Bucket& b = buckets[bestIndex];
        std::sort(b.begin(), b.end(), [&](const Entry& x, const Entry& y) { return x.c[bestChannel] < y.c[bestChannel]; });
        long total = 0;
        for (const auto& e : b) total += e.n;
        long run = 0;
        size_t cut = 1;
        for (size_t i = 0; i + 1 < b.size(); ++i) {
            run += b[i].n;
            cut = i + 1;
            if (run * 2 >= total) break;
        }
        Bucket upper(b.begin() + static_cast<long>(cut), b.end());
        b.resize(cut);
        buckets.push_back(std::move(upper));
    }

    std::vector<Colour> palette;
    for (const auto& b : buckets) {
        double r = 0, g = 0, bl = 0, n = 0;
        for (const auto& e : b) {
            r += e.c[0] * e.n;
            g += e.c[1] * e.n;
            bl += e.c[2] * e.n;
            n += e.n;
        }
        palette.push_back({static_cast<int>(std::lround(r / n)), static_cast<int>(std::lround(g / n)),
                           static_cast<int>(std::lround(bl / n))});
    }
    return palette;
}

// The AND mask: 1 marks a transparent pixel. Bottom-up, 32-bit aligned rows.
Bytes andMask(const Canvas& c, bool (*transparent)(const Rgba8&)) {
    const int w = c.width(), h = c.height();
    const std::uint32_t stride = rowBytes(w, 1);
    Bytes m(stride * h, 0);
    for (int y = h - 1, row = 0; y >= 0; --y, ++row) {
        for (int x = 0; x < w; ++x) {
            if (transparent(c.straight(x, y))) m[row * stride + x / 8] |= static_cast<std::uint8_t>(0x80 >> (x % 8));
        }
    }
    return m;
}

bool clearIn32(const Rgba8& p) { return p.a == 0; }
bool clearIn8(const Rgba8& p) { return p.a < 128; }

Bytes iconImage32(const Canvas& c) {
    const int w = c.width(), h = c.height();
    const Bytes mask = andMask(c, clearIn32);
    Bytes b;
    putInfoHeader(b, w, 2 * h, 32, static_cast<std::uint32_t>(w * h * 4 + mask.size()), 0);
    append(b, straightPixels(c, PixelOrder::dibBgra));
    append(b, mask);
    return b;
}

Bytes iconImage8(const Canvas& c) {
    const int w = c.width(), h = c.height();
    std::map<Colour, int> histogram;
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x) {
            const Rgba8 p = c.straight(x, y);
            if (!clearIn8(p)) ++histogram[{p.r, p.g, p.b}];
        }
    }
    // Entry 0 is black: what masked pixels show through the AND mask.
    std::vector<Colour> palette{{0, 0, 0}};
    for (const Colour& col : medianCut(histogram, 255)) palette.push_back(col);
    palette.resize(256, Colour{0, 0, 0});
    const size_t used = std::min<size_t>(256, histogram.size() + 1);

    auto nearest = [&](const Colour& col) {
        size_t best = 0;
        long bestD = -1;
        for (size_t i = 0; i < used; ++i) {
            long d = 0;
            for (int ch = 0; ch < 3; ++ch) d += static_cast<long>(col[ch] - palette[i][ch]) * (col[ch] - palette[i][ch]);
            if (bestD < 0 || d < bestD) {
                bestD = d;
                best = i;
            }
        }
        return static_cast<std::uint8_t>(best);
    };

    const std::uint32_t stride = rowBytes(w, 8);
    const Bytes mask = andMask(c, clearIn8);
    Bytes b;
    putInfoHeader(b, w, 2 * h, 8, static_cast<std::uint32_t>(stride * h + mask.size()), 0);
    for (const Colour& col : palette) {  // RGBQUAD: B, G, R, reserved
        b.push_back(static_cast<std::uint8_t>(col[2]));
        b.push_back(static_cast<std::uint8_t>(col[1]));
        b.push_back(static_cast<std::uint8_t>(col[0]));
        b.push_back(0);
    }
    for (int y = h - 1; y >= 0; --y) {
        for (int x = 0; x < w; ++x) {
            const Rgba8 p = c.straight(x, y);
            b.push_back(clearIn8(p) ? 0 : nearest({p.r, p.g, p.b}));
        }
        for (std::uint32_t pad = static_cast<std::uint32_t>(w); pad < stride; ++pad) b.push_back(0);
    }
    append(b, mask);
    return b;
}

}  // namespace

Bytes icoFile(const std::vector<const Canvas*>& images) {
    struct Entry {
        const Canvas* canvas;
        int bits;
        Bytes data;
    };
    std::vector<Entry> entries;
    for (const Canvas* c : images) {
        if (c->width() != c->height() || c->width() > 255) throw std::runtime_error("icon images must be square, < 256");
        entries.push_back({c, 32, iconImage32(*c)});
        entries.push_back({c, 8, iconImage8(*c)});
    }
    Bytes b;
    put16(b, 0);  // reserved
    put16(b, 1);  // type: icon
    put16(b, static_cast<std::uint32_t>(entries.size()));
    std::uint32_t offset = static_cast<std::uint32_t>(6 + 16 * entries.size());
    for (const Entry& e : entries) {
        b.push_back(static_cast<std::uint8_t>(e.canvas->width()));
        b.push_back(static_cast<std::uint8_t>(e.canvas->height()));
        b.push_back(0);  // colour count: 0 for 256 colours and for true colour
        b.push_back(0);  // reserved
        put16(b, 1);     // planes
        put16(b, static_cast<std::uint32_t>(e.bits));
        put32(b, static_cast<std::uint32_t>(e.data.size()));
        put32(b, offset);
        offset += static_cast<std::uint32_t>(e.data.size());
    }
    for (const Entry& e : entries) append(b, e.data);
    return b;
}

// ---- WAV -------------------------------------------------------------

Bytes wavFile(const std::vector<std::int16_t>& samples, std::uint32_t sampleRate) {
    const std::uint32_t dataBytes = static_cast<std::uint32_t>(samples.size() * 2);
    Bytes b;
    b.insert(b.end(), {'R', 'I', 'F', 'F'});
    put32(b, 36 + dataBytes);
    b.insert(b.end(), {'W', 'A', 'V', 'E', 'f', 'm', 't', ' '});
    put32(b, 16);
    put16(b, 1);               // PCM
    put16(b, 1);               // mono
    put32(b, sampleRate);
    put32(b, sampleRate * 2);  // byte rate
    put16(b, 2);               // block align
    put16(b, 16);              // bits per sample
    b.insert(b.end(), {'d', 'a', 't', 'a'});
    put32(b, dataBytes);
    for (std::int16_t s : samples) put16(b, static_cast<std::uint16_t>(s));
    return b;
}

void writeFile(const std::string& path, const Bytes& bytes) {
    std::ofstream f(path, std::ios::binary | std::ios::trunc);
    if (!f) throw std::runtime_error("cannot write " + path);
    f.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    if (!f) throw std::runtime_error("write failed: " + path);
}

}  // namespace resgen
