// Loading of the 8-bit BMP sources of the image commands, with the two source
// lines every image command prints and the checks they share.
#pragma once

#include <FreeImage.h>

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "common/image_io/bmp_file.h"

// Read-only pens of a picture, row 0 the top row. stride may be negative:
// FreeImage keeps scan lines bottom-up, and a view walks them top-down.
struct PixelView {
  const uint8_t* top_row = nullptr;
  ptrdiff_t stride = 0;
  int width = 0;
  int height = 0;

  const uint8_t* Row(int y) const { return top_row + stride * y; }
  uint8_t At(int x, int y) const { return Row(y)[x]; }
};

// A loaded, checked source: 8 bits a pixel, pens read through pixels.
struct SourceImage {
  ImagePtr image;
  PixelView pixels;
};

// Loads path as a BMP through FreeImage once its headers have been checked
// (damaged headers and pictures over 256 MB of pixels are refused before the
// library sees them). On failure prints "Can not load " + path (a FreeImage
// diagnostic may come first) and returns nothing.
ImagePtr LoadBmpSafely(const std::string& path);

// Loads path as a BMP and prints "source : " + path and the size line. Refuses,
// with one console line, a missing or unreadable file, a depth other than 8
// bits and a width that is not a multiple of width_multiple.
std::optional<SourceImage> LoadSourceImage(const std::string& path, int width_multiple);

// As LoadSourceImage, but the picture must be exactly 16 x 16 pixels.
std::optional<SourceImage> LoadSpriteSource(const std::string& path);

// The top-down view of an 8-bit FreeImage bitmap's pens.
PixelView ViewOfImage(FIBITMAP* image);
