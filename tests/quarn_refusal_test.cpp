#include <gtest/gtest.h>

#include <filesystem>

#include "tests/quarn_support.h"

namespace {

// Runs quarn on the level in dir and checks that the run ends with refusal,
// logs the same lines, and adds no file but the run log.
void ExpectRefusal(const TempDir& dir, const std::vector<std::string>& args, const std::string& refusal,
                   const std::vector<std::string>& lines_before = {}, int new_folders = 0) {
  const int entries_before = CountEntries(dir.path());
  const bool has_run_log = std::filesystem::exists(dir.path() / "out.txt");
  const RunResult run = RunQuarn(args, dir.path());
  std::vector<std::string> expected = lines_before;
  expected.push_back(refusal);
  EXPECT_EQ(run.lines, expected);
  EXPECT_EQ(ReadTextLines(dir.File("out.txt")), expected);
  EXPECT_FALSE(std::filesystem::exists(dir.path() / (args[0] + ".C4")));
  EXPECT_FALSE(std::filesystem::exists(dir.path() / (args[0] + ".C5")));
  EXPECT_EQ(CountEntries(dir.path()), entries_before + (has_run_log ? 0 : 1) + new_folders);
}

std::vector<std::string> Report(int tiles, const std::vector<int>& patterns, const std::string& map,
                                int estimate) {
  std::vector<std::string> lines = {"==REPORT==", "Tiles    :" + std::to_string(tiles), "Patterns :"};
  for (int step = 0; step < 4; ++step) {
    // Built piece by piece: GCC 12 -O2 sees a false overlap (-Wrestrict) in a chain of + here.
    std::string line = "-";
    line += static_cast<char>('A' + step);
    line += "       :";
    line += std::to_string(patterns[step]);
    lines.push_back(line);
  }
  lines.push_back("Map      :" + map);
  lines.push_back("Estimated size :" + std::to_string(estimate) + "/32768");
  return lines;
}

}  // namespace

TEST(QuarnRefusal, LevelNotFivePatternsTall) {
  TempDir dir;
  ASSERT_TRUE(WritePicture(dir.File("castle.BMP"), BlankPicture(64, 4 * 32 + 31)));
  ExpectRefusal(dir, {"castle"}, "WriteLevelBanks : Level is 4 patterns tall, must be 5",
                Report(1, {1, 1, 1, 1}, "2*4", 16 + 128 + 32 + 32));
}

TEST(QuarnRefusal, GroupOfMoreThan128Patterns) {
  TempDir dir;
  LevelPicture level = BlankPicture(26 * 32, 160);
  level.pens = RandomPens(level.width, level.height, 9, 16);
  ASSERT_TRUE(WritePicture(dir.File("castle.BMP"), level));
  ExpectRefusal(dir, {"castle"}, "BuildPatternGroup : Group A has more than 128 patterns");
}

TEST(QuarnRefusal, MapsReachingPastTheFirstBank) {
  TempDir dir;
  // 820 blocks a row: the four maps alone take 16400 bytes.
  ASSERT_TRUE(WritePicture(dir.File("castle.BMP"), BlankPicture(820 * 32, 160)));
  ExpectRefusal(dir, {"castle"}, "WriteLevelBanks : Tiles would start at 0x80B0, past the first bank",
                Report(1, {1, 1, 1, 1}, "820*5", 16 + 128 + 4 * 4100 + 32));
}

TEST(QuarnRefusal, MoreTilesThanTheSecondBankHolds) {
  TempDir dir;
  LevelPicture level = BlankPicture(20 * 32, 160);
  level.pens = RandomPens(level.width, level.height, 10, 16);
  ASSERT_TRUE(WritePicture(dir.File("castle.BMP"), level));
  const RunResult run = RunQuarn({"castle"}, dir.path());
  ASSERT_EQ(run.lines.size(), 10U);
  EXPECT_EQ(run.lines[9].rfind("WriteLevelBanks : ", 0), 0U);
  EXPECT_NE(run.lines[9].find(" tiles for the second bank, it holds 1023"), std::string::npos);
  EXPECT_FALSE(std::filesystem::exists(dir.path() / "castle.C4"));
  EXPECT_FALSE(std::filesystem::exists(dir.path() / "castle.C5"));
}

