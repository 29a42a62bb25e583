// The source file of a converted map: its sizes as equates and its tiles
// and maps as labelled data, in WinApe's syntax (which pasmo reads too).
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

struct MapSourceData {
  std::string label;
  std::span<const uint8_t> bytes;  // the bytes of its binary file
};

struct MapSource {
  std::string title;           // the output name, for the heading
  std::string label;           // the part every label starts with
  int mode = 0;
  int64_t tile_count = 0;
  int tile_width_bytes = 0;
  int tile_height = 0;
  int map_width = 0;
  int map_height = 0;
  bool is_wide = false;        // two bytes a cell, little-endian
  bool is_by_columns = false;  // columns from the left rather than rows from the top
  MapSourceData tiles;
  std::vector<MapSourceData> maps;
};

// The lines of the source, without line ends: the equates, then the tiles
// and each map under its label, their files' bytes sixteen a line.
std::vector<std::string> MapSourceLines(const MapSource& source);
