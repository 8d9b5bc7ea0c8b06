#include "platform/dib.h"

namespace platform {
namespace {

constexpr std::size_t kInfoHeaderSize = 40;

// Header fields are little-endian at fixed offsets; read byte by byte so that
// neither alignment nor the host's byte order matters.
std::uint32_t U32At(const std::uint8_t* p) {
    return static_cast<std::uint32_t>(p[0]) | static_cast<std::uint32_t>(p[1]) << 8 |
           static_cast<std::uint32_t>(p[2]) << 16 | static_cast<std::uint32_t>(p[3]) << 24;
}

std::uint16_t U16At(const std::uint8_t* p) {
    return static_cast<std::uint16_t>(p[0] | p[1] << 8);
}

std::int32_t S32At(const std::uint8_t* p) { return static_cast<std::int32_t>(U32At(p)); }

}  // namespace

bool ParsePackedDib(const std::uint8_t* data, std::size_t size, DibView* out) {
    if (data == nullptr || out == nullptr || size < kInfoHeaderSize) {
        return false;
    }
    const std::uint32_t headerSize = U32At(data + 0);
    const std::int32_t width = S32At(data + 4);
    const std::int32_t height = S32At(data + 8);
    const std::uint16_t planes = U16At(data + 12);
    const std::uint16_t bitCount = U16At(data + 14);
    const std::uint32_t compression = U32At(data + 16);
    const std::uint32_t coloursUsed = U32At(data + 32);
    if (headerSize != kInfoHeaderSize || planes != 1 || bitCount != 24 || compression != 0 ||
        coloursUsed != 0) {
        return false;
    }
    if (width < 1 || width > kMaxDibSide || height < 1 || height > kMaxDibSide) {
        return false;
    }
    // With both sides at most kMaxDibSide this is below 2^31: no overflow.
    const std::uint64_t stride = (static_cast<std::uint64_t>(width) * 3 + 3) & ~std::uint64_t{3};
    const std::uint64_t rowBytes = stride * static_cast<std::uint64_t>(height);
    if (rowBytes > size - kInfoHeaderSize) {
        return false;
    }
    out->width = width;
    out->height = height;
    out->rowStride = static_cast<std::size_t>(stride);
    out->bits = data + kInfoHeaderSize;
    return true;
}

}  // namespace platform