TEST(QuarnRefusal, StepImagesThatCannotGiveTheBlocks) {
  {
    TempDir dir;
    ASSERT_TRUE(WritePicture(dir.File("castle.BMP"), BlankPicture(64, 160)));
    ASSERT_TRUE(WritePicture(dir.File("castle_stepB.BMP"), BlankPicture(63, 200)));
    ExpectRefusal(dir, {"castle"}, "LoadStepImage : Step B image is smaller than step A",
                  {"Step B found for castle_stepB.BMP !"});
  }
  {
    TempDir dir;
    ASSERT_TRUE(WritePicture(dir.File("castle_stepA.BMP"), BlankPicture(64, 160)));
    ExpectRefusal(dir, {"castle"}, "LoadStepImage : Can not load castle_stepB.BMP nor castle.BMP",
                  {"Step A found for castle_stepA.BMP !"});
  }
}

TEST(QuarnRefusal, ImagesThatAreNotEightBits) {
  {
    TempDir dir;
    ASSERT_TRUE(WriteBmpOfDepth(dir.File("castle.BMP"), 64, 160, 24));
    ExpectRefusal(dir, {"castle"}, "LoadStepImage : castle.BMP must be 8 bits");
  }
  {
    TempDir dir;
    ASSERT_TRUE(WritePicture(dir.File("castle.BMP"), BlankPicture(64, 160)));
    ASSERT_TRUE(WriteBmpOfDepth(dir.File("castle_stepD.BMP"), 64, 160, 4));
    ExpectRefusal(dir, {"castle"}, "LoadStepImage : castle_stepD.BMP must be 8 bits",
                  {"Step D found for castle_stepD.BMP !"});
  }
}

TEST(QuarnRefusal, PatternFilesThatCannotBeReloaded) {
  TempDir dir;
  LevelPicture level = BlankPicture(64, 160);
  level.pens = RandomPens(64, 32, 12, 16);
  level.pens.resize(64 * 160, 0);
  ASSERT_TRUE(WritePicture(dir.File("castle.BMP"), level));
  // Before any dump the pattern files are missing (the reload makes the folder).
  ExpectRefusal(dir, {"castle", "2"}, "ReloadPatterns : Can not load castle_groupA/pattern_00.bmp", {}, 1);
  ASSERT_EQ(RunQuarn({"castle", "1"}, dir.path()).lines.size(), 21U);
  std::filesystem::remove(dir.File("castle.C4"));
  std::filesystem::remove(dir.File("castle.C5"));
  const std::string pattern = "castle_groupC/pattern_01.bmp";
  ASSERT_TRUE(WritePicture(dir.File(pattern), BlankPicture(32, 33)));
  ExpectRefusal(dir, {"castle", "2"}, "ReloadPatterns : " + pattern + " must be 8 bits and 32*32");
  ASSERT_TRUE(WriteBmpOfDepth(dir.File(pattern), 32, 32, 24));
  ExpectRefusal(dir, {"castle", "2"}, "ReloadPatterns : " + pattern + " must be 8 bits and 32*32");
  ASSERT_TRUE(WriteFileBytes(dir.File(pattern), {'B', 'M', 0, 1}));
  ExpectRefusal(dir, {"castle", "2"}, "ReloadPatterns : Can not load " + pattern);
}

TEST(QuarnRefusal, BankFileThatCannotBeWrittenLeavesNoPair) {
  TempDir dir;
  std::filesystem::create_directory(dir.path() / "castle.C4");
  const RunResult run = RunQuarn({"castle"}, dir.path());
  ASSERT_FALSE(run.lines.empty());
  EXPECT_EQ(run.lines.back(), "WriteLevelBanks : Can not write castle.C4");
  EXPECT_EQ(run.lines.size(), 20U);  // the report and layout, then the failure instead of "Last Byte:"
  EXPECT_FALSE(std::filesystem::exists(dir.path() / "castle.C5"));
  EXPECT_EQ(CountEntries(dir.path()), 2);
}
