// Writers for the file formats the game ships: 24-bit BMP pictures,
// a multi-image Windows icon, RGBA PNG icons and 16-bit PCM WAV sounds.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "raster.hpp"

namespace resgen {

using Bytes = std::vector<std::uint8_t>;

// The part of a BMP file after its 14-byte file header: a 40-byte
// BITMAPINFOHEADER, bottom-up 24-bit B,G,R rows padded to 4 bytes, then
// two zero bytes. The canvas is composited over black.
Bytes bmpResource(const Canvas& canvas, std::int32_t pixelsPerMetre);
// A whole .bmp file: BITMAPFILEHEADER + bmpResource().
Bytes bmpFile(const Canvas& canvas, std::int32_t pixelsPerMetre);

// An RGBA (colour type 6, 8 bits) PNG of the canvas, straight alpha.
Bytes pngFile(const Canvas& canvas);

// A .ico holding, for every canvas, a 32-bit BGRA image and an 8-bit
// palette image, both as DIB entries with an AND mask.
Bytes icoFile(const std::vector<const Canvas*>& images);

// RIFF WAVE, PCM, 16-bit, mono.
Bytes wavFile(const std::vector<std::int16_t>& samples, std::uint32_t sampleRate);

void writeFile(const std::string& path, const Bytes& bytes);

}  // namespace resgen
