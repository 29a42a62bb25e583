#include "toolkit/image_ops/raw_pixels.h"

#include <gtest/gtest.h>

TEST(RawPixels, KeepsLowNibbleRowsFromTheTop) {
  // Rows 4 bytes apart, as in a padded scan-line buffer; the padding is skipped.
  const uint8_t buffer[] = {18, 15, 16, 99, 1, 2, 255, 99};
  const PixelView pixels{buffer, 4, 3, 2};
  EXPECT_EQ(ExtractPixelBytes(pixels), (std::vector<uint8_t>{2, 15, 0, 1, 2, 15}));
}

TEST(RawPixels, WalksABottomUpView) {
  // FreeImage's order: the bottom row first in memory, the view starts at the top row.
  const uint8_t buffer[] = {7, 8, 33, 34};
  const PixelView pixels{buffer + 2, -2, 2, 2};
  EXPECT_EQ(ExtractPixelBytes(pixels), (std::vector<uint8_t>{1, 2, 7, 8}));
}
