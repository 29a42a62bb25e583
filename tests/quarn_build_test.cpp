#include <gtest/gtest.h>

#include <filesystem>

#include "common/number_text.h"
#include "tests/quarn_support.h"

namespace {

std::vector<std::string> ReportOfEmptyLevel() {
  return {"==REPORT==",       "Tiles    :1",      "Patterns :",
          "-A       :0",      "-B       :0",      "-C       :0",
          "-D       :0",      "Map      :0*0",    "Estimated size :48/32768",
          "==OUT DATAS==",    "Pattern A:0x4020", "Pattern B:0x4020",
          "Pattern C:0x4020", "Pattern D:0x4020", "MapA     :0x4020",
          "MapB     :0x4020", "MapC     :0x4020", "MapD     :0x4020",
          "Tiles    :0x4020", "Last Byte:0x4000"};
}

// One block column, five blocks tall: pen 1 in column 6 of the top-left tile,
// pen 0 elsewhere. Steps B, C and D move that column to 4, 2 and 0.
LevelPicture OneColumnLevel() {
  LevelPicture picture = BlankPicture(32, 160);
  for (int y = 0; y < 8; ++y) picture.At(6, y) = 1;
  return picture;
}

std::vector<uint8_t> RepeatedTile(std::vector<uint8_t> quad) {
  std::vector<uint8_t> tile;
  for (int i = 0; i < 4; ++i) tile.insert(tile.end(), quad.begin(), quad.end());
  return tile;
}

void Put(std::vector<uint8_t>& bank, int address, const std::vector<uint8_t>& bytes) {
  std::copy(bytes.begin(), bytes.end(), bank.begin() + (address - 0x4000));
}

// Decodes every step of the level in dir and compares it with picture.
void ExpectStepsDecodeTo(const TempDir& dir, const std::string& level, const std::vector<LevelPicture>& steps,
                         int width_blocks) {
  const std::vector<uint8_t> first = ReadFileBytes(dir.File(level + ".C4"));
  const std::vector<uint8_t> second = ReadFileBytes(dir.File(level + ".C5"));
  for (int step = 0; step < 4; ++step) {
    std::string problem;
    const std::optional<DecodedStep> decoded = DecodeLevelStep(first, second, step, &problem);
    ASSERT_TRUE(decoded) << problem;
    const DecodedStep expected = ExpectedStep(steps[step], step, width_blocks);
    ASSERT_EQ(decoded->width_px, expected.width_px);
    ASSERT_EQ(decoded->pens, expected.pens) << "step " << step;
  }
}

// The report's tile count and "Tiles" address place the first tile of the
// second bank at 0x4010: the last line and some pattern record must agree.
void ExpectTilesInTheSecondBank(const std::string& first_bank_path, const std::vector<std::string>& lines) {
  ASSERT_GE(lines.size(), 20U);
  const size_t report = lines.size() - 20;
  const int tile_count = std::atoi(lines[report + 1].c_str() + 10);
  const int tile_start = static_cast<int>(std::strtol(lines[report + 18].c_str() + 12, nullptr, 16));
  const int last_first_bank_tile = (0x8000 - tile_start) / 16 - 1;
  ASSERT_GT(tile_count, last_first_bank_tile + 1);
  EXPECT_EQ(lines.back(), "Last Byte:0x" + Hex(0x4000 + 16 * (tile_count - last_first_bank_tile), 4));
  const std::vector<uint8_t> first = ReadFileBytes(first_bank_path);
  const int map_a = first[0x0A] | (first[0x0B] << 8);
  bool has_reference = false;
  for (int offset = 0x20; offset < map_a - 0x4000; offset += 2) {
    has_reference = has_reference || (first[offset] | (first[offset + 1] << 8)) == 0x4015;
  }
  EXPECT_TRUE(has_reference);
}

}  // namespace

TEST(QuarnFrontEnd, WrongArgumentCountsPrintUsageAndEmptyTheRunLog) {
  TempDir dir;
  for (const std::vector<std::string>& args : {std::vector<std::string>{}, {"castle", "1", "extra"}}) {
    ASSERT_TRUE(WriteFileBytes(dir.File("out.txt"), {'o', 'l', 'd', '\n'}));
    const RunResult run = RunQuarn(args, dir.path());
    EXPECT_EQ(run.exit_code, 0);
    EXPECT_EQ(run.lines, std::vector<std::string>{kQuarnUsage});
    EXPECT_TRUE(ReadFileBytes(dir.File("out.txt")).empty());
    EXPECT_EQ(CountEntries(dir.path()), 1);
  }
}

