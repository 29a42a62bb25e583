// scr0 / scr1 / scr2 through the real program, checked with a decoder of the
// CPC screen layout written here from the hardware's description.
#include <gtest/gtest.h>

#include "tests/test_support.h"

namespace {

constexpr int kPixelsPerByte[] = {2, 4, 8};
constexpr int kScreenWidth[] = {160, 320, 640};
constexpr const char* kWord[] = {"scr0", "scr1", "scr2"};
constexpr const char* kPrefix[] = {"ConvertToScreen0 : ", "ConvertToScreen1 : ", "ConvertToScreen2 : "};

RunResult RunGravik(const TempDir& dir, const std::vector<std::string>& args) {
  return RunProgram(GRAVIK_BIN, args, dir.path());
}

// The pen the Gate Array shows at (x, y) of a screen at &C000 in mode. Mode 0:
// pixel 0 of a byte takes its pen bits 0-3 from byte bits 7, 3, 5, 1; pixel 1
// from 6, 2, 4, 0. Mode 1: pixel k takes bit 0 from 7 - k, bit 1 from 3 - k.
// Mode 2: pixel k is bit 7 - k.
int ScreenPen(const std::vector<uint8_t>& screen, int mode, int x, int y) {
  const uint8_t byte = screen[static_cast<size_t>((y % 8) * 0x800 + (y / 8) * 80 + x / kPixelsPerByte[mode])];
  const int k = x % kPixelsPerByte[mode];
  const auto bit = [&](int n) { return (byte >> n) & 1; };
  switch (mode) {
    case 0:
      return bit(7 - k) | bit(3 - k) << 1 | bit(5 - k) << 2 | bit(1 - k) << 3;
    case 1:
      return bit(7 - k) | bit(3 - k) << 1;
    default:
      return bit(7 - k);
  }
}

int ShownPen(int mode, uint8_t pen) {
  if (mode == 2) return pen != 0 ? 1 : 0;
  return pen & (mode == 0 ? 15 : 3);
}

// Every pixel of the 200 screen lines against the picture, pen 0 outside it.
void ExpectScreenShows(const std::vector<uint8_t>& screen, int mode, int width, int height,
                       const std::vector<uint8_t>& pens) {
  ASSERT_EQ(screen.size(), 16384u);
  int wrong = 0;
  for (int y = 0; y < 200; ++y) {
    for (int x = 0; x < kScreenWidth[mode]; ++x) {
      const int expected =
          x < width && y < height ? ShownPen(mode, pens[static_cast<size_t>(y * width + x)]) : 0;
      wrong += ScreenPen(screen, mode, x, y) != expected ? 1 : 0;
    }
  }
  EXPECT_EQ(wrong, 0) << "mode " << mode;
  for (int block = 0; block < 8; ++block) {
    for (int i = 2000; i < 2048; ++i) EXPECT_EQ(screen[static_cast<size_t>(block * 0x800 + i)], 0) << block;
  }
}

}  // namespace

TEST(GravikStandardScreen, FullRandomPicturesInEachMode) {
  const TempDir dir;
  for (int mode = 0; mode < 3; ++mode) {
    const std::vector<uint8_t> pens = RandomPens(kScreenWidth[mode], 200, 40 + static_cast<uint32_t>(mode));
    ASSERT_TRUE(WriteIndexedBmp(dir.File("full.bmp"), kScreenWidth[mode], 200, pens));
    const RunResult run = RunGravik(dir, {kWord[mode], "full"});
    EXPECT_EQ(AfterStartup(run),
              (std::vector<std::string>{std::string(kPrefix[mode]) + "Converting...", "source : full.bmp",
                                        " " + std::to_string(kScreenWidth[mode]) + "/ 200 @ 8"}));
    ExpectScreenShows(ReadFileBytes(dir.File("full.scr")), mode, kScreenWidth[mode], 200, pens);
  }
}

TEST(GravikStandardScreen, SmallerPictureSitsAtTheTopLeft) {
  const TempDir dir;
  const int widths[] = {98, 162, 72};  // mode 1 takes a ragged width
  const int heights[] = {57, 9, 200};
  for (int mode = 0; mode < 3; ++mode) {
    const std::vector<uint8_t> pens =
        RandomPens(widths[mode], heights[mode], 50 + static_cast<uint32_t>(mode));
    ASSERT_TRUE(WriteIndexedBmp(dir.File("small.bmp"), widths[mode], heights[mode], pens));
    RunGravik(dir, {kWord[mode], "small"});
    ExpectScreenShows(ReadFileBytes(dir.File("small.scr")), mode, widths[mode], heights[mode], pens);
  }
}

TEST(GravikStandardScreen, LargerPicturesAreRefusedWithNoOutput) {
  const TempDir dir;
  const struct { int mode, width, height; } cases[] = {{0, 162, 200}, {1, 320, 201}, {2, 648, 8}};
  for (const auto& c : cases) {
    ASSERT_TRUE(WriteIndexedBmp(dir.File("big.bmp"), c.width, c.height, RandomPens(c.width, c.height, 3)));
    const std::string size = std::to_string(c.width) + " x " + std::to_string(c.height);
    const std::string screen = std::to_string(kScreenWidth[c.mode]) + " x 200";
    EXPECT_EQ(
        AfterStartup(RunGravik(dir, {kWord[c.mode], "big"})),
        (std::vector<std::string>{std::string(kPrefix[c.mode]) + "Converting...", "source : big.bmp",
                                  " " + std::to_string(c.width) + "/ " + std::to_string(c.height) + " @ 8",
                                  std::string(kPrefix[c.mode]) + "The picture is " + size +
                                      ": the screen holds at most " + screen}));
    EXPECT_EQ(CountEntries(dir.path()), 1);
  }
}
