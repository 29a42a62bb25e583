// 8-bit palettised pictures made by the toolkit (the pens of a converted
// picture, a preview of them) encoded as BMP or PNG file bytes, ready for the
// common writers.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <vector>

struct IndexedPicture {
  int width = 0;
  int height = 0;
  std::vector<uint8_t> pens;                        // width * height, rows from the top
  std::vector<std::array<uint8_t, 3>> palette;      // red, green, blue; entries past it are black
};

// The BMP file of picture: 8 bits a pixel, a 256-entry palette. None when the
// library can not make it (out of memory).
std::optional<std::vector<uint8_t>> EncodeIndexedBmp(const IndexedPicture& picture);

// The PNG file of picture with each pixel drawn scale_x x scale_y, 8 bits a
// pixel, fastest compression (a preview).
std::optional<std::vector<uint8_t>> EncodeScaledIndexedPng(const IndexedPicture& picture, int scale_x, int scale_y);
