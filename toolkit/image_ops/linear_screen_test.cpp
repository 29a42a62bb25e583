#include "toolkit/image_ops/linear_screen.h"

#include <gtest/gtest.h>

namespace {

Picture ViewOf(const std::vector<uint8_t>& pens, int width, int height) {
  return PictureFromPens(width, height, pens.data());
}

}  // namespace

TEST(LinearScreen, PacksEachModeRowByRow) {
  const std::vector<uint8_t> pens = {1, 0, 0, 1, 15, 15, 16, 0,   // row 0
                                     5, 0, 3, 0, 0, 0, 0, 2};     // row 1
  EXPECT_EQ(EncodeLinearScreen(ViewOf(pens, 8, 2), ScreenMode::kMode0),
            (std::vector<uint8_t>{128, 64, 255, 0, 160, 0x88, 0, 4}));
  EXPECT_EQ(EncodeLinearScreen(ViewOf(pens, 8, 2), ScreenMode::kMode1),
            (std::vector<uint8_t>{0x90, 0xCC, 0xA2, 0x01}));
  EXPECT_EQ(EncodeLinearScreen(ViewOf(pens, 8, 2), ScreenMode::kMode2), (std::vector<uint8_t>{0x9E, 0xA1}));
}

TEST(LinearScreen, Mode1ShortLastByteAndEmptyPictures) {
  const std::vector<uint8_t> pens = {3, 3, 3, 3, 3};
  EXPECT_EQ(EncodeLinearScreen(ViewOf(pens, 5, 1), ScreenMode::kMode1), (std::vector<uint8_t>{0xFF, 0x88}));
  EXPECT_TRUE(EncodeLinearScreen(ViewOf(pens, 0, 0), ScreenMode::kMode0).empty());
}
