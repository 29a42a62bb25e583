#include "toolkit/tiles/tileset_finalize.h"

#include <gtest/gtest.h>

#include <vector>

TEST(TilesetFinalize, EncodesTopRowFirstInModeZeroPairs) {
  Tileset tileset;
  tileset.tile_count = 3;
  // Slot 1: top row (record line 7) pens 1, 2, 3, 4, the rest pen 0.
  uint8_t* top_row = tileset.Tile(1) + 7 * 4;
  top_row[0] = 1;
  top_row[1] = 2;
  top_row[2] = 3;
  top_row[3] = 4;
  // Slot 2: bottom row (record line 0) pens 15, 0, 0, 15.
  tileset.Tile(2)[0] = 15;
  tileset.Tile(2)[3] = 15;

  const std::vector<uint8_t> bytes = EncodeCpcTiles(tileset);

  ASSERT_EQ(bytes.size(), 4096u);
  std::vector<uint8_t> expected(4096, 0);
  expected[16] = 132;
  expected[17] = 152;
  expected[32 + 14] = 0xAA;  // pen 15 on the left
  expected[32 + 15] = 0x55;  // pen 15 on the right
  EXPECT_EQ(bytes, expected);
}

TEST(TilesetFinalize, PreviewDrawsTilesUprightAndDoubleWide) {
  Tileset tileset;
  tileset.tile_count = 2;
  for (int k = 0; k < 32; ++k) tileset.Tile(1)[k] = static_cast<uint8_t>(k % 16);
  tileset.Tile(255)[7 * 4] = 12;  // top left pixel of the last slot

  const std::vector<uint8_t> pens = PreviewPens(tileset);

  ASSERT_EQ(pens.size(), 8u * 2048u);
  std::vector<uint8_t> expected(8 * 2048, 0);
  for (int line = 0; line < 8; ++line) {
    const int row = 8 + 7 - line;
    for (int column = 0; column < 4; ++column) {
      const auto pen = static_cast<uint8_t>((line * 4 + column) % 16);
      expected[row * 8 + 2 * column] = pen;
      expected[row * 8 + 2 * column + 1] = pen;
    }
  }
  expected[8 * 255 * 8] = 12;
  expected[8 * 255 * 8 + 1] = 12;
  EXPECT_EQ(pens, expected);
}
