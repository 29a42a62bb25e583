// Packed sprites (".px4"): two pixels a byte, left pixel in the high nibble,
// half the size of the block they unpack into on the CPC. Plain nibbles, not
// the interleaved bits of a mode 0 screen byte.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "common/line_output.h"
#include "toolkit/sprites/sprite_pixels.h"

// The 128 bytes: byte i = pen of pixel 2i * 16 + pen of pixel 2i + 1.
std::vector<uint8_t> PackSpritePixels(const SpritePixels& pixels);

// Writes the 128 packed bytes of pixels to output_path.
Refusal WritePackedSprite(const SpritePixels& pixels, const std::string& output_path);

// gravik half: the 16 x 16 source_path packed into output_path; prints
// "ConvertToInterlacedSprite : PATH created". Returns true when written.
bool ConvertToInterlacedSprite(const std::string& source_path, const std::string& output_path);
