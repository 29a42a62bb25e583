// Flat sprites (".px8"): the 256-byte sprite block itself, one pen a byte,
// ready to be copied byte for byte into a CPC+ hardware sprite.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "toolkit/sprites/sprite_pixels.h"

// The 256 bytes of the block: each pixel's low four bits, high bits clear.
std::vector<uint8_t> EncodeFlatSprite(const SpritePixels& pixels);

// gravik basic: the 16 x 16 source_path as a flat sprite in output_path.
// Returns true when the output was written.
bool ConvertToFlatSprite(const std::string& source_path, const std::string& output_path);
