// The gravik program as a user runs it: start-up lines, usage, dispatch.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

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
  for (const std::string word : {"ex1", "EX", "mode3", "", "mode0x", "-mode0", "mode 0", "-H"}) {
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
               {"ayopt", 2}, {"ex0", 2},   {"draw", 3},  {"MODE0", 1}, {"Col", 3}, {"KEY", 2},
               {"ink0", 2},  {"ink1", 2},  {"ink2", 2}};
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

namespace {

// The words this build binds, with the arguments they need at least.
const struct {
  const char* word;
  int needed;
} kBoundWords[] = {{"bmp", 2},   {"mode2", 1}, {"mode1", 1}, {"mode0", 1}, {"raw", 1}, {"spt", 1},
                   {"dma", 2},   {"pal", 2},   {"rle", 2},   {"half", 1},  {"col", 3}, {"final0", 1},
                   {"add0", 2},  {"basic", 1}, {"asm", 1},   {"key", 2},   {"ay", 2},  {"ayraw", 2},
                   {"ayopt", 2}, {"ex0", 2},   {"draw", 3}};

// Words whose help line is listed ahead of their row, which work beside this
// one adds.
const std::vector<std::string> kWordsBoundElsewhere = {"scr0",    "scr1",   "scr2",   "dsk",    "ink0",
                                                       "ink1",    "ink2",   "zx0",    "unzx0",  "zx0code",
                                                       "sheet0",  "sheet1", "sheet2"};
// Words added after those, each with its own arguments checked like the bound ones.
const std::vector<std::string> kWordsAddedLater = {"data", "tmx"};

// The word a help line documents: "  word ARGUMENTS   summary".
std::string HelpWord(const std::string& line) {
  if (line.rfind("  ", 0) != 0 || line.size() < 3 || line[2] == ' ' || line[2] == '-') return "";
  return line.substr(2, line.find(' ', 2) - 2);
}

struct ExitCase {
  std::string what;
  std::vector<std::string> args;
  int status_under_fail;
};

}  // namespace

TEST(GravikCli, FailGivesTheExitStatusAndChangesNoLine) {
  const TempDir dir;
  ASSERT_TRUE(WriteIndexedBmp(dir.File("pic.bmp"), 4, 1, {1, 0, 0, 1}));
  ASSERT_TRUE(WriteIndexedBmp(dir.File("wide.bmp"), 6, 1, {1, 2, 3, 4, 5, 6}));
  std::filesystem::create_directory(dir.File("wide.pm0"));
  ASSERT_TRUE(WriteIndexedBmp(dir.File("tile.bmp"), 4, 8, RandomPens(4, 8, 3, 16)));
  // 320 different tiles: the set keeps 255 and warns for each one dropped.
  ASSERT_TRUE(WriteIndexedBmp(dir.File("many.bmp"), 160, 64, RandomPens(160, 64, 7, 16)));
  const std::vector<ExitCase> cases = {
      {"success", {"mode0", "pic"}, 0},
      {"refusal: no picture", {"mode0", "missing"}, 1},
      {"refusal: width", {"mode2", "wide"}, 1},
      {"write failure", {"mode0", "wide"}, 1},
      {"dropped tiles", {"add0", "many", "set"}, 1},
      {"every tile added", {"add0", "tile", "small"}, 0},
      {"unknown word", {"mode9", "pic"}, 2},
      {"not enough arguments", {"mode0"}, 2},
      {"not enough arguments for draw", {"draw", "pic", "4"}, 2},
  };
  for (const ExitCase& c : cases) {
    // Each run starts from no tileset.
    const auto remove_sets = [&] {
      for (const char* set : {"set.set", "small.set"}) std::filesystem::remove(dir.File(set));
    };
    remove_sets();
    const RunResult plain = RunGravik(dir, c.args);
    remove_sets();
    std::vector<std::string> failing_args = {"--fail"};
    failing_args.insert(failing_args.end(), c.args.begin(), c.args.end());
    const RunResult failing = RunGravik(dir, failing_args);
    EXPECT_EQ(plain.exit_code, 0) << c.what;
    EXPECT_EQ(failing.exit_code, c.status_under_fail) << c.what;
    EXPECT_EQ(failing.lines, plain.lines) << c.what;
  }
  // The set was still written, full, after one warning for each tile dropped.
  const RunResult dropped = RunGravik(dir, {"--fail", "add0", "many", "set"});
  const auto warnings = std::count(dropped.lines.begin(), dropped.lines.end(),
                                   "WARNING ! Reached max tiles for this system (255)");
  EXPECT_GT(warnings, 0);
  EXPECT_EQ(dropped.lines.back(), "Total tileset  255");
}

