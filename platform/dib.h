#pragma once

// Reading a packed device-independent bitmap: a 40-byte BITMAPINFOHEADER
// followed directly by the pixel rows, as a Windows bitmap resource holds it.

#include <cstddef>
#include <cstdint>

namespace platform {

// Rows bottom first, 3 bytes a pixel in blue, green, red order, each row
// rowStride bytes long. bits points into the parsed data; nothing is copied.
struct DibView {
    std::int32_t width = 0;
    std::int32_t height = 0;
    std::size_t rowStride = 0;
    const std::uint8_t* bits = nullptr;
};

inline constexpr std::int32_t kMaxDibSide = 16384;

// Accepts only what the game's pictures are: header size 40, one plane,
// 24 bits a pixel, uncompressed, no colour table, both sides from 1 to
// kMaxDibSide (height positive: bottom-up), and every row present within
// size bytes. Never reads outside data[0, size). out is left alone on failure.
bool ParsePackedDib(const std::uint8_t* data, std::size_t size, DibView* out);

}  // namespace platform
