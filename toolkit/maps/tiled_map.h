// The reader of Tiled's TMX maps: the map's grid, its tilesets (embedded or
// in .tsx files) and its tile layers with their cells, as plain records.
#pragma once

#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <vector>

#include "common/refusal.h"

// The most cells a layer may have: 16 M, a layer of 64 MB of ids.
inline constexpr size_t kMaxMapCells = size_t{1} << 24;

struct TiledTileset {
  uint32_t first_gid = 0;
  std::string name;
  int tile_width = 0;
  int tile_height = 0;
  int spacing = 0;
  int margin = 0;
  int tile_count = 0;      // 0 when the file leaves it out
  int columns = 0;         // 0 when the file leaves it out
  std::string image_path;  // as the program opens it: joined to the folder of the file naming it
  std::string file;        // the file holding its <tileset> element: the map or a .tsx
};

struct TiledLayer {
  std::string name;
  bool is_visible = true;  // false when it, or a group holding it, is hidden
  std::vector<uint32_t>
      cells;  // width x height global ids with their flags, rows from the top; empty when hidden
};

struct TiledMap {
  int width = 0;
  int height = 0;
  int tile_width = 0;
  int tile_height = 0;
  std::vector<TiledTileset> tilesets;  // by first gid, lowest first
  std::vector<TiledLayer> layers;      // every tile layer, groups flattened, bottom one first
};

// Reads a .tsx file the map names (path as the program opens it), bounded.
using TilesetFileReader = std::function<Checked<std::vector<uint8_t>>(const std::string& path)>;

// The map in xml, read from map_path (xml is parsed in place, and changed). Refuses, in a line naming the
// file: malformed XML or entity declarations (nothing outside the file is ever read for the XML itself), a
// root that is not a map, a map that is not orthogonal or is infinite, sizes out of range, a
// collection-of-images tileset, a tileset without an image, and layer data that does not decode or holds
// other than width x height ids. Object, image and hidden layers are passed over.
Checked<TiledMap> ReadTiledMap(std::span<uint8_t> xml, const std::string& map_path,
                               const TilesetFileReader& read_file);
