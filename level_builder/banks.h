// The level as two 16 KB CPC memory bank images (".C4" and ".C5"), with the
// report of its size and the layout lines.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "common/refusal.h"
#include "level_builder/analysis.h"

inline constexpr int kBankBytes = 0x4000;
inline constexpr int kBankAddress = 0x4000;  // each bank is seen at 0x4000 to 0x7FFF
inline constexpr int kBankEndAddress = kBankAddress + kBankBytes;
inline constexpr int kTileBytes = 16;
inline constexpr int kPatternRecordBytes = 2 * kTilesPerPattern;
// The map format keeps five blocks a column: levels are 160 pixels tall.
inline constexpr int kMapColumnStride = 5;
// Tiles 0x4010 to 0x7FF0 of the second bank; its first 16 bytes are reserved.
inline constexpr int kSecondBankTileCapacity = kBankBytes / kTileBytes - 1;

// CPC addresses of the level's blocks in the first bank.
struct LevelLayout {
  std::array<int, kStepCount> pattern_address{};
  std::array<int, kStepCount> map_address{};
  int tile_start = 0;
  int last_first_bank_tile = 0;  // -1 when no tile fits the first bank
};

LevelLayout ComputeLevelLayout(const std::array<int, kStepCount>& pattern_counts, int width_blocks,
                               int height_blocks);

// The word a pattern record holds for tile index: 0 for the blank tile, else
// the tile's address with the bank tag 4 (first bank) or 5 (second) added.
uint16_t TileReference(const LevelLayout& layout, int tile_index);

// The 16 mode 0 bytes of a tile: pens of columns 0, 2, 4, 6 of each row, rows
// in the Gray order 0, 1, 3, 2, 6, 7, 5, 4, odd places right byte first.
std::array<uint8_t, kTileBytes> EncodeTile(const TilePens& tile);

// "==REPORT==" to "Estimated size :".
std::vector<std::string> ReportLines(PatternOption option, const LevelAnalysis& analysis);

// "==OUT DATAS==" to the "Tiles    :" address.
std::vector<std::string> LayoutLines(const LevelLayout& layout);

// "Last Byte:" and the address just past the second bank's last tile.
std::string LastByteLine(const LevelLayout& layout, int tile_count);

// The one line refusing a level whose banks cannot hold it (blocks not 5 tall,
// maps reaching past the first bank, too many tiles for the second), or none.
Refusal LevelFitRefusal(const LevelAnalysis& analysis, const LevelLayout& layout);

struct LevelBanks {
  std::vector<uint8_t> first;   // ".C4", configuration byte 0xC4 first
  std::vector<uint8_t> second;  // ".C5"
};

// Both bank images of a level that fits (LevelFitRefusal gave none).
LevelBanks BuildLevelBanks(const LevelAnalysis& analysis, const LevelLayout& layout);

// Logs the report, refuses a level that does not fit, logs the layout,
// writes level + ".C4" and level + ".C5" and logs the last byte. True when
// both files were written.
bool WriteLevelBanks(const std::string& level, PatternOption option, const LevelAnalysis& analysis);
