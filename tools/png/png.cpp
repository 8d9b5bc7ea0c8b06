#include "png.hpp"

#include <stdexcept>

#include <zlib.h>

namespace png {

namespace {

using Bytes = std::vector<std::uint8_t>;

void put32be(Bytes& out, std::uint32_t v) {
    for (int shift = 24; shift >= 0; shift -= 8) out.push_back(static_cast<std::uint8_t>(v >> shift));
}

void putChunk(Bytes& out, const char type[4], const Bytes& data) {
    put32be(out, static_cast<std::uint32_t>(data.size()));
    const std::size_t start = out.size();
    out.insert(out.end(), type, type + 4);
    out.insert(out.end(), data.begin(), data.end());
    const uLong crc = crc32(0L, out.data() + start, static_cast<uInt>(out.size() - start));
    put32be(out, static_cast<std::uint32_t>(crc));
}

}  // namespace

Bytes encode(int width, int height, int channels, const Bytes& pixels) {
    if ((channels != 3 && channels != 4) || pixels.size() != static_cast<std::size_t>(width) * height * channels)
        throw std::invalid_argument("png::encode: pixels do not match the size");
    const std::size_t rowBytes = static_cast<std::size_t>(width) * channels;
    Bytes raw;
    raw.reserve((rowBytes + 1) * height);
    for (int y = 0; y < height; ++y) {
        raw.push_back(0);  // filter: none
        const auto row = pixels.begin() + static_cast<std::ptrdiff_t>(y * rowBytes);
        raw.insert(raw.end(), row, row + static_cast<std::ptrdiff_t>(rowBytes));
    }
    uLongf packedSize = compressBound(static_cast<uLong>(raw.size()));
    Bytes packed(packedSize);
    if (compress2(packed.data(), &packedSize, raw.data(), static_cast<uLong>(raw.size()), 9) != Z_OK)
        throw std::runtime_error("zlib compress failed");
    packed.resize(packedSize);

    Bytes header;
    put32be(header, static_cast<std::uint32_t>(width));
    put32be(header, static_cast<std::uint32_t>(height));
    // 8 bits, RGB or RGBA, deflate, adaptive filtering, not interlaced.
    header.insert(header.end(), {8, static_cast<std::uint8_t>(channels == 3 ? 2 : 6), 0, 0, 0});
    Bytes out{0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    putChunk(out, "IHDR", header);
    putChunk(out, "IDAT", packed);
    putChunk(out, "IEND", {});
    return out;
}

}  // namespace png
