#include "level_builder/banks.h"

#include <gtest/gtest.h>

namespace {

std::vector<uint8_t> Bytes(const std::array<uint8_t, kTileBytes>& bytes) {
  return {bytes.begin(), bytes.end()};
}

std::vector<uint8_t> Repeat4(std::vector<uint8_t> quad) {
  std::vector<uint8_t> out;
  for (int i = 0; i < 4; ++i) out.insert(out.end(), quad.begin(), quad.end());
  return out;
}

// An analysis with the given counts only: pattern records of blank tiles and
// tile_count blank tiles.
LevelAnalysis AnalysisOfSize(const std::array<int, kStepCount>& counts, int width_blocks, int height_blocks,
                             int tile_count) {
  LevelAnalysis analysis;
  analysis.width_blocks = width_blocks;
  analysis.height_blocks = height_blocks;
  for (int step = 0; step < kStepCount; ++step) {
    PatternGroup& group = analysis.groups[step];
    group.width_blocks = width_blocks;
    group.height_blocks = height_blocks;
    group.map.assign(static_cast<size_t>(width_blocks) * height_blocks, 0);
    group.pattern_tiles.assign(counts[step], PatternTiles{});
  }
  analysis.tile_set.tiles.resize(tile_count);
  return analysis;
}

}  // namespace

TEST(LevelBanks, EncodeTileKeepsEvenColumnsInGrayRowOrder) {
  TilePens column_zero{};
  for (int r = 0; r < 8; ++r) column_zero[r * 8] = 1;
  EXPECT_EQ(Bytes(EncodeTile(column_zero)), Repeat4({0x80, 0x00, 0x00, 0x80}));

  TilePens row_numbers{};
  for (int r = 0; r < 8; ++r) row_numbers[r * 8] = static_cast<uint8_t>(r);
  EXPECT_EQ(Bytes(EncodeTile(row_numbers)),
            (std::vector<uint8_t>{0x00, 0x00, 0x00, 0x80, 0x88, 0x00, 0x00, 0x08, 0x28, 0x00, 0x00, 0xA8,
                                  0xA0, 0x00, 0x00, 0x20}));

  // Columns 0, 2, 4, 6 hold pens 1, 2, 4, 8; the odd columns are never read.
  TilePens four_pens{};
  for (int r = 0; r < 8; ++r) {
    const uint8_t row[8] = {1, 15, 2, 15, 4, 15, 8, 15};
    std::copy(row, row + 8, four_pens.begin() + r * 8);
  }
  EXPECT_EQ(Bytes(EncodeTile(four_pens)), Repeat4({0x84, 0x21, 0x21, 0x84}));
}

TEST(LevelBanks, WorkedLayoutComesOutExactly) {
  const LevelAnalysis analysis = AnalysisOfSize({10, 12, 11, 10}, 40, 5, 900);
  EXPECT_EQ(ReportLines(PatternOption::kNone, analysis),
            (std::vector<std::string>{"==REPORT==", "Tiles    :900", "Patterns :", "-A       :10",
                                      "-B       :12", "-C       :11", "-D       :10", "Map      :40*5",
                                      "Estimated size :16608/32768"}));
  const LevelLayout layout = ComputeLevelLayout({10, 12, 11, 10}, 40, 5);
  EXPECT_EQ(
      LayoutLines(layout),
      (std::vector<std::string>{"==OUT DATAS==", "Pattern A:0x4020", "Pattern B:0x4160", "Pattern C:0x42E0",
                                "Pattern D:0x4440", "MapA     :0x4580", "MapB     :0x4648",
                                "MapC     :0x4710", "MapD     :0x47D8", "Tiles    :0x48A0"}));
  EXPECT_EQ(layout.last_first_bank_tile, 885);
  EXPECT_EQ(LastByteLine(layout, 900), "Last Byte:0x40F0");
  EXPECT_EQ(LastByteLine(layout, 886), "Last Byte:0x4000");
  EXPECT_EQ(TileReference(layout, 0), 0x0000);
  EXPECT_EQ(TileReference(layout, 1), 0x48B4);
  EXPECT_EQ(TileReference(layout, 885), 0x7FF4);
  EXPECT_EQ(TileReference(layout, 886), 0x4015);
  EXPECT_EQ(LevelFitRefusal(analysis, layout), std::nullopt);
}

TEST(LevelBanks, TileStartIsRaisedToSixteen) {
  EXPECT_EQ(ComputeLevelLayout({1, 0, 0, 0}, 49, 1).tile_start, 0x4110);  // maps end at 0x4104
  EXPECT_EQ(ComputeLevelLayout({5, 0, 0, 0}, 4, 5).tile_start, 0x4110);   // maps end at 0x4110
}

TEST(LevelBanks, LevelsThatDoNotFitAreRefused) {
  // Maps ending exactly at 0x8000: no tile in the first bank, tile 0 first in
  // the second, and the second bank holds 1023 tiles.
  const LevelLayout full = ComputeLevelLayout({3, 3, 3, 2}, 800, 5);
  EXPECT_EQ(full.tile_start, 0x8000);
  EXPECT_EQ(full.last_first_bank_tile, -1);
  EXPECT_EQ(TileReference(full, 1), 0x4025);
  EXPECT_EQ(LevelFitRefusal(AnalysisOfSize({3, 3, 3, 2}, 800, 5, 1023), full), std::nullopt);
  EXPECT_EQ(LevelFitRefusal(AnalysisOfSize({3, 3, 3, 2}, 800, 5, 1024), full),
            "WriteLevelBanks : 1024 tiles for the second bank, it holds 1023");
  const LevelLayout past = ComputeLevelLayout({3, 3, 3, 3}, 800, 5);
  EXPECT_EQ(LevelFitRefusal(AnalysisOfSize({3, 3, 3, 3}, 800, 5, 1), past),
            "WriteLevelBanks : Tiles would start at 0x8020, past the first bank");
  EXPECT_EQ(LevelFitRefusal(AnalysisOfSize({1, 1, 1, 1}, 3, 6, 1), ComputeLevelLayout({1, 1, 1, 1}, 3, 6)),
            "WriteLevelBanks : Level is 6 patterns tall, must be 5");
  // Without blocks the height does not matter.
  EXPECT_EQ(LevelFitRefusal(AnalysisOfSize({0, 0, 0, 0}, 0, 3, 1), ComputeLevelLayout({0, 0, 0, 0}, 0, 3)),
            std::nullopt);
}

TEST(LevelBanks, TilesOfALevelWithoutFirstBankRoomGoToTheSecondBank) {
  LevelAnalysis analysis = AnalysisOfSize({3, 3, 3, 2}, 800, 5, 3);
  analysis.tile_set.tiles[2][0] = 1;
  analysis.groups[0].pattern_tiles[0][0] = 2;
  const LevelLayout layout = ComputeLevelLayout({3, 3, 3, 2}, 800, 5);
  const LevelBanks banks = BuildLevelBanks(analysis, layout);
  ASSERT_EQ(banks.first.size(), 16384U);
  ASSERT_EQ(banks.second.size(), 16384U);
  EXPECT_EQ(banks.first[0x20], 0x35);  // tile 2 at 0x4030 of the second bank, tag 5
  EXPECT_EQ(banks.first[0x21], 0x40);
  EXPECT_EQ(banks.second[0x30], 0x80);
  EXPECT_EQ(std::count(banks.second.begin(), banks.second.end(), 0), 16384 - 2);
  EXPECT_EQ(LastByteLine(layout, 3), "Last Byte:0x4040");
}