TEST(QuarnFrontEnd, EmptyLevelReportsAndWritesBareBanks) {
  TempDir dir;
  const RunResult run = RunQuarn({"castle"}, dir.path());
  EXPECT_EQ(run.lines, ReportOfEmptyLevel());
  EXPECT_EQ(ReadTextLines(dir.File("out.txt")), ReportOfEmptyLevel());
  std::vector<uint8_t> first(16384, 0);
  first[0] = 0xC4;
  for (int word = 0; word < 8; ++word) Put(first, 0x4002 + 2 * word, Le16(0x4020));
  std::vector<uint8_t> second(16384, 0);
  second[0] = 0xC5;
  EXPECT_EQ(ReadFileBytes(dir.File("castle.C4")), first);
  EXPECT_EQ(ReadFileBytes(dir.File("castle.C5")), second);
}

TEST(QuarnFrontEnd, PatternOptionsSelectDumpReloadOrNeither) {
  TempDir dir;
  ASSERT_TRUE(WritePicture(dir.File("castle.BMP"), OneColumnLevel()));
  const std::vector<std::pair<std::vector<std::string>, std::string>> cases = {
      {{"castle", "1"}, "Pattern dumping selected"},
      {{"castle", "2"}, "Pattern reload selected"},
      {{"castle", "2.4"}, "Pattern reload selected"},
      {{"castle", "3"}, "Tiles    :5"},
      {{"castle", "x"}, "Tiles    :5"},
      {{"castle"}, "Tiles    :5"}};
  for (const auto& [args, second_line] : cases) {
    const RunResult run = RunQuarn(args, dir.path());
    ASSERT_GE(run.lines.size(), 3U);
    EXPECT_EQ(run.lines[0], "==REPORT==");
    EXPECT_EQ(run.lines[1], second_line) << args.size();
    EXPECT_EQ(run.lines.back(), "Last Byte:0x4000");
    EXPECT_EQ(ReadTextLines(dir.File("out.txt")), run.lines);
  }
}

TEST(QuarnBanks, LevelFivePatternsTallIsLaidOutByteForByte) {
  TempDir dir;
  ASSERT_TRUE(WritePicture(dir.File("castle.BMP"), OneColumnLevel()));
  const RunResult run = RunQuarn({"castle"}, dir.path());
  const std::vector<std::string> expected_lines = {
      "==REPORT==",       "Tiles    :5",      "Patterns :",
      "-A       :2",      "-B       :2",      "-C       :2",
      "-D       :2",      "Map      :1*5",    "Estimated size :388/32768",
      "==OUT DATAS==",    "Pattern A:0x4020", "Pattern B:0x4060",
      "Pattern C:0x40A0", "Pattern D:0x40E0", "MapA     :0x4120",
      "MapB     :0x4125", "MapC     :0x412A", "MapD     :0x412F",
      "Tiles    :0x4140", "Last Byte:0x4000"};
  EXPECT_EQ(run.lines, expected_lines);
  EXPECT_EQ(ReadTextLines(dir.File("out.txt")), expected_lines);

  std::vector<uint8_t> first(16384, 0);
  first[0] = 0xC4;
  const int header[8] = {0x4020, 0x4060, 0x40A0, 0x40E0, 0x4120, 0x4125, 0x412A, 0x412F};
  for (int word = 0; word < 8; ++word) Put(first, 0x4002 + 2 * word, Le16(header[word]));
  // Pattern 0 of each group has its tile (1 to 4) top left; pattern 1 is blank.
  for (int group = 0; group < 4; ++group) {
    Put(first, header[group], Le16(0x4140 + 16 * (group + 1) + 4));
    Put(first, header[4 + group], {0x00, 0x01, 0x01, 0x01, 0x01});
  }
  // The pen moves from column 6 to 4, 2 and 0: right pixel of the right
  // byte, left of the right byte, right of the left byte, left of the left.
  Put(first, 0x4150, RepeatedTile({0x00, 0x40, 0x40, 0x00}));
  Put(first, 0x4160, RepeatedTile({0x00, 0x80, 0x80, 0x00}));
  Put(first, 0x4170, RepeatedTile({0x40, 0x00, 0x00, 0x40}));
  Put(first, 0x4180, RepeatedTile({0x80, 0x00, 0x00, 0x80}));
  std::vector<uint8_t> second(16384, 0);
  second[0] = 0xC5;
  EXPECT_EQ(ReadFileBytes(dir.File("castle.C4")), first);
  EXPECT_EQ(ReadFileBytes(dir.File("castle.C5")), second);
}

