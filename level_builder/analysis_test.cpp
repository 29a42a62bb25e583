#include "level_builder/analysis.h"

#include <gtest/gtest.h>

#include <random>

namespace {

Picture ImageOf(int width, int height, const std::vector<uint8_t>& pens) {
  return PictureFromPens(width, height, pens.data());
}

PatternPens UpsideDown(const PatternPens& block) {
  PatternPens flipped{};
  for (int r = 0; r < kPatternSide; ++r) {
    std::copy_n(block.begin() + r * kPatternSide, kPatternSide,
                flipped.begin() + (kPatternSide - 1 - r) * kPatternSide);
  }
  return flipped;
}

// One of ten blocks, upside down at random; two of the ten are their own
// mirror image, so both tests of the search succeed for them.
PatternPens PoolBlock(std::mt19937& generator) {
  std::uniform_int_distribution<int> pick(0, 9);
  const int base = pick(generator);
  PatternPens block{};
  for (int p = 0; p < kPatternPenCount; ++p) {
    const int row = p / kPatternSide;
    const int mirrored_row = base < 2 ? std::min(row, kPatternSide - 1 - row) : row;
    block[p] = static_cast<uint8_t>((mirrored_row * 37 + (p % kPatternSide) * (base + 1)) % 256);
  }
  return pick(generator) % 2 == 0 ? block : UpsideDown(block);
}

}  // namespace

TEST(LevelAnalysis, ShiftImageLeftMovesTwoPixelsAndFillsPenZero) {
  Picture image = ImageOf(5, 2, {1, 2, 3, 4, 5, 6, 7, 8, 9, 10});
  ShiftImageLeft(image);
  EXPECT_EQ(std::vector<uint8_t>(image.top_row, image.top_row + 10),
            (std::vector<uint8_t>{3, 4, 5, 0, 0, 8, 9, 10, 0, 0}));
  Picture narrow = ImageOf(1, 2, {7, 8});
  ShiftImageLeft(narrow);
  EXPECT_EQ(std::vector<uint8_t>(narrow.top_row, narrow.top_row + 2), (std::vector<uint8_t>{0, 0}));
}

TEST(LevelAnalysis, PatternMatchesPreferLowIndexThenDirect) {
  PatternList list;
  std::vector<PatternPens> blocks(4);
  for (int i = 0; i < 4; ++i) {
    for (int p = 0; p < kPatternPenCount; ++p) blocks[i][p] = static_cast<uint8_t>((p * (i + 3)) % 251);
    EXPECT_EQ(FindOrAddPattern(list, blocks[i]), i);
  }
  EXPECT_EQ(FindOrAddPattern(list, UpsideDown(blocks[3])), 0x83);
  EXPECT_EQ(FindOrAddPattern(list, blocks[2]), 2);
  PatternPens mirror{};
  for (int p = 0; p < kPatternPenCount; ++p) mirror[p] = static_cast<uint8_t>(std::min(p / 32, 31 - p / 32));
  EXPECT_EQ(FindOrAddPattern(list, mirror), 4);
  EXPECT_EQ(FindOrAddPattern(list, UpsideDown(mirror)), 4);
  EXPECT_EQ(list.patterns.size(), 5U);
}

TEST(LevelAnalysis, IndexedPatternSearchAgreesWithTheSearchInIndexOrder) {
  std::mt19937 generator(2024);
  PatternList list;
  std::vector<PatternPens> in_order;
  for (int n = 0; n < 200; ++n) {
    const PatternPens block = PoolBlock(generator);
    int expected = -1;
    for (size_t i = 0; i < in_order.size() && expected < 0; ++i) {
      if (in_order[i] == block)
        expected = static_cast<int>(i);
      else if (in_order[i] == UpsideDown(block))
        expected = static_cast<int>(i) + kFlipFlag;
    }
    if (expected < 0) {
      expected = static_cast<int>(in_order.size());
      in_order.push_back(block);
    }
    ASSERT_EQ(FindOrAddPattern(list, block), expected) << n;
  }
  EXPECT_EQ(in_order.size(), 10U);
}

TEST(LevelAnalysis, TilesAreLimitedToSixteenPensAndNumberedByFirstAppearance) {
  TileSet set = NewTileSet();
  ASSERT_EQ(set.tiles.size(), 1U);
  TilePens high{};
  high.fill(200);
  EXPECT_EQ(FindOrAddTile(set, high), 0);
  TilePens one{};
  one[9] = 1;
  TilePens two{};
  two[9] = 2;
  EXPECT_EQ(FindOrAddTile(set, two), 1);
  EXPECT_EQ(FindOrAddTile(set, one), 2);
  two[10] = 16;
  EXPECT_EQ(FindOrAddTile(set, two), 1);
  EXPECT_EQ(set.tiles.size(), 3U);
  EXPECT_EQ(set.tiles[1][10], 0);
}

TEST(LevelAnalysis, PatternGroupNumbersBlocksInReadingOrder) {
  // 2 x 2 blocks, 70 x 64 pixels (the 6 columns on the right are ignored):
  // P Q / Q-upside-down P.
  Picture image = ImageOf(70, 64, std::vector<uint8_t>(70 * 64, 9));
  for (int y = 0; y < 32; ++y) {
    for (int x = 0; x < 32; ++x) {
      const auto q = static_cast<uint8_t>(x + 40 * y % 200);
      image.top_row[y * 70 + x] = image.top_row[(32 + y) * 70 + 32 + x] = static_cast<uint8_t>(x ^ y);
      image.top_row[y * 70 + 32 + x] = q;
      image.top_row[(63 - y) * 70 + x] = q;
    }
  }
  const std::optional<PatternGroup> group = BuildPatternGroup(image, 2, 2);
  ASSERT_TRUE(group);
  EXPECT_EQ(group->patterns.size(), 2U);
  EXPECT_EQ(group->map, (std::vector<uint8_t>{0x00, 0x81, 0x01, 0x00}));  // column by column
}

TEST(LevelAnalysis, PatternGroupRefusesMoreThan128Patterns) {
  Picture image = ImageOf(129 * 32, 32, std::vector<uint8_t>(129 * 32 * 32, 0));
  for (int b = 0; b < 129; ++b) image.top_row[b * 32] = static_cast<uint8_t>(b + 1);
  EXPECT_FALSE(BuildPatternGroup(image, 129, 1));
  const std::optional<PatternGroup> group = BuildPatternGroup(image, 128, 1);
  ASSERT_TRUE(group);
  EXPECT_EQ(group->map.back(), 127);
}

TEST(LevelAnalysis, ExtractTilesFillsTheTableRowByRowAndDropsThePens) {
  PatternGroup group;
  PatternPens pattern{};
  pattern[8 * 32 + 24] = 5;  // tile row 1, column 3
  pattern[24 * 32 + 0] = 5;  // tile row 3, column 0: the same tile
  pattern[0 * 32 + 8] = 21;  // tile row 0, column 1: pen 21 counts as 0
  group.patterns = {pattern, PatternPens{}};
  TileSet set = NewTileSet();
  ExtractTiles(group, set);
  PatternTiles expected{};
  expected[7] = 1;
  expected[12] = 1;
  ASSERT_EQ(group.pattern_tiles.size(), 2U);
  EXPECT_EQ(group.pattern_tiles[0], expected);
  EXPECT_EQ(group.pattern_tiles[1], PatternTiles{});
  EXPECT_EQ(set.tiles.size(), 2U);
  EXPECT_TRUE(group.patterns.empty());
}
