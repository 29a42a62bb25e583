#include "toolkit/image_ops/sprite_sheet.h"

#include <gtest/gtest.h>

#include <vector>

TEST(SpriteSheet, CellNamesInHexadecimalWithoutPadding) {
  EXPECT_EQ(SplitSpriteFileName("hero", 0, 0), "split_hero0-0.bmp");
  EXPECT_EQ(SplitSpriteFileName("hero", 9, 1), "split_hero9-1.bmp");
  EXPECT_EQ(SplitSpriteFileName("hero", 10, 15), "split_heroA-F.bmp");
  EXPECT_EQ(SplitSpriteFileName("hero", 16, 255), "split_hero10-FF.bmp");
  EXPECT_EQ(SplitSpriteFileName("art/hero", 1, 0), "split_art/hero1-0.bmp");
}

TEST(SpriteSheet, CutsTheCellAtItsColumnAndRow) {
  // A 48 x 32 sheet whose pen is x + 48 * y (mod 256): every byte says where it came from.
  std::vector<uint8_t> sheet(48 * 32);
  for (size_t i = 0; i < sheet.size(); ++i) sheet[i] = static_cast<uint8_t>(i);
  const PixelView pixels{sheet.data(), 48, 48, 32};
  const CellPens cell = CutSpriteCell(pixels, 2, 1);
  for (int y = 0; y < kCellSide; ++y) {
    for (int x = 0; x < kCellSide; ++x) {
      ASSERT_EQ(cell[static_cast<size_t>(y * kCellSide + x)], static_cast<uint8_t>((32 + x) + 48 * (16 + y)))
          << x << "," << y;
    }
  }
}
