// The level builder against an unlucky or hostile folder: a link planted as
// the run log, a bank pair that can not be replaced whole, runs at once,
// level pictures that are there but do not load.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "common/file_lock.h"
#include "tests/quarn_support.h"

namespace {

using Lines = std::vector<std::string>;

// Writes a level that builds, runs quarn once so that both banks exist, and
// returns the first bank.
std::vector<uint8_t> BuildGoodLevel(const TempDir& dir) {
  EXPECT_TRUE(WritePicture(dir.File("castle.BMP"), RandomLevel(3, 4, 16, 5)));
  RunQuarn({"castle"}, dir.path());
  return ReadFileBytes(dir.File("castle.C4"));
}

// True when some run waits for the lock held on the file at path, as
// /proc/locks shows it ("->" marks a waiter).
bool SomeoneWaitsFor(const std::string& path) {
  struct stat info {};
  if (stat(path.c_str(), &info) != 0) return false;
  const std::string inode = ":" + std::to_string(info.st_ino) + " ";
  std::ifstream locks("/proc/locks");
  std::string line;
  while (std::getline(locks, line)) {
    if (line.find("->") != std::string::npos && line.find(inode) != std::string::npos) return true;
  }
  return false;
}

}  // namespace

TEST(QuarnReliability, LinkPlantedAsTheRunLogIsReplacedNotFollowed) {
  TempDir dir;
  ASSERT_TRUE(WriteFileBytes(dir.File("victim"), {'k', 'e', 'e', 'p'}));
  for (const Lines& args : {Lines{"castle"}, Lines{}}) {
    std::filesystem::remove(dir.path() / "out.txt");
    std::filesystem::create_symlink("victim", dir.path() / "out.txt");
    const RunResult run = RunQuarn(args, dir.path());
    EXPECT_EQ(ReadFileBytes(dir.File("victim")), (std::vector<uint8_t>{'k', 'e', 'e', 'p'}));
    EXPECT_FALSE(std::filesystem::is_symlink(dir.path() / "out.txt"));
    EXPECT_EQ(ReadTextLines(dir.File("out.txt")), args.empty() ? Lines{} : run.lines);
  }
}

TEST(QuarnReliability, BankPairIsReplacedWholeOrNotAtAll) {
  TempDir dir;
  const std::vector<uint8_t> first_bank = BuildGoodLevel(dir);
  ASSERT_EQ(first_bank.size(), 16384U);
  ASSERT_TRUE(WritePicture(dir.File("castle.BMP"), RandomLevel(2, 3, 16, 6)));
  std::filesystem::remove(dir.path() / "castle.C5");
  std::filesystem::create_directory(dir.path() / "castle.C5");
  const RunResult run = RunQuarn({"castle"}, dir.path());
  ASSERT_FALSE(run.lines.empty());
  EXPECT_EQ(run.lines.back(), "WriteLevelBanks : Can not write castle.C5");
  EXPECT_EQ(ReadFileBytes(dir.File("castle.C4")), first_bank);
  EXPECT_EQ(CountEntries(dir.path()), 4);  // the picture, both banks' names and the run log
}

TEST(QuarnReliability, RunsInOneFolderTakeTurns) {
  TempDir dir;
  ASSERT_TRUE(WritePicture(dir.File("castle.BMP"), RandomLevel(3, 4, 16, 5)));
  pid_t pid = 0;
  bool has_waited = false;
  {
    // This test holds the folder's turn: the run must wait for it.
    const Checked<TargetLock> turn = TakeTargetLock(dir.File("out.txt"));
    ASSERT_TRUE(turn);
    pid = StartProgram(QUARN_BIN, {"castle"}, dir.path());
    // Ends either way: the run waits (and shows in /proc/locks) or ends.
    while (!has_waited && waitpid(pid, nullptr, WNOHANG) == 0) {
      has_waited = SomeoneWaitsFor(LockFilePath(dir.File("out.txt")));
    }
    EXPECT_TRUE(has_waited) << "quarn ran while another run held the folder";
    EXPECT_FALSE(std::filesystem::exists(dir.path() / "castle.C4"));
  }
  if (has_waited) {
    EXPECT_EQ(WaitForProgram(pid), 0);
  }
  EXPECT_EQ(ReadFileBytes(dir.File("castle.C4")).size(), 16384U);
  EXPECT_EQ(ReadTextLines(dir.File("out.txt")).back().rfind("Last Byte:", 0), 0U);
}

