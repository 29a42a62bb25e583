// gravik col: a one-byte-per-cell map from row order into column order, the
// order a CPC game that scrolls sideways reads its map in.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

// The width x height cells of rows (row after row from the top, cell (x, y) at
// y * width + x) column after column from the left, each from the top down.
// rows must hold at least width * height bytes; more are ignored.
std::vector<uint8_t> ColumnOrder(std::span<const uint8_t> rows, int width, int height);

// gravik col: source_path to output_path. Refuses a missing source, a width or
// height below 1, and a source shorter than width x height bytes, writing nothing.
// Returns true when the output file was written.
bool ConvertToColumnOrder(const std::string& source_path, const std::string& output_path, int32_t width,
                          int32_t height);
