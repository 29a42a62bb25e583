// Mode 0 data back to a PC picture: bytes of a CPC file decoded two pixels a
// byte into the pixels of a template image, which gives the size and palette.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "toolkit/source_image.h"

// Options of ExtractMode0Sprite.
inline constexpr int kSkipFileHeader = 1;  // the data starts with a 128-byte file header
inline constexpr int kSaveUpright = 2;     // save line 0 of the data as the top line

// Decodes (width / 2) x height bytes of data from first_byte on, linear rows
// from the top, into rows of width pens. The caller checks that they exist.
std::vector<uint8_t> DecodeMode0Rows(const std::vector<uint8_t>& data, size_t first_byte, int width, int height);

// Loads template_path (8-bit BMP, width a multiple of 2), decodes data_path
// from start_offset (+ 128 with kSkipFileHeader) into it and saves it as a BMP
// at output_path: upright with kSaveUpright, otherwise upside down (data line
// 0 at the bottom). Refuses data too short for the template and a negative
// offset, and an output that is the same file as an input, with one line.
// True when the picture was saved.
bool ExtractMode0Sprite(const std::string& data_path, const std::string& template_path,
                        const std::string& output_path, int start_offset, int options);
