// Cutting a sprite sheet into 16 x 16 cells, each saved as an 8-bit BMP with
// the sheet's whole palette: the sources the sprite commands accept.
#pragma once

#include <string>

// "split_" + name + column + "-" + row + ".bmp", column and row in upper-case
// hexadecimal without leading zeros. name is used whole, folder part included.
std::string SplitSpriteFileName(const std::string& name, int column, int row);

// gravik spt: cuts source_path (8-bit BMP, width a multiple of 16) into
// width / 16 x height / 16 cells, left to right then top to bottom (a band of
// fewer than 16 rows at the bottom is ignored). A cell that cannot be saved
// is reported in one line and the next cell follows. Returns true when every
// cell was written.
bool SplitSprite(const std::string& source_path, const std::string& name);
