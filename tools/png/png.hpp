// PNG files of 8-bit pixels, for the resource generator and zarvo_frame_shot.
#pragma once

#include <cstdint>
#include <vector>

namespace png {

// A PNG of width by height pixels of `channels` bytes each: 3 for R,G,B
// (colour type 2), 4 for straight R,G,B,A (colour type 6). `pixels` holds
// the rows top first, without padding. The rows are stored unfiltered and
// deflated at level 9, so the same pixels always give the same bytes.
std::vector<std::uint8_t> encode(int width, int height, int channels, const std::vector<std::uint8_t>& pixels);

}  // namespace png