TEST(QuarnAnalysis, UpsideDownBlocksCarryTheFlipFlag) {
  TempDir dir;
  LevelPicture pool = BlankPicture(4 * 32, 32);
  pool.pens = RandomPens(pool.width, pool.height, 7, 16);
  LevelPicture level = BlankPicture(32 * 6, 160);
  for (int b = 0; b < 4; ++b) CopyBlock(pool, b, 0, level, b, 0, false);
  CopyBlock(pool, 3, 0, level, 4, 0, true);  // pattern 3 upside down
  // A block equal to itself upside down: rows mirror around the middle.
  for (int r = 0; r < 16; ++r) {
    for (int c = 0; c < 32; ++c)
      level.At(5 * 32 + c, 31 - r) = level.At(5 * 32 + c, r) = static_cast<uint8_t>(r + c);
  }
  ASSERT_TRUE(WritePicture(dir.File("castle.BMP"), level));
  const RunResult run = RunQuarn({"castle"}, dir.path());
  ASSERT_GE(run.lines.size(), 16U);
  EXPECT_EQ(run.lines[3], "-A       :6");  // 4 pool patterns, the mirror block, the blank block
  const std::vector<uint8_t> first = ReadFileBytes(dir.File("castle.C4"));
  const int map_a = first[0x0A] | (first[0x0B] << 8);
  const std::vector<uint8_t> top_row = {first[map_a - 0x4000 + 5 * 4], first[map_a - 0x4000 + 5 * 5]};
  EXPECT_EQ(top_row, (std::vector<uint8_t>{0x83, 0x04}));
  EXPECT_EQ(first[map_a - 0x4000 + 1], 0x05);
  ExpectStepsDecodeTo(dir, "castle", {level, level, level, level}, 6);
}

TEST(QuarnAnalysis, PensAboveFifteenSplitPatternsButShareTiles) {
  TempDir dir;
  // The second block holds pens 16, 32 and 48 where the first holds pen 0.
  LevelPicture level = BlankPicture(64, 160);
  for (int y = 0; y < 32; ++y) {
    for (int x = 0; x < 32; ++x) {
      const auto pen = static_cast<uint8_t>((x * 3 + y) % 16);
      level.At(x, y) = pen;
      level.At(32 + x, y) = pen == 0 ? static_cast<uint8_t>(16 * (1 + x % 3)) : pen;
    }
  }
  ASSERT_TRUE(WritePicture(dir.File("castle.BMP"), level));
  const RunResult run = RunQuarn({"castle"}, dir.path());
  ASSERT_GE(run.lines.size(), 16U);
  EXPECT_EQ(run.lines[3], "-A       :3");
  const std::vector<uint8_t> first = ReadFileBytes(dir.File("castle.C4"));
  const std::vector<uint8_t> record0(first.begin() + 0x20, first.begin() + 0x40);
  const std::vector<uint8_t> record1(first.begin() + 0x40, first.begin() + 0x60);
  EXPECT_EQ(record0, record1);
  ExpectStepsDecodeTo(dir, "castle", {level, level, level, level}, 2);
}

TEST(QuarnAnalysis, StepFilesReplaceTheCommonImageAndAreShiftedToo) {
  TempDir dir;
  const LevelPicture common = RandomLevel(4, 3, 20, 11, 3, 7);
  const LevelPicture step_c = RandomLevel(4, 3, 20, 12, 5);
  ASSERT_TRUE(WritePicture(dir.File("castle.BMP"), common));
  ASSERT_TRUE(WritePicture(dir.File("castle_stepC.BMP"), step_c));
  const RunResult run = RunQuarn({"castle"}, dir.path());
  ASSERT_FALSE(run.lines.empty());
  EXPECT_EQ(run.lines[0], "Step C found for castle_stepC.BMP !");
  EXPECT_EQ(run.lines[1], "==REPORT==");
  EXPECT_EQ(ReadTextLines(dir.File("out.txt")), run.lines);
  ExpectStepsDecodeTo(dir, "castle", {common, common, step_c, common}, 4);
}

