#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "platform/dib.h"
#include "platform/embedded_bitmap_data.h"
#include "platform/embedded_bitmaps.h"
#include "resources/resource_ids.h"

namespace {

using platform::DibView;
using platform::ParsePackedDib;

void PutU32(std::vector<std::uint8_t>& data, std::size_t at, std::uint32_t value) {
    for (int i = 0; i < 4; ++i) {
        data[at + i] = static_cast<std::uint8_t>(value >> (8 * i));
    }
}

void PutU16(std::vector<std::uint8_t>& data, std::size_t at, std::uint16_t value) {
    data[at] = static_cast<std::uint8_t>(value);
    data[at + 1] = static_cast<std::uint8_t>(value >> 8);
}

// A well-formed packed DIB of width by height pixels with the two trailing
// zero bytes; a width of 3 makes every row carry 3 pad bytes (stride 12).
std::vector<std::uint8_t> PackedDib(std::int32_t width, std::int32_t height) {
    const std::size_t stride = (static_cast<std::size_t>(width) * 3 + 3) & ~std::size_t{3};
    std::vector<std::uint8_t> data(40 + stride * static_cast<std::size_t>(height) + 2, 0);
    PutU32(data, 0, 40);
    PutU32(data, 4, static_cast<std::uint32_t>(width));
    PutU32(data, 8, static_cast<std::uint32_t>(height));
    PutU16(data, 12, 1);
    PutU16(data, 14, 24);
    for (std::size_t i = 40; i + 2 < data.size(); ++i) {
        data[i] = static_cast<std::uint8_t>(i);
    }
    return data;
}

struct MalformedCase {
    std::string name;
    std::function<void(std::vector<std::uint8_t>&)> spoil;
};

// Each buffer is exactly as long as its bytes, so a read past the end is an
// AddressSanitizer error.
TEST(PackedDib, RejectsMalformedPictures) {
    const std::vector<MalformedCase> cases = {
        {"truncated header", [](auto& d) { d.resize(39); }},
        {"empty", [](auto& d) { d.clear(); }},
        {"rows cut short by one byte", [](auto& d) { d.resize(40 + 12 * 2 - 1); }},
        {"header size 12", [](auto& d) { PutU32(d, 0, 12); }},
        {"header size 108", [](auto& d) { PutU32(d, 0, 108); }},
        {"2 planes", [](auto& d) { PutU16(d, 12, 2); }},
        {"8 bits a pixel", [](auto& d) { PutU16(d, 14, 8); }},
        {"32 bits a pixel", [](auto& d) { PutU16(d, 14, 32); }},
        {"compression 1", [](auto& d) { PutU32(d, 16, 1); }},
        {"colour table of one entry", [](auto& d) { PutU32(d, 32, 1); }},
        {"width 0", [](auto& d) { PutU32(d, 4, 0); }},
        {"height 0", [](auto& d) { PutU32(d, 8, 0); }},
        {"negative width", [](auto& d) { PutU32(d, 4, static_cast<std::uint32_t>(-3)); }},
        {"negative height (top-down rows)", [](auto& d) { PutU32(d, 8, static_cast<std::uint32_t>(-2)); }},
        {"width 16385", [](auto& d) { PutU32(d, 4, 16385); }},
        {"height 16385", [](auto& d) { PutU32(d, 8, 16385); }},
        // stride * height = 300000 * 100000 does not fit 32 bits.
        {"100000 x 100000", [](auto& d) { PutU32(d, 4, 100000); PutU32(d, 8, 100000); }},
        {"16384 x 16384 in a small buffer", [](auto& d) { PutU32(d, 4, 16384); PutU32(d, 8, 16384); }},
        {"largest signed width and height",
         [](auto& d) { PutU32(d, 4, 0x7fffffff); PutU32(d, 8, 0x7fffffff); }},
    };
    for (const MalformedCase& c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<std::uint8_t> data = PackedDib(3, 2);
        c.spoil(data);
        const std::vector<std::uint8_t> exact(data.begin(), data.end());
        DibView view;
        EXPECT_FALSE(ParsePackedDib(exact.empty() ? nullptr : exact.data(), exact.size(), &view));
        EXPECT_EQ(view.bits, nullptr);
    }
    // A side beyond the limit is refused even with every row present.
    for (const auto& [width, height] : {std::pair{16385, 1}, std::pair{1, 16385}}) {
        const std::vector<std::uint8_t> data = PackedDib(width, height);
        DibView view;
        EXPECT_FALSE(ParsePackedDib(data.data(), data.size(), &view)) << width << " x " << height;
    }
}

TEST(PackedDib, AcceptsPaddedRowsAndPointsIntoTheData) {
    struct Size {
        std::int32_t width;
        std::int32_t height;
        std::size_t stride;
    };
    for (const Size s : {Size{3, 2, 12}, Size{1, 1, 4}, Size{4, 3, 12}, Size{5, 1, 16}, Size{16384, 2, 49152}}) {
        SCOPED_TRACE(std::to_string(s.width) + " x " + std::to_string(s.height));
        std::vector<std::uint8_t> data = PackedDib(s.width, s.height);
        data.resize(data.size() - 2);  // the trailing zero bytes are not needed
        DibView view;
        ASSERT_TRUE(ParsePackedDib(data.data(), data.size(), &view));
        EXPECT_EQ(view.width, s.width);
        EXPECT_EQ(view.height, s.height);
        EXPECT_EQ(view.rowStride, s.stride);
        EXPECT_EQ(view.bits, data.data() + 40);
    }
}

TEST(EmbeddedBitmaps, HoldTheSevenPicturesAtTheirSizes) {
    struct Expected {
        int id;
        std::int32_t width;
        std::int32_t height;
        std::size_t resourceBytes;
    };
    const Expected pictures[] = {
        {IDB_BALL, 32, 32, 3114},          {IDB_TITLE, 512, 512, 786474},     {IDB_EXIT_HINT, 128, 128, 49194},
        {IDB_LEFT_KEYS, 128, 128, 49194},  {IDB_PADDLE, 20, 76, 4602},        {IDB_RIGHT_KEYS, 128, 128, 49194},
        {IDB_WHITE, 64, 64, 12330},
    };
    ASSERT_EQ(platform::kEmbeddedBitmapCount, 7u);
    for (const Expected& e : pictures) {
        SCOPED_TRACE("id " + std::to_string(e.id));
        const platform::EmbeddedBitmapData* data = nullptr;
        for (std::size_t i = 0; i < platform::kEmbeddedBitmapCount; ++i) {
            if (platform::kEmbeddedBitmaps[i].id == e.id) {
                data = &platform::kEmbeddedBitmaps[i];
            }
        }
        ASSERT_NE(data, nullptr);
        // Exactly what a Windows bitmap resource holds: no file header.
        EXPECT_EQ(data->size, e.resourceBytes);

        platform::Bitmap bitmap;
        ASSERT_TRUE(platform::LoadEmbeddedBitmap(e.id, &bitmap));
        EXPECT_EQ(bitmap.width, e.width);
        EXPECT_EQ(bitmap.height, e.height);
        EXPECT_EQ(bitmap.bits, data->data + 40);
        EXPECT_EQ(reinterpret_cast<std::uintptr_t>(bitmap.bits) % 4, 0u);
    }
}

TEST(EmbeddedBitmaps, WhitePictureIsWhiteToItsLastByteAndUnknownIdsFail) {
    platform::Bitmap white;
    ASSERT_TRUE(platform::LoadEmbeddedBitmap(IDB_WHITE, &white));
    const std::size_t bytes = static_cast<std::size_t>(white.width) * 3 * static_cast<std::size_t>(white.height);
    std::vector<std::uint8_t> expected(bytes, 255);
    EXPECT_EQ(std::memcmp(white.bits, expected.data(), bytes), 0);

    for (int id : {0, -1, 113, 121, 2}) {
        platform::Bitmap bitmap;
        EXPECT_FALSE(platform::LoadEmbeddedBitmap(id, &bitmap)) << id;
    }
}

}  // namespace
