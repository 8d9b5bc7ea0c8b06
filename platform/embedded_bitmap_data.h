#pragma once

// The pictures linked into the program, made at build time from
// resources/*.bmp by cmake/EmbedBitmaps.cmake. Each holds the packed DIB a
// Windows bitmap resource would hold: header, rows, two trailing zero bytes.

#include <cstddef>
#include <cstdint>

namespace platform {

struct EmbeddedBitmapData {
    int id;
    const std::uint8_t* data;
    std::size_t size;
};

extern const EmbeddedBitmapData kEmbeddedBitmaps[];
extern const std::size_t kEmbeddedBitmapCount;

}  // namespace platform