TEST(QuarnReliability, PictureThatIsThereButDoesNotLoadIsRefused) {
  TempDir dir;
  const std::vector<uint8_t> first_bank = BuildGoodLevel(dir);
  const std::vector<uint8_t> second_bank = ReadFileBytes(dir.File("castle.C5"));
  const std::vector<uint8_t> picture = ReadFileBytes(dir.File("castle.BMP"));
  const auto expect_refusal = [&](const std::string& line) {
    const RunResult run = RunProgramWithin(60, QUARN_BIN, {"castle"}, dir.path());
    EXPECT_EQ(run.lines, Lines{line});
    EXPECT_EQ(ReadTextLines(dir.File("out.txt")), Lines{line});
    EXPECT_EQ(ReadFileBytes(dir.File("castle.C4")), first_bank);
    EXPECT_EQ(ReadFileBytes(dir.File("castle.C5")), second_bank);
  };
  // A step's own picture, truncated: not taken for a missing one.
  ASSERT_TRUE(WriteFileBytes(dir.File("castle_stepB.BMP"),
                             std::vector<uint8_t>(picture.begin(), picture.begin() + picture.size() / 2)));
  expect_refusal("LoadStepImage : Can not load castle_stepB.BMP");
  std::filesystem::remove(dir.path() / "castle_stepB.BMP");
  // The level's picture not a picture, a folder, a FIFO.
  ASSERT_TRUE(WriteFileBytes(dir.File("castle.BMP"), {'t', 'e', 'x', 't'}));
  expect_refusal("LoadStepImage : Can not load castle.BMP");
  std::filesystem::remove(dir.path() / "castle.BMP");
  std::filesystem::create_directory(dir.path() / "castle.BMP");
  expect_refusal("LoadStepImage : castle.BMP is not a regular file");
  std::filesystem::remove(dir.path() / "castle.BMP");
  ASSERT_EQ(mkfifo(dir.File("castle.BMP").c_str(), 0644), 0);
  expect_refusal("LoadStepImage : castle.BMP is not a regular file");
}

TEST(QuarnReliability, RunsThatCanNotTakeTheFoldersTurnBuildNothing) {
  TempDir dir;
  BuildGoodLevel(dir);
  ASSERT_TRUE(WriteFileBytes(dir.File("victim"), {'k', 'e', 'e', 'p'}));
  // The runs go as a user other than root where root would open any lock file.
  std::filesystem::permissions(dir.path(), std::filesystem::perms::all);
  for (const char* name : {"castle.C4", "castle.C5", "out.txt"})
    std::filesystem::permissions(dir.path() / name, std::filesystem::perms::all);
  ASSERT_TRUE(WritePicture(dir.File("castle.BMP"), RandomLevel(2, 3, 16, 6)));
  const std::vector<uint8_t> first_bank = ReadFileBytes(dir.File("castle.C4"));
  const std::vector<uint8_t> second_bank = ReadFileBytes(dir.File("castle.C5"));
  const std::vector<uint8_t> log = ReadFileBytes(dir.File("out.txt"));
  const std::pair<BadLock, std::string> kinds[] = {
      {BadLock::kLink, "Can not lock out.txt: .out.txt.lock is a symbolic link"},
      {BadLock::kFolder, "Can not lock out.txt: .out.txt.lock is not a regular file"},
      {BadLock::kUnwritable, "Can not lock out.txt: can not open .out.txt.lock for writing"},
  };
  for (const auto& [kind, line] : kinds) {
    PlantBadLock(dir.path(), ".out.txt.lock", kind);
    const int entries = CountEntries(dir.path());
    const TwoRuns both =
        RunTwoUnprivileged(QUARN_BIN, {"--fail", "castle"}, {"--fail", "castle"}, dir.path());
    EXPECT_EQ(both.second.lines, Lines{line});
    EXPECT_EQ(both.second.exit_code, 1) << line;
    EXPECT_EQ(both.first_exit_code, 1) << line;
    EXPECT_EQ(ReadFileBytes(dir.File("castle.C4")), first_bank) << line;
    EXPECT_EQ(ReadFileBytes(dir.File("castle.C5")), second_bank) << line;
    EXPECT_EQ(ReadFileBytes(dir.File("out.txt")), log) << line;
    EXPECT_EQ(ReadFileBytes(dir.File("victim")), (std::vector<uint8_t>{'k', 'e', 'e', 'p'})) << line;
    EXPECT_EQ(CountEntries(dir.path()), entries) << line;
  }
}
