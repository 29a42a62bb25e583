// The ".set" tileset file: the one piece of state a user keeps between runs,
// grown image by image by add0 and turned into CPC data by final0.
//
// Layout, 9220 bytes, little-endian:
//   0     4     tile count (signed 32-bit): slots in use
//   4     1024  palette: 256 entries of blue, green, red, reserved
//   1028  8192  256 tile records of 32 bytes, slot 0 first; free slots are zero
// A tile record is 8 lines of 4 pens (one byte each, 0 to 15), line 0 the
// tile's bottom pixel row, pixels left to right within a line.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "common/picture.h"
#include "common/refusal.h"

inline constexpr int kTileWidthPx = 4;
inline constexpr int kTileHeightPx = 8;
inline constexpr int kTileRecordBytes = kTileWidthPx * kTileHeightPx;
inline constexpr int kTileSlots = 256;
// One byte a tile number on the CPC side, and slot 255 is never filled.
inline constexpr int kMaxTiles = 255;
inline constexpr int kPaletteBytes = kPaletteEntries * 4;
inline constexpr int kTilesetFileBytes = 4 + kPaletteBytes + kTileSlots * kTileRecordBytes;

struct Tileset {
  int32_t tile_count = 0;
  std::array<uint8_t, kPaletteBytes> palette{};
  std::array<uint8_t, kTileSlots * kTileRecordBytes> tiles{};

  const uint8_t* Tile(int slot) const { return tiles.data() + static_cast<size_t>(slot) * kTileRecordBytes; }
  uint8_t* Tile(int slot) { return tiles.data() + static_cast<size_t>(slot) * kTileRecordBytes; }
};

// Checks and decodes the bytes of the tileset file at path: refused, naming
// path, when they are not 9220 bytes ("x.set is not a tileset file: 100 bytes
// instead of 9220") or the stored tile count is outside 0 to 255.
Checked<Tileset> ParseTilesetBytes(std::span<const uint8_t> bytes, const std::string& path);

// Reads and checks the tileset file at path; no tileset when there is no file
// of that name, refused ("Can not read PATH", or as ParseTilesetBytes) when
// one is there but can not be read or is not a tileset. Never changes the file.
Checked<std::optional<Tileset>> ReadTilesetFile(const std::string& path);

// The 9220 bytes of the file that holds tileset.
std::vector<uint8_t> TilesetFileBytes(const Tileset& tileset);
