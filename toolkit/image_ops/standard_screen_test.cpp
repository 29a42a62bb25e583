#include "toolkit/image_ops/standard_screen.h"

#include <gtest/gtest.h>

#include "common/cpc_pixels.h"

namespace {

Picture ViewOf(const std::vector<uint8_t>& pens, int width, int height) {
  return PictureFromPens(width, height, pens.data());
}

}  // namespace

TEST(StandardScreen, LinesGoToTheirCharacterRowAndBlock) {
  // Mode 0, 2 pixels wide, 9 lines: line y holds pens (y + 1, 0); line 8 is the
  // first line of the second character row, 80 bytes into block 0.
  std::vector<uint8_t> pens;
  for (int y = 0; y < 9; ++y) pens.insert(pens.end(), {static_cast<uint8_t>(y + 1), 0});
  const std::vector<uint8_t> screen = EncodeStandardScreen(ViewOf(pens, 2, 9), ScreenMode::kMode0);
  std::vector<uint8_t> expected(0x4000, 0);
  for (int y = 0; y < 8; ++y)
    expected[static_cast<size_t>(y) * 0x800] = EncodeMode0Byte(static_cast<uint8_t>(y + 1), 0);
  expected[80] = EncodeMode0Byte(9, 0);
  EXPECT_EQ(screen, expected);
}

TEST(StandardScreen, LastLineAndRaggedMode1Edge) {
  // Mode 1, 6 pixels wide, 200 lines of pen 3: two bytes a line, the second
  // with pen 0 in its two right-hand places; line 199 lands at &3800 + 24 * 80.
  const std::vector<uint8_t> pens(6 * 200, 3);
  const std::vector<uint8_t> screen = EncodeStandardScreen(ViewOf(pens, 6, 200), ScreenMode::kMode1);
  ASSERT_EQ(screen.size(), 0x4000u);
  EXPECT_EQ(screen[0x3800 + 24 * 80], 0xFF);
  EXPECT_EQ(screen[0x3800 + 24 * 80 + 1], EncodeMode1Byte(3, 3, 0, 0));
  EXPECT_EQ(screen[0x3800 + 24 * 80 + 2], 0);
  size_t ink_bytes = 0;
  for (const uint8_t byte : screen) ink_bytes += byte != 0 ? 1 : 0;
  EXPECT_EQ(ink_bytes, 400u);
}

TEST(StandardScreen, SizeLimitsOfEachMode) {
  EXPECT_FALSE(CheckStandardScreenSize(160, 200, ScreenMode::kMode0));
  EXPECT_FALSE(CheckStandardScreenSize(640, 1, ScreenMode::kMode2));
  EXPECT_EQ(CheckStandardScreenSize(162, 200, ScreenMode::kMode0).value_or(""),
            "The picture is 162 x 200: the screen holds at most 160 x 200");
  EXPECT_EQ(CheckStandardScreenSize(320, 201, ScreenMode::kMode1).value_or(""),
            "The picture is 320 x 201: the screen holds at most 320 x 200");
  EXPECT_TRUE(CheckStandardScreenSize(648, 8, ScreenMode::kMode2));
}
