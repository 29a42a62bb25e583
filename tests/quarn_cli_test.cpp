// The level builder's program options: --fail's exit status, --help and
// --version, none of which may touch the run log.
#include <gtest/gtest.h>

#include <filesystem>
#include <functional>

#include "tests/quarn_support.h"

namespace {

struct ExitCase {
  std::string what;
  std::vector<std::string> args;
  int status_under_fail;
};

// A fresh folder holding what the case needs, built by prepare.
template <typename Prepare>
RunResult RunIn(const std::vector<std::string>& args, Prepare prepare, std::vector<std::string>* run_log) {
  const TempDir dir;
  prepare(dir);
  RunResult run = RunQuarn(args, dir.path());
  *run_log = ReadTextLines(dir.File("out.txt"));
  return run;
}

}  // namespace

TEST(QuarnCli, FailGivesTheExitStatusAndChangesNoLine) {
  const auto empty = [](const TempDir&) {};
  const auto too_short = [](const TempDir& dir) {
    ASSERT_TRUE(WritePicture(dir.File("castle.BMP"), BlankPicture(64, 4 * 32)));
  };
  const auto bank_folder = [](const TempDir& dir) {
    std::filesystem::create_directory(dir.File("castle.C4"));
  };
  const auto dump_blocked = [](const TempDir& dir) {
    ASSERT_TRUE(WritePicture(dir.File("castle.BMP"), BlankPicture(64, 160)));
    ASSERT_TRUE(WriteFileBytes(dir.File("castle_groupB"), {'x'}));  // a file where the folder should go
  };
  const auto dump_free = [](const TempDir& dir) {
    ASSERT_TRUE(WritePicture(dir.File("castle.BMP"), BlankPicture(64, 160)));
  };
  const struct {
    ExitCase exit;
    std::function<void(const TempDir&)> prepare;
  } cases[] = {
      {{"success: an empty level", {"castle"}, 0}, empty},
      {{"success: with the dump", {"castle", "1"}, 0}, dump_free},
      {{"refusal: four patterns tall", {"castle"}, 1}, too_short},
      {{"write failure: banks", {"castle"}, 1}, bank_folder},
      {{"write failure: pattern dump", {"castle", "1"}, 1}, dump_blocked},
      {{"no level name", {}, 2}, empty},
      {{"three arguments", {"castle", "1", "extra"}, 2}, empty},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.exit.what);
    std::vector<std::string> plain_log;
    std::vector<std::string> failing_log;
    const RunResult plain = RunIn(c.exit.args, c.prepare, &plain_log);
    std::vector<std::string> failing_args = {"--fail"};
    failing_args.insert(failing_args.end(), c.exit.args.begin(), c.exit.args.end());
    const RunResult failing = RunIn(failing_args, c.prepare, &failing_log);
    EXPECT_EQ(plain.exit_code, 0);
    EXPECT_EQ(failing.exit_code, c.exit.status_under_fail);
    EXPECT_EQ(failing.lines, plain.lines);
    EXPECT_EQ(failing_log, plain_log);
    EXPECT_FALSE(plain.lines.empty());
  }
}

TEST(QuarnCli, HelpAndVersionTouchNoFile) {
  const TempDir dir;
  const RunResult help = RunQuarn({"--help"}, dir.path());
  EXPECT_EQ(help.exit_code, 0);
  ASSERT_FALSE(help.lines.empty());
  EXPECT_EQ(help.lines[0], "usage : quarn [--fail] LEVEL [PATTERN_OPTION]");
  EXPECT_EQ(RunQuarn({"-h"}, dir.path()).lines, help.lines);
  // Program options win over a level name: nothing is built.
  EXPECT_EQ(RunQuarn({"--fail", "-h", "castle"}, dir.path()).lines, help.lines);
  const RunResult version = RunQuarn({"--version"}, dir.path());
  EXPECT_EQ(version.exit_code, 0);
  EXPECT_EQ(version.lines, std::vector<std::string>{std::string("quarn ") + TARSEL_VERSION});
  EXPECT_EQ(CountEntries(dir.path()), 0);  // no out.txt, no bank
}

TEST(QuarnCli, MistypedProgramOptionIsNeverALevel) {
  const struct {
    std::vector<std::string> args;
    int exit_code;
  } cases[] = {
      {{"--fial", "castle"}, 0},
      {{"--fail", "--fial", "castle"}, 2},
      {{"--fial", "--fail", "castle"}, 2},
      {{"--fail", "--fial"}, 2},
  };
  for (const auto& c : cases) {
    const TempDir dir;
    ASSERT_TRUE(WritePicture(dir.File("castle.BMP"), BlankPicture(64, 160)));
    const RunResult run = RunQuarn(c.args, dir.path());
    EXPECT_EQ(run.lines, std::vector<std::string>{"Unknown option --fial (see --help)"});
    EXPECT_EQ(run.exit_code, c.exit_code);
    EXPECT_EQ(CountEntries(dir.path()), 1);  // the picture alone: no bank, no --fial.C4, no out.txt
  }
}
