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
  EXPECT_EQ(CountEntries(dir.path()), 2);
}
