// BMPs with the version 4 or 5 info header (108 or 124 bytes: what
// ImageMagick and most paint programs write by default) restated with the
// version 3 header (40 bytes), which every reader takes. The longer headers
// only add colour-space data that a CPC picture has no use for, and the
// channel masks, which version 3 keeps in the three words after its header.
#pragma once

#include <cstdint>
#include <vector>

// The bytes of a whole BMP file with a 108- or 124-byte info header, as the
// same picture with the 40-byte one: the pixel offset moved, the channel
// masks kept for 16- and 32-bit bitfields (plain 32-bit when they are the
// usual 8 bits a channel), palette and pixels as they were. Empty when the
// file is no such BMP or its header is inconsistent (CheckBmpHeader decides).
std::vector<uint8_t> BmpWithVersion3Header(const std::vector<uint8_t>& file);
