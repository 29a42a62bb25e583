// Any picture the image library reads (PNG of any depth, GIF, BMP, TGA, JPEG,
// TIFF, ...) as plain 8-bit RGBA, and the size check that comes before every
// decode: the library allocates whatever a header claims, so a 176-byte JPEG
// claiming 30000 x 30000 pixels would take gigabytes.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "common/refusal.h"

// A picture as 8-bit channels, rows from the top.
struct ColourPicture {
  int width = 0;
  int height = 0;
  std::vector<uint8_t> rgba;  // width * height * 4 bytes: red, green, blue, alpha
  // Some pixel has alpha below 128 (alpha channel, tRNS, GIF transparent
  // index). A 32-bit picture whose alpha is 0 everywhere (a BMP or TGA saved
  // without alpha) is read as opaque.
  bool has_transparency = false;
};

// The widest and tallest picture a caller takes, checked on the size the
// header claims before any decode, and again after it: refused with refusal.
struct SideLimit {
  uint64_t most_width = UINT64_MAX;
  uint64_t most_height = UINT64_MAX;
  std::string refusal;
};

// The picture at path, its format taken from its contents, else from its
// name. Refused ("Can not load PATH", "Can not load PATH : picture too large",
// "PATH is not a regular file", ...) when it is not a regular file, not a
// picture the library reads, or larger than kMaxDeepPixels pixels (the
// record itself holds four bytes a pixel), or past limit.
Checked<ColourPicture> LoadColourPicture(const std::string& path, const SideLimit& limit = {});
