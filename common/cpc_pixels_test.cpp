#include "common/cpc_pixels.h"

#include <gtest/gtest.h>

TEST(CpcPixels, Mode0Bytes) {
  EXPECT_EQ(EncodeMode0Byte(1, 0), 128);
  EXPECT_EQ(EncodeMode0Byte(0, 1), 64);
  EXPECT_EQ(EncodeMode0Byte(15, 15), 255);
  EXPECT_EQ(EncodeMode0Byte(16, 0), 0);
  EXPECT_EQ(EncodeMode0Byte(5, 0), 160);
  // Bit weights of the left pen: bit 0 = 128, bit 1 = 8, bit 2 = 32, bit 3 = 2.
  EXPECT_EQ(EncodeMode0Byte(2, 0), 8);
  EXPECT_EQ(EncodeMode0Byte(4, 0), 32);
  EXPECT_EQ(EncodeMode0Byte(8, 0), 2);
  EXPECT_EQ(EncodeMode0Byte(0, 2), 4);
  EXPECT_EQ(EncodeMode0Byte(0, 4), 16);
  EXPECT_EQ(EncodeMode0Byte(0, 8), 1);
  EXPECT_EQ(EncodeMode0Byte(17, 1), EncodeMode0Byte(1, 1));
}

TEST(CpcPixels, Mode0DecodeEncodeRoundTripsEveryByte) {
  for (int byte = 0; byte < 256; ++byte) {
    const Mode0Pens pens = DecodeMode0Byte(static_cast<uint8_t>(byte));
    EXPECT_LT(pens.left, 16);
    EXPECT_LT(pens.right, 16);
    EXPECT_EQ(EncodeMode0Byte(pens.left, pens.right), byte);
  }
  for (int left = 0; left < 16; ++left) {
    for (int right = 0; right < 16; ++right) {
      const Mode0Pens pens = DecodeMode0Byte(EncodeMode0Byte(static_cast<uint8_t>(left), static_cast<uint8_t>(right)));
      EXPECT_EQ(pens.left, left);
      EXPECT_EQ(pens.right, right);
    }
  }
}

TEST(CpcPixels, Mode1Bytes) {
  EXPECT_EQ(EncodeMode1Byte(3, 0, 0, 0), 136);
  EXPECT_EQ(EncodeMode1Byte(0, 0, 0, 3), 17);
  EXPECT_EQ(EncodeMode1Byte(1, 2, 1, 2), 165);
  EXPECT_EQ(EncodeMode1Byte(5, 0, 0, 0), EncodeMode1Byte(1, 0, 0, 0));
  EXPECT_EQ(EncodeMode1Byte(3, 3, 3, 3), 255);
}

TEST(CpcPixels, Mode2Bytes) {
  EXPECT_EQ(EncodeMode2Byte({1, 0, 0, 0, 0, 0, 0, 2}), 129);
  EXPECT_EQ(EncodeMode2Byte({0, 0, 0, 0, 0, 0, 0, 0}), 0);
  EXPECT_EQ(EncodeMode2Byte({0, 255, 0, 16, 0, 0, 0, 0}), 0x50);
}

TEST(CpcPixels, PlusColour) {
  using Bytes = std::array<uint8_t, 2>;
  EXPECT_EQ(EncodePlusColour(255, 0, 0), (Bytes{240, 0}));
  EXPECT_EQ(EncodePlusColour(0, 255, 0), (Bytes{0, 15}));
  EXPECT_EQ(EncodePlusColour(0, 0, 255), (Bytes{15, 0}));
  EXPECT_EQ(EncodePlusColour(16, 16, 16), (Bytes{0, 0}));
  EXPECT_EQ(EncodePlusColour(17, 34, 51), (Bytes{19, 2}));
  EXPECT_EQ(EncodePlusColour(254, 254, 254), (Bytes{0xEE, 14}));
}
