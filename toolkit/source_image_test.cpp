#include "toolkit/source_image.h"

#include <gtest/gtest.h>

#include "tests/test_support.h"

TEST(SourceImage, SpriteSourcesMustBe16By16) {
  const TempDir dir;
  ASSERT_TRUE(WriteIndexedBmp(dir.File("tall.bmp"), 16, 32, std::vector<uint8_t>(16 * 32, 1)));
  ASSERT_TRUE(WriteIndexedBmp(dir.File("wide.bmp"), 32, 16, std::vector<uint8_t>(32 * 16, 1)));
  ASSERT_TRUE(WriteIndexedBmp(dir.File("ok.bmp"), 16, 16, RandomPens(16, 16, 7)));
  ASSERT_TRUE(WriteBmpOfDepth(dir.File("rgb.bmp"), 16, 16, 24));
  const ConsoleCapture console;
  EXPECT_FALSE(LoadSpriteSource(dir.File("tall.bmp")));
  EXPECT_FALSE(LoadSpriteSource(dir.File("wide.bmp")));
  EXPECT_FALSE(LoadSpriteSource(dir.File("rgb.bmp")));
  const std::optional<Picture> sprite = LoadSpriteSource(dir.File("ok.bmp"));
  ASSERT_TRUE(sprite);
  EXPECT_EQ(sprite->At(3, 2), RandomPens(16, 16, 7)[2 * 16 + 3]);
  const std::vector<std::string> expected = {
      "source : " + dir.File("tall.bmp"), " 16/ 32 @ 8", "Source for sprites must be 16*16",
      "source : " + dir.File("wide.bmp"), " 32/ 16 @ 8", "Source for sprites must be 16*16",
      "source : " + dir.File("rgb.bmp"),  " 16/ 16 @ 24", "Source must be 8 bits",
      "source : " + dir.File("ok.bmp"),   " 16/ 16 @ 8"};
  EXPECT_EQ(console.lines(), expected);
}

TEST(SourceImage, PaddedScanLinesReadTopDown) {
  const TempDir dir;
  // 6 pixels wide: FreeImage pads each scan line to 8 bytes.
  const std::vector<uint8_t> pens = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16, 17, 18};
  ASSERT_TRUE(WriteIndexedBmp(dir.File("p.bmp"), 6, 3, pens));
  const ConsoleCapture console;
  const std::optional<Picture> source = LoadSourceImage(dir.File("p.bmp"), 2);
  ASSERT_TRUE(source);
  EXPECT_EQ(source->width, 6);
  EXPECT_EQ(source->height, 3);
  EXPECT_EQ(source->At(0, 0), 1);
  EXPECT_EQ(source->At(0, 1), 7);
  EXPECT_EQ(source->At(5, 2), 18);
  EXPECT_FALSE(LoadSourceImage(dir.File("p.bmp"), 4));
  EXPECT_EQ(console.lines().back(), "Source width is not valid, must be a multiple of  4");
}
