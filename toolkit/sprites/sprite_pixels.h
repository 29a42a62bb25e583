// The 16 x 16 sprite block of the CPC+ hardware sprites: 256 bytes, one byte a
// pixel, row after row from the top, the pen in the low four bits (the ASIC
// ignores the high four). Every sprite generator reads and writes this layout.
#pragma once

#include <array>
#include <cstdint>

#include "toolkit/source_image.h"

inline constexpr int kSpritePixels = kSpriteSide * kSpriteSide;

// A pixel of this value is left alone by generated code (transparent in a
// compiled sprite, unchanged in a keyframe).
inline constexpr uint8_t kLeaveAlone = 255;

using SpritePixels = std::array<uint8_t, kSpritePixels>;

// The pen of a pixel byte as the hardware reads it.
inline uint8_t SpriteColour(uint8_t pixel) { return static_cast<uint8_t>(pixel & 15); }

// The pens of a 16 x 16 view in block order (row 0 the top row), unchanged.
// The view must be 16 x 16, as LoadSpriteSource guarantees.
SpritePixels ReadSpritePixels(const Picture& view);
