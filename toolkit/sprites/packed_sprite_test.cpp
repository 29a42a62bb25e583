#include "toolkit/sprites/packed_sprite.h"

#include <gtest/gtest.h>

#include <vector>

#include "toolkit/sprites/flat_sprite.h"

namespace {

TEST(PackedSprite, KeepOnlyTheLowFourBits) {
  SpritePixels pixels;
  for (int p = 0; p < kSpritePixels; ++p) pixels[p] = static_cast<uint8_t>(p % 2 == 0 ? 1 : 2);
  pixels[0] = 255;
  pixels[1] = 0x9C;
  pixels[255] = 0x10;
  const std::vector<uint8_t> flat = EncodeFlatSprite(pixels);
  ASSERT_EQ(flat.size(), 256u);
  EXPECT_EQ(flat[0], 15);
  EXPECT_EQ(flat[1], 12);
  EXPECT_EQ(flat[2], 1);
  EXPECT_EQ(flat[255], 0);
  std::vector<uint8_t> packed(128, 0x12);
  packed[0] = 0xFC;
  packed[127] = 0x10;
  EXPECT_EQ(PackSpritePixels(pixels), packed);
}

}  // namespace