TEST(QuarnBanks, RandomLevelsDecodeFromTheBanksAlone) {
  struct Case {
    int width_blocks;
    int pool_size;
    uint32_t seed;
    bool has_step_files;
    bool expects_spill;
  };
  for (const Case& c :
       {Case{6, 10, 101, false, true}, Case{9, 6, 202, false, false}, Case{7, 30, 303, true, true}}) {
    TempDir dir;
    std::vector<LevelPicture> steps(4, RandomLevel(c.width_blocks, c.pool_size, 24, c.seed, 6));
    ASSERT_TRUE(WritePicture(dir.File("lvl.BMP"), steps[0]));
    if (c.has_step_files) {
      for (int step = 0; step < 4; ++step) {
        steps[step] = RandomLevel(c.width_blocks, c.pool_size, 24, c.seed + 10 * step);
        const std::string letter(1, static_cast<char>('A' + step));
        ASSERT_TRUE(WritePicture(dir.File("lvl_step" + letter + ".BMP"), steps[step]));
      }
    }
    const RunResult run = RunQuarn({"lvl"}, dir.path());
    ExpectStepsDecodeTo(dir, "lvl", steps, c.width_blocks);
    EXPECT_EQ(ReadTextLines(dir.File("out.txt")), run.lines);
    if (c.expects_spill) ExpectTilesInTheSecondBank(dir.File("lvl.C4"), run.lines);
  }
}

TEST(QuarnPatterns, DumpThenReloadTakesTilesFromTheRetouchedFile) {
  TempDir dir;
  const LevelPicture level = RandomLevel(3, 4, 16, 505);
  ASSERT_TRUE(WritePicture(dir.File("castle.BMP"), level));
  const RunResult plain = RunQuarn({"castle"}, dir.path());
  const std::vector<uint8_t> plain_first = ReadFileBytes(dir.File("castle.C4"));
  const RunResult dump = RunQuarn({"castle", "1"}, dir.path());
  EXPECT_EQ(dump.lines.size(), plain.lines.size() + 1);
  for (const char* group : {"castle_groupA", "castle_groupB", "castle_groupC", "castle_groupD"}) {
    EXPECT_TRUE(std::filesystem::exists(dir.path() / group / "pattern_00.bmp")) << group;
  }
  const std::string pattern_a1 = dir.File("castle_groupA/pattern_01.bmp");
  LevelPicture retouched = BlankPicture(32, 32);
  retouched.pens = RandomPens(32, 32, 606, 16);
  // The dump holds the top-left block as it stands in the level, palette included.
  LevelPicture block = BlankPicture(32, 32);
  CopyBlock(level, 0, 0, block, 0, 0, false);
  ASSERT_TRUE(WritePicture(dir.File("expected.bmp"), block));
  EXPECT_EQ(ReadFileBytes(dir.File("castle_groupA/pattern_00.bmp")), ReadFileBytes(dir.File("expected.bmp")));
  ASSERT_TRUE(WritePicture(pattern_a1, retouched));
  const RunResult reload = RunQuarn({"castle", "2"}, dir.path());
  ASSERT_EQ(reload.lines.size(), plain.lines.size() + 1);
  EXPECT_EQ(reload.lines[1], "Pattern reload selected");
  const std::vector<uint8_t> first = ReadFileBytes(dir.File("castle.C4"));
  const int map_a = first[0x0A] | (first[0x0B] << 8);
  const int map_end = (first[0x10] | (first[0x11] << 8)) + 15;  // MapD + 3 x 5 blocks
  EXPECT_TRUE(std::equal(first.begin() + (map_a - 0x4000), first.begin() + (map_end - 0x4000),
                         plain_first.begin() + (map_a - 0x4000)));
  // Pattern 1 of group A now draws the retouched pens.
  for (int k = 0; k < 16; ++k) {
    const int reference = first[0x20 + 32 + 2 * k] | (first[0x20 + 32 + 2 * k + 1] << 8);
    std::vector<uint8_t> pens(64, 0);
    if (reference != 0)
      pens = DecodeTileBytes(reference % 16 == 4 ? first : ReadFileBytes(dir.File("castle.C5")),
                             static_cast<size_t>((reference & ~15) - 0x4000));
    for (int r = 0; r < 8; ++r) {
      for (int c = 0; c < 8; c += 2) {
        ASSERT_EQ(pens[r * 8 + c], retouched.At((k % 4) * 8 + c, (k / 4) * 8 + r)) << k;
      }
    }
  }
}

TEST(QuarnFrontEnd, RunLogThatCannotBeCreatedLeavesTheBuildGoing) {
  TempDir dir;
  std::filesystem::create_directory(dir.path() / "out.txt");
  const RunResult run = RunQuarn({"castle"}, dir.path());
  std::vector<std::string> expected = {"LogLine : Can not create out.txt"};
  for (const std::string& line : ReportOfEmptyLevel()) expected.push_back(line);
  EXPECT_EQ(run.lines, expected);
  EXPECT_EQ(ReadFileBytes(dir.File("castle.C4")).size(), 16384U);
}