TEST(GravikCli, FailWithNoWordPrintsTheUsageWithoutPrompt) {
  const TempDir dir;
  const RunResult run = RunGravik(dir, {"--fail"}, "\n");
  std::vector<std::string> expected = GravikStartupLines();
  expected.insert(expected.end(), kUsageLines.begin(), kUsageLines.end());
  EXPECT_EQ(run.lines, expected);
  EXPECT_EQ(run.exit_code, 2);
  // After the word, "--fail" is a name like any other.
  ASSERT_TRUE(WriteIndexedBmp(dir.File("--fail.bmp"), 2, 1, {15, 15}));
  const RunResult named = RunGravik(dir, {"mode0", "--fail"});
  EXPECT_EQ(named.exit_code, 0);
  EXPECT_EQ(ReadFileBytes(dir.File("--fail.pm0")), std::vector<uint8_t>{255});
}

TEST(GravikCli, HelpListsEveryWordAndVersionNamesTheProgram) {
  const TempDir dir;
  const RunResult help = RunGravik(dir, {"--help"});
  EXPECT_EQ(help.exit_code, 0);
  EXPECT_EQ(RunGravik(dir, {"-h"}).lines, help.lines);
  EXPECT_EQ(RunGravik(dir, {"--fail", "--help", "mode0", "pic"}).lines, help.lines);
  ASSERT_FALSE(help.lines.empty());
  EXPECT_EQ(help.lines[0], "usage : gravik [--fail] [--syntax=winape|sdasz80|c] WORD ARGUMENTS...");
  std::vector<std::string> listed;
  for (const std::string& line : help.lines) {
    if (!HelpWord(line).empty()) listed.push_back(HelpWord(line));
  }
  // Every bound word has its line, in table order, then the words bound elsewhere.
  std::vector<std::string> expected;
  for (const auto& w : kBoundWords) expected.emplace_back(w.word);
  expected.insert(expected.end(), kWordsBoundElsewhere.begin(), kWordsBoundElsewhere.end());
  expected.insert(expected.end(), kWordsAddedLater.begin(), kWordsAddedLater.end());
  EXPECT_EQ(listed, expected);
  // And every listed word of this build is bound: it asks for its arguments.
  for (const std::string& word : listed) {
    if (std::find(kWordsBoundElsewhere.begin(), kWordsBoundElsewhere.end(), word) !=
        kWordsBoundElsewhere.end()) {
      continue;
    }
    const RunResult run = RunGravik(dir, {"--fail", word});
    EXPECT_EQ(AfterStartup(run), std::vector<std::string>{"Not enough arguments !"}) << word;
    EXPECT_EQ(run.exit_code, 2) << word;
  }
  const RunResult version = RunGravik(dir, {"--version"});
  EXPECT_EQ(version.lines, std::vector<std::string>{std::string("gravik ") + TARSEL_VERSION});
  EXPECT_EQ(version.exit_code, 0);
  EXPECT_EQ(CountEntries(dir.path()), 0);
}

TEST(GravikCli, MistypedProgramOptionIsAUsageProblem) {
  const struct {
    std::vector<std::string> args;
    std::string option;
    int exit_code;
  } cases[] = {
      {{"--fial", "mode0", "pic"}, "--fial", 0},
      {{"--fail", "--fial", "mode0", "pic"}, "--fial", 2},
      {{"--FAIL", "--fail", "mode0", "pic"}, "--FAIL", 2},
      {{"--fail", "--fail=1", "mode0", "pic"}, "--fail=1", 2},
      {{"--fail", "--", "mode0", "pic"}, "--", 2},
      {{"--fail", "--help", "--hepl"}, "--hepl", 2},
  };
  for (const auto& c : cases) {
    const TempDir dir;
    ASSERT_TRUE(WriteIndexedBmp(dir.File("pic.bmp"), 2, 1, {15, 15}));
    const RunResult run = RunGravik(dir, c.args);
    EXPECT_EQ(run.lines, std::vector<std::string>{"Unknown option " + c.option + " (see --help)"})
        << c.option;
    EXPECT_EQ(run.exit_code, c.exit_code) << c.option;
    EXPECT_EQ(CountEntries(dir.path()), 1) << c.option;  // pic.bmp alone: mode0 did not run
  }
}
