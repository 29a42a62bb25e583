// Whole pictures as the CPC's own screen memory (".scr"): the 16 KB at &C000
// that LOAD"NAME.SCR",&C000 puts on the screen as it is.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "common/refusal.h"
#include "toolkit/image_ops/linear_screen.h"

inline constexpr size_t kStandardScreenBytes = 0x4000;

// Refuses a picture larger than the mode's screen (160, 320 or 640 pixels wide,
// 200 high) with the text of the one line that says so.
Refusal CheckStandardScreenSize(int width_px, int height_px, ScreenMode mode);

// The 16384 screen bytes of a picture that passed CheckStandardScreenSize:
// picture row y at (y mod 8) * &800 + (y div 8) * 80, in the byte layout of the
// linear screens; everything the picture does not cover is pen 0, and the 48
// bytes that end each &800 block are 0.
std::vector<uint8_t> EncodeStandardScreen(const Picture& pixels, ScreenMode mode);

// gravik scr0 / scr1 / scr2: source_path (8-bit BMP) to output_path.
// Return true when the output file was written.
bool ConvertToScreen0(const std::string& source_path, const std::string& output_path);
bool ConvertToScreen1(const std::string& source_path, const std::string& output_path);
bool ConvertToScreen2(const std::string& source_path, const std::string& output_path);
