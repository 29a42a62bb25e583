// Sixteen palette entries of a picture as CPC+ colours, in assembler lines a
// CPC+ program includes to load the sixteen pens of its screen or sprites.
#pragma once

#include <string>
#include <vector>

#include "common/picture.h"
#include "common/source_dialect.h"

inline constexpr int kPlusPaletteSize = 16;
// The last start colour whose sixteen entries all lie in a 256-entry palette.
inline constexpr int kLastStartColour = 256 - kPlusPaletteSize;

// "db    #RB,#0G ; N" for entries start_colour to start_colour + 15 of palette.
// start_colour must be 0 to kLastStartColour.
std::vector<std::string> PlusPaletteLines(const Palette& palette, int start_colour);

// The same entries in syntax as the array named after asm_path (title_pal.asm:
// title_pal, 32 bytes), without a label in WinApe.
std::vector<SourceFile> PlusPaletteSource(const Palette& palette, int start_colour, SourceSyntax syntax,
                                          const std::string& asm_path);

// gravik pal: source_path (8-bit BMP) to output_path (text; the chosen
// syntax's names for it). Refuses, before loading anything, a start colour
// outside 0 to 240 and, but in WinApe, an output_path that can not become
// those names. Returns true when the
// output file was written.
bool PaletteExtract(const std::string& source_path, const std::string& output_path, int start_colour);
