// gravik final0: a tileset file turned into CPC tile data and a PC preview.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "toolkit/tiles/tileset_file.h"

inline constexpr int kCpcTileBytes = 16;
inline constexpr int kPreviewWidthPx = 8;
inline constexpr int kPreviewHeightPx = kTileSlots * kTileHeightPx;

// The 4096-byte CPC tile file: for all 256 slots, whatever the tile count,
// 16 mode 0 bytes a tile, its rows from the top, two bytes a row.
std::vector<uint8_t> EncodeCpcTiles(const Tileset& tileset);

// The preview's pens, 8 x 2048, rows from the top: tile n upright on rows 8n
// to 8n + 7, each tile pixel two image pixels wide.
std::vector<uint8_t> PreviewPens(const Tileset& tileset);

// gravik final0: reads name + ".set" (never changing it) and writes
// "tileset_" + name + ".til" and "tileset_" + name + ".bmp". A missing,
// damaged or unreadable tileset file is refused and nothing is created.
// Returns true when both files were written.
bool FinalizeTileset(const std::string& name);
