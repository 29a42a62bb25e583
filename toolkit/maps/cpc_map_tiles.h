// A Tiled map's cells turned into CPC tiles and maps: each distinct picture
// a cell shows (its tile with its flips applied) becomes one CPC tile, in the
// mode's screen bytes, and each visible layer a grid of tile numbers.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "common/picture.h"
#include "common/refusal.h"
#include "toolkit/maps/tiled_map.h"

// The flag bits of a global id.
inline constexpr uint32_t kFlipHorizontal = 0x80000000u;
inline constexpr uint32_t kFlipVertical = 0x40000000u;
inline constexpr uint32_t kFlipDiagonal = 0x20000000u;
inline constexpr uint32_t kHexagonalRotation = 0x10000000u;
inline constexpr uint32_t kGidFlags = 0xF0000000u;

// Two bytes a cell number at most this many tiles.
inline constexpr size_t kMaxCpcTiles = 65536;

struct CpcMapLayer {
  std::string name;
  std::vector<uint16_t> cells;  // map width x height tile numbers, rows from the top
};

struct CpcMapTiles {
  int mode = 0;
  int tile_width_px = 0;
  int tile_height = 0;
  int tile_width_bytes = 0;
  size_t tile_count = 1;            // tile 0, the blank tile, always counts
  std::vector<uint8_t> tile_bytes;  // tile_count tiles, each its rows from the top in screen bytes
  std::vector<uint8_t> tile_pens;   // the same tiles as pens, tile_width_px x tile_height each
  std::vector<CpcMapLayer> layers;  // the visible tile layers, bottom one first
};

// The pens of the CPC modes: 16, 4, 2.
int ModePens(int mode);
// Pixels in a screen byte: 2, 4, 8.
int ModePixelsPerByte(int mode);

// The CPC tiles and maps of map, whose tilesets' pictures are images (the
// tilesets' order, pens in any palette: the caller checks palettes). Refuses
// a tileset whose tiles are not the map's size, a tile width that is not
// whole screen bytes, a gid with no tileset (or past its tiles), the
// hexagonal rotation flag, a diagonal flip of tiles that are not square, a
// tile outside its picture or with pens beyond the mode, and more than
// kMaxCpcTiles tiles. Each layer's ids are released once it is numbered, so
// that a large map's CPC maps take their memory (the map keeps its sizes,
// tilesets and layer names).
Checked<CpcMapTiles> BuildCpcMapTiles(TiledMap& map, std::span<const Picture> images, int mode);

// The map as its cells show, drawn from the CPC tiles and maps alone: one
// pixel a CPC pixel, pens in palette; a cell of tile 0 lets the layers
// below show through.
Picture DrawMapPicture(const CpcMapTiles& tiles, int map_width, int map_height, const Palette& palette);
