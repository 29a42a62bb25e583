// Whole pictures as CPC screen bytes in linear order: each picture row is a
// run of bytes, rows from the top, no header (".pm0", ".pm1", ".pm2").
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "toolkit/source_image.h"

enum class ScreenMode { kMode0, kMode1, kMode2 };

// The screen bytes of a whole picture, rows from the top. A row is width / 2
// (mode 0), width / 4 rounded up (mode 1, pen 0 beyond the width) or width / 8
// (mode 2) bytes; mode 0 and 2 expect their width rule already checked.
std::vector<uint8_t> EncodeLinearScreen(const Picture& pixels, ScreenMode mode);

// gravik mode0 / mode1 / mode2: source_path (8-bit BMP) to output_path.
// Return true when the output file was written.
bool ConvertToMode0(const std::string& source_path, const std::string& output_path);
bool ConvertToMode1(const std::string& source_path, const std::string& output_path);
bool ConvertToMode2(const std::string& source_path, const std::string& output_path);
