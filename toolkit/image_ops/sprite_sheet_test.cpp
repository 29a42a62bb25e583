#include "toolkit/image_ops/sprite_sheet.h"

#include <gtest/gtest.h>

TEST(SpriteSheet, CellNamesInHexadecimalWithoutPadding) {
  EXPECT_EQ(SplitSpriteFileName("hero", 0, 0), "split_hero0-0.bmp");
  EXPECT_EQ(SplitSpriteFileName("hero", 9, 1), "split_hero9-1.bmp");
  EXPECT_EQ(SplitSpriteFileName("hero", 10, 15), "split_heroA-F.bmp");
  EXPECT_EQ(SplitSpriteFileName("hero", 16, 255), "split_hero10-FF.bmp");
  EXPECT_EQ(SplitSpriteFileName("art/hero", 1, 0), "split_art/hero1-0.bmp");
}
