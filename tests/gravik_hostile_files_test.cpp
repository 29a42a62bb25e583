// Files found by fuzzing that made the image library crash or ask for
// gigabytes: each gets one line, no output and a normal end.
#include <gtest/gtest.h>

#include "tests/test_support.h"

TEST(GravikHostileFiles, RefusedInOneLineWithoutCrashing) {
  const TempDir dir;
  // A Targa whose identification field runs past the end of the file.
  ASSERT_TRUE(WriteFileBytes(dir.File("evil.tga"), {0x21, 0x00, 0x0a, 0x00, 0x02, 0x01, 0x00, 0x00, 0x18, 0x00,
                                                    0x00, 0x00, 0x06, 0x00, 0x04, 0x00, 0x18, 0x00, 0xff}));
  RunResult run = RunProgram(GRAVIK_BIN, {"bmp", "evil.tga", "out.bmp"}, dir.path());
  EXPECT_EQ(run.exit_code, 0);
  EXPECT_EQ(AfterStartup(run), std::vector<std::string>{"ChangeImageFormat : Can not load image evil.tga"});
  // A BMP header declaring a picture 0x40000002 rows tall.
  std::vector<uint8_t> tall(80, 0);
  const uint8_t header[] = {'B', 'M', 80, 0, 0, 0, 0, 0, 0, 0, 54, 0, 0, 0, 40, 0, 0, 0,
                            5,   0,   0,  0, 2, 0, 0, 0x40, 1, 0, 24, 0};
  std::copy(std::begin(header), std::end(header), tall.begin());
  ASSERT_TRUE(WriteFileBytes(dir.File("tall.bmp"), tall));
  run = RunProgram(GRAVIK_BIN, {"mode1", "tall"}, dir.path());
  EXPECT_EQ(run.exit_code, 0);
  EXPECT_EQ(AfterStartup(run), std::vector<std::string>{"Can not load tall.bmp : picture too large"});
  // A PNG whose text chunk is cut short: FreeImage spent seconds allocating its claimed length.
  const std::vector<uint8_t> cut_png = {
      0x89, 0x50, 0x4e, 0x47, 0x0d, 0x0a, 0x1a, 0x0a, 0x00, 0x00, 0x00, 0x0d, 0x49, 0x48, 0x44, 0x52, 0x00, 0x00,
      0x00, 0x06, 0x00, 0x00, 0x00, 0x04, 0x08, 0x03, 0x00, 0x00, 0x00, 0x9a, 0xda, 0xbe, 0x71, 0x00, 0x00, 0x00,
      0x04, 0x67, 0x41, 0x4d, 0x41, 0x00, 0x00, 0xb1, 0x8f, 0x0b, 0xfc, 0x61, 0x05, 0x00, 0x00, 0x00, 0x20, 0x63,
      0x48, 0x52, 0x4d, 0x00, 0x00, 0x7a, 0x26, 0x00, 0x00, 0x80, 0x84, 0x00, 0x00, 0xfa, 0x00, 0x00, 0x00, 0x80,
      0xe8, 0x00, 0x66, 0x60, 0x06, 0x03, 0x06, 0x46, 0x30, 0x00, 0xf3, 0x18, 0x00, 0x02, 0xeb, 0x00, 0x33, 0x6f,
      0xc0, 0x32, 0x06, 0x67, 0x00, 0x00, 0x25, 0x74, 0x45, 0x58, 0x74};
  ASSERT_TRUE(WriteFileBytes(dir.File("cut.png"), cut_png));
  run = RunProgram(GRAVIK_BIN, {"bmp", "cut.png", "out.bmp"}, dir.path());
  EXPECT_EQ(AfterStartup(run), std::vector<std::string>{"ChangeImageFormat : Can not load image cut.png"});
  EXPECT_EQ(CountEntries(dir.path()), 3);
}
