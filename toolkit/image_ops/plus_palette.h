// Sixteen palette entries of a picture as CPC+ colours, in assembler lines a
// CPC+ program includes to load the sixteen pens of its screen or sprites.
#pragma once

#include <string>
#include <vector>

#include "common/picture.h"

inline constexpr int kPlusPaletteSize = 16;
// The last start colour whose sixteen entries all lie in a 256-entry palette.
inline constexpr int kLastStartColour = 256 - kPlusPaletteSize;

// "db    #RB,#0G ; N" for entries start_colour to start_colour + 15 of palette.
// start_colour must be 0 to kLastStartColour.
std::vector<std::string> PlusPaletteLines(const Palette& palette, int start_colour);

// gravik pal: source_path (8-bit BMP) to output_path (text). Refuses, before
// loading anything, a start colour outside 0 to 240. Returns true when the
// output file was written.
bool PaletteExtract(const std::string& source_path, const std::string& output_path, int start_colour);
