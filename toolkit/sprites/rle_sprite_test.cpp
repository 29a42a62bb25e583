#include "toolkit/sprites/rle_sprite.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

TEST(RleSprite, OneColourRunsOf15ThenTheFinalRunOf1) {
  SpritePixels pixels;
  pixels.fill(0x37);  // pen 7
  std::vector<uint8_t> expected(17, 0x7F);
  expected.push_back(0x71);
  expected.push_back(0);
  const std::vector<uint8_t> data = EncodeRleSprite(pixels);
  EXPECT_EQ(data, expected);
  EXPECT_EQ(EstimateRleDecodeTime(data), 1812);
}

TEST(RleSprite, LongStretchSplitsAt15AndPen15CountsAsARun) {
  SpritePixels pixels;
  pixels.fill(255);  // pen 15, no transparency here
  for (int p = 0; p < 40; ++p) pixels[p] = 2;
  pixels[255] = 0x14;  // last pixel differs: a run of 1 of pen 4
  const std::vector<uint8_t> data = EncodeRleSprite(pixels);
  // 40 = 15 + 15 + 10, then 215 = 14 * 15 + 5 of pen 15, then the last pixel.
  std::vector<uint8_t> expected = {0x2F, 0x2F, 0x2A};
  for (int k = 0; k < 14; ++k) expected.push_back(0xFF);
  expected.push_back(0xF5);
  expected.push_back(0x41);
  expected.push_back(0);
  EXPECT_EQ(data, expected);
}

TEST(RleSprite, NoEqualNeighboursGivesOneByteAPixel) {
  SpritePixels pixels;
  for (int p = 0; p < kSpritePixels; ++p) pixels[p] = static_cast<uint8_t>(p % 2 == 0 ? 3 : 0x14);
  const std::vector<uint8_t> data = EncodeRleSprite(pixels);
  ASSERT_EQ(data.size(), 257u);
  EXPECT_EQ(data[0], 0x31);
  EXPECT_EQ(data[1], 0x41);
  EXPECT_EQ(data[255], 0x41);
  EXPECT_EQ(data[256], 0);
  EXPECT_EQ(EstimateRleDecodeTime(data), 5382);
}

TEST(RleSprite, HeaderLines) {
  const std::vector<std::string> expected = {
      "update_ship:",  "\tdw 1837 ;total time",
      ";\tsize =  32", "\tex DE,HL",
      "\tpush IX",     "\tpop HL",
      "\tld BC,11",    "\tadd HL,BC",
      "\tjp #8A00",    "\tincbin \"ship.rle\"",
  };
  EXPECT_EQ(RleHeaderLines("ship.rle", "#8A00", 1837, 32), expected);
}

}  // namespace
