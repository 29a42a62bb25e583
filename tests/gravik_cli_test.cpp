// The gravik program as a user runs it: start-up lines, usage, dispatch.
#include <gtest/gtest.h>

#include "tests/test_support.h"

namespace {

const std::vector<std::string> kUsageLines = {
    "usage : gravik mode param [more_params]",
    "--===SPRITES UTILITIES===--",
    "     - flat binary sprite : gravik basic filename",
    "     - compiled sprite    : gravik asm filename",
    "     - compiled keyframe  : gravik key file1 file2",
    "     - packed sprite      : gravik half filename",
    "     - RLE sprite         : gravik rle filename decoder_address",
    "--===IMAGE UTILITIES==---",
    "     - linear mode 2 conv : gravik mode2 filename",
    "     - linear mode 1 conv : gravik mode1 filename",
    "     - linear mode 0 conv : gravik mode0 filename",
    "     - split sprite       : gravik spt filename",
    "     - extract raw pixels : gravik raw filename",
    "     - extract sprite     : gravik ex0 datas template",
    "     - convert to BMP     : gravik bmp filename_in filename out",
    "--===PALETTE UTILITIES===--",
    "     - extract and convert to CPC+ : gravik pal filename start_color",
    "--===TILESET UTILITIES===--",
    "     - create/complete tileset : gravik add0 image tileset (mode 0)",
    "     - finalize tileset        : gravik final0 tileset     (mode 0)",
    "     - convert to column order : gravik col mapname width height",
    "--===DMA LIST UTILITIES===--",
    "     - create DMA list : gravik dma filename tablename",
    "--===FORMATS==--",
    "in :",
    "image : BMP (8bits 256 colors) , sound : SND (RAW PCM 15625Hz)",
    "code :",
    "WinApe ASM code : ASM",
    "sprites :",
    "4bits Pixels : PX4 , 8bits Pixels : PX8 , RLE pixels : RLE",
    "images :",
    "Mode 0 pixels : PM0 , Mode 1 pixels : PM1",
};

RunResult RunGravik(const TempDir& dir, const std::vector<std::string>& args, const std::string& input = "") {
  return RunProgram(GRAVIK_BIN, args, dir.path(), input);
}

}  // namespace

TEST(GravikCli, NoArgumentsPrintsUsageAndReadsOneLine) {
  const TempDir dir;
  // Two lines of input: the program must read only the first and end.
  const RunResult run = RunGravik(dir, {}, "\nsecond line\n");
  std::vector<std::string> expected = GravikStartupLines();
  expected.insert(expected.end(), kUsageLines.begin(), kUsageLines.end());
  expected.push_back("Press Enter to quit >");
  EXPECT_EQ(run.lines, expected);
  EXPECT_EQ(kUsageLines.size(), 32u);
  EXPECT_EQ(run.exit_code, 0);
  // The same with no input at all (standard input at its end) must not hang.
  EXPECT_EQ(RunGravik(dir, {}).lines, expected);
  EXPECT_EQ(CountEntries(dir.path()), 0);
}

TEST(GravikCli, StartupLinesComeFirstOnEveryPath) {
  const TempDir dir;
  const RunResult run = RunGravik(dir, {"nosuchword"});
  EXPECT_EQ(run.lines, GravikStartupLines());
  EXPECT_NE(run.lines[4].find("FreeImage"), std::string::npos);
}

TEST(GravikCli, UnknownWordsPrintNothingAndWriteNothing) {
  const TempDir dir;
  ASSERT_TRUE(WriteIndexedBmp(dir.File("pic.bmp"), 4, 2, std::vector<uint8_t>(8, 1)));
  for (const std::string word : {"ex0", "EX0", "mode3", "", "mode0x", "-mode0", "mode 0"}) {
    const RunResult run = RunGravik(dir, {word, "pic", "pic"});
    EXPECT_EQ(run.lines, GravikStartupLines()) << word;
    EXPECT_EQ(run.exit_code, 0);
  }
  EXPECT_EQ(CountEntries(dir.path()), 1);
}

TEST(GravikCli, TooFewArgumentsForEveryBoundWord) {
  const TempDir dir;
  // Each word with one argument fewer than it needs.
  const struct {
    const char* word;
    int needed;
  } words[] = {{"bmp", 2},   {"mode2", 1}, {"mode1", 1}, {"mode0", 1}, {"raw", 1}, {"spt", 1},
               {"dma", 2},   {"pal", 2},   {"rle", 2},   {"half", 1},  {"col", 3}, {"final0", 1},
               {"add0", 2},  {"basic", 1}, {"asm", 1},   {"key", 2},   {"ay", 2},  {"ayraw", 2},
               {"ayopt", 2}, {"MODE0", 1}, {"Col", 3},   {"KEY", 2},   {"ink0", 2}, {"ink1", 2},
               {"ink2", 2}};
  for (const auto& w : words) {
    std::vector<std::string> args = {w.word};
    for (int i = 1; i < w.needed; ++i) args.push_back("name");
    EXPECT_EQ(AfterStartup(RunGravik(dir, args)), std::vector<std::string>{"Not enough arguments !"}) << w.word;
  }
  EXPECT_EQ(CountEntries(dir.path()), 0);
}

TEST(GravikCli, CommandWordIsCaseFreeButNamesKeepTheirCase) {
  const TempDir dir;
  ASSERT_TRUE(WriteIndexedBmp(dir.File("PIC.bmp"), 4, 1, {1, 0, 0, 1}));
  const RunResult run = RunGravik(dir, {"MoDe0", "PIC", "surplus", "arguments", "ignored"});
  EXPECT_EQ(AfterStartup(run),
            (std::vector<std::string>{"ConvertToMode0 : Converting...", "source : PIC.bmp", " 4/ 1 @ 8"}));
  EXPECT_EQ(ReadFileBytes(dir.File("PIC.pm0")), (std::vector<uint8_t>{128, 64}));
  EXPECT_FALSE(std::filesystem::exists(dir.File("pic.pm0")));
}

TEST(GravikCli, SuffixesAreAppendedToNamesAsTyped) {
  const TempDir dir;
  std::filesystem::create_directory(dir.path() / "art");
  ASSERT_TRUE(WriteIndexedBmp(dir.File("art/pic.bmp.bmp"), 2, 1, {15, 15}));
  const RunResult run = RunGravik(dir, {"mode0", "art/pic.bmp"});
  EXPECT_EQ(AfterStartup(run)[1], "source : art/pic.bmp.bmp");
  EXPECT_EQ(ReadFileBytes(dir.File("art/pic.bmp.pm0")), std::vector<uint8_t>{255});
}
