// The source file of a converted map: its sizes as equates and its tiles
// and maps as labelled arrays, in the chosen dialect (WinApe, sdasz80, C).
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "common/source_dialect.h"

struct MapSourceData {
  std::string label;
  std::span<const uint8_t> bytes;  // the bytes of its binary file
};

struct MapSource {
  std::string asm_path;  // the WinApe name of the source: NAME.asm
  std::string title;     // the output name, for the heading
  std::string label;     // the part every label starts with
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

// The source: a heading, the equates LABEL_TILE_COUNT, LABEL_TILE_WIDTH
// (bytes), LABEL_TILE_HEIGHT, LABEL_MAP_WIDTH and LABEL_MAP_HEIGHT, then the
// tiles and each map as an array of its file's bytes, with its size. It is
// written to file as it is made (a large level's source is tens of
// megabytes), file being made aside for the source's name in the dialect
// (SourceOutputNames of asm_path); returns its header (sdasz80, C), none in
// WinApe.
std::vector<SourceFile> WriteMapSource(const MapSource& source, SourceSyntax syntax, AsideFile& file);
