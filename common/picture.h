// The one picture record of both programs: an 8-bit picture, one pen (palette
// index) a pixel, row 0 the top row, with its 256-colour palette. Every
// operation reads and writes pens through it; only common/image_io/ turns
// files into pictures and pictures into files.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

struct Rgb {
  uint8_t red = 0;
  uint8_t green = 0;
  uint8_t blue = 0;

  bool operator==(const Rgb&) const = default;
};

inline constexpr int kPaletteEntries = 256;
using Palette = std::array<Rgb, kPaletteEntries>;

// Rows are reached through a stride, which may be negative: a decoded BMP
// keeps its scan lines bottom-up, and the picture walks them top-down in
// place rather than copying a large image. storage keeps the pens alive
// (a decoded file or a buffer of the picture's own); copies of a picture share
// its pens.
struct Picture {
  int width = 0;
  int height = 0;
  ptrdiff_t stride = 0;
  uint8_t* top_row = nullptr;
  Palette palette{};
  std::shared_ptr<void> storage;

  const uint8_t* Row(int y) const { return top_row + stride * y; }
  uint8_t* Row(int y) { return top_row + stride * y; }
  uint8_t At(int x, int y) const { return Row(y)[x]; }
};

// A width x height picture of pen 0 with a black palette, pens in a buffer of
// its own, rows packed (stride = width).
Picture NewPicture(int width, int height);

// A picture over a copy of pens (width * height, top row first).
Picture PictureFromPens(int width, int height, const uint8_t* pens, const Palette& palette = Palette{});
// The same, the buffer of width * height pens becoming the picture's own
// instead of being copied (a 4096 x 4096 picture is 16 MB).
Picture PictureFromPens(int width, int height, std::vector<uint8_t>&& pens, const Palette& palette = Palette{});
