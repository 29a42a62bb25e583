// What an unlucky or hostile user meets: runs at once on one tileset, FIFOs
// given as inputs, the longest names, a run stopped while it writes, files
// that must stay executable or reach the disk.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>

#include <filesystem>

#include "tests/test_support.h"

namespace {

using Lines = std::vector<std::string>;

Lines Gravik(const TempDir& dir, const Lines& args) {
  return AfterStartup(RunProgram(GRAVIK_BIN, args, dir.path()));
}

// forty tiles of 4 x 8 pixels side by side, each told apart by its top row;
// image 1 and image 2 share none.
bool WriteFortyTiles(const std::string& path, int image) {
  std::vector<uint8_t> pens(160 * 8, 0);
  for (int tile = 0; tile < 40; ++tile) {
    uint8_t* top = pens.data() + tile * 4;
    top[0] = static_cast<uint8_t>(image);
    top[1] = static_cast<uint8_t>(tile % 16);
    top[2] = static_cast<uint8_t>(1 + tile / 16);
    top[3] = 3;
  }
  return WriteIndexedBmp(path, 160, 8, pens);
}

int32_t StoredTileCount(const std::vector<uint8_t>& set) {
  return set.size() < 4 ? -1 : static_cast<int32_t>(set[0] | set[1] << 8 | set[2] << 16 | set[3] << 24);
}

std::vector<std::string> Names(const std::filesystem::path& folder) {
  std::vector<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(folder))
    names.push_back(entry.path().filename());
  std::sort(names.begin(), names.end());
  return names;
}

}  // namespace

TEST(GravikReliability, ConcurrentAddsToOneTilesetLoseNoTiles) {
  TempDir dir;
  ASSERT_TRUE(WriteIndexedBmp(dir.File("blank.bmp"), 4, 8, std::vector<uint8_t>(32, 0)));
  ASSERT_TRUE(WriteFortyTiles(dir.File("one.bmp"), 1));
  ASSERT_TRUE(WriteFortyTiles(dir.File("two.bmp"), 2));
  Gravik(dir, {"add0", "blank", "base"});
  const std::vector<uint8_t> base = ReadFileBytes(dir.File("base.set"));
  ASSERT_EQ(StoredTileCount(base), 1);
  for (int attempt = 0; attempt < 20; ++attempt) {
    ASSERT_TRUE(WriteFileBytes(dir.File("world.set"), base));
    const pid_t first = StartProgram(GRAVIK_BIN, {"add0", "one", "world"}, dir.path());
    const pid_t second = StartProgram(GRAVIK_BIN, {"add0", "two", "world"}, dir.path());
    EXPECT_EQ(WaitForProgram(first), 0);
    EXPECT_EQ(WaitForProgram(second), 0);
    ASSERT_EQ(StoredTileCount(ReadFileBytes(dir.File("world.set"))), 81) << "attempt " << attempt;
  }
}

TEST(GravikReliability, FifoInputsAreRefusedAtOnce) {
  TempDir dir;
  for (const char* name : {"pipe.bmp", "pipe.bin", "pipe.snd", "pipe.ayl", "pipe.set", "pipe"}) {
    ASSERT_EQ(mkfifo(dir.File(name).c_str(), 0644), 0);
  }
  ASSERT_TRUE(WriteIndexedBmp(dir.File("pic.bmp"), 8, 8, std::vector<uint8_t>(64, 1)));
  ASSERT_TRUE(WriteFileBytes(dir.File("sample.snd"), std::vector<uint8_t>(16, 7)));
  const struct {
    Lines args;
    Lines lines;
  } cases[] = {
      {{"bmp", "pipe.bmp", "out.bmp"}, {"ChangeImageFormat : Can not load image pipe.bmp"}},
      {{"mode0", "pipe"}, {"ConvertToMode0 : Converting...", "Can not load pipe.bmp"}},
      {{"add0", "pipe", "world"}, {"Can not load pipe.bmp"}},
      {{"col", "pipe", "4", "4"}, {"ConvertToColumnOrder : Can not read pipe.bin"}},
      {{"dma", "pipe", "table"}, {"ConvertDMAsample15K : Can not open sample ! (pipe.snd)"}},
      {{"dma", "sample", "pipe"}, {"ConvertDMAsample15K : Can not open conversion table ! (pipe)"}},
      {{"ay", "pipe", "table"}, {"ConvertAYlist15K : Can not open sample ! (pipe.snd)"}},
      {{"ayraw", "sample", "pipe"}, {"ConvertAYlist15K : Can not open conversion table ! (pipe)"}},
      {{"ayopt", "pipe", "8"}, {"OptimizeAYlist : can not open source file :pipe.ayl"}},
  };
  for (const auto& c : cases) {
    const RunResult run = RunProgramWithin(60, GRAVIK_BIN, c.args, dir.path());
    EXPECT_EQ(run.exit_code, 0) << c.args[0];
    EXPECT_EQ(AfterStartup(run), c.lines) << c.args[0];
  }
  // The tileset itself a FIFO: refused like a set that can not be read.
  const RunResult run = RunProgramWithin(60, GRAVIK_BIN, {"add0", "pic", "pipe"}, dir.path());
  ASSERT_EQ(run.exit_code, 0);
  EXPECT_EQ(AfterStartup(run).back(), "AddToTileset : Can not read pipe.set");
  EXPECT_EQ(CountEntries(dir.path()), 8);
}

TEST(GravikReliability, LongestNameIsWritten) {
  TempDir dir;
  ASSERT_TRUE(WriteIndexedBmp(dir.File("pic.bmp"), 8, 8, std::vector<uint8_t>(64, 1)));
  const std::string longest(255, 'n');
  EXPECT_EQ(Gravik(dir, {"bmp", "pic.bmp", longest}),
            Lines{"ChangeImageFormat : Successfull conversion from pic.bmp to " + longest + " (bmp format)"});
  EXPECT_EQ(ReadFileBytes(dir.File(longest)), ReadFileBytes(dir.File("pic.bmp")));
  EXPECT_EQ(CountEntries(dir.path()), 2);
}

TEST(GravikReliability, ReplacedOutputStaysExecutable) {
  TempDir dir;
  ASSERT_TRUE(WriteFileBytes(dir.File("map.bin"), {1, 2, 3, 4}));
  ASSERT_TRUE(WriteFileBytes(dir.File("map.lvl"), {9}));
  ASSERT_EQ(chmod(dir.File("map.lvl").c_str(), 0755), 0);
  Gravik(dir, {"col", "map", "2", "2"});
  EXPECT_EQ(ReadFileBytes(dir.File("map.lvl")), (std::vector<uint8_t>{1, 3, 2, 4}));
  struct stat info {};
  ASSERT_EQ(stat(dir.File("map.lvl").c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 07777, 0755u);
}

// The tileset holds the work of many runs: its new contents are synced before
// the rename that replaces it, and the folder after.
TEST(GravikReliability, TilesetReachesTheDiskBeforeReplacingTheOld) {
  TempDir dir;
  ASSERT_TRUE(WriteFortyTiles(dir.File("one.bmp"), 1));
  // The leak checker of a sanitizer build can not run under a tracer.
  const RunResult traced =
      RunProgram(RequiredTool("strace"),
                 {"-o", "trace.txt", "-E", "ASAN_OPTIONS=detect_leaks=0", "-e",
                  "trace=fsync,rename,renameat,renameat2", GRAVIK_BIN, "add0", "one", "world"},
                 dir.path());
  ASSERT_EQ(traced.exit_code, 0);
  const Lines trace = ReadTextLines(dir.File("trace.txt"));
  size_t rename_line = trace.size();
  for (size_t k = 0; k < trace.size(); ++k) {
    if (trace[k].rfind("rename", 0) == 0 && trace[k].find("\"world.set\"") != std::string::npos)
      rename_line = k;
  }
  ASSERT_LT(rename_line, trace.size());
  const auto is_sync = [](const std::string& line) {
    return line.rfind("fsync(", 0) == 0 && line.ends_with("= 0");
  };
  EXPECT_TRUE(rename_line > 0 && is_sync(trace[rename_line - 1]));
  EXPECT_TRUE(rename_line + 1 < trace.size() && is_sync(trace[rename_line + 1]));
}

TEST(GravikReliability, StoppedRunLeavesNoTemporaryFile) {
  TempDir dir;
  // 64 MB of levels that change at every sample: a long list to write.
  std::vector<uint8_t> sample(64 << 20);
  for (size_t k = 0; k < sample.size(); ++k) sample[k] = static_cast<uint8_t>(k * 37);
  std::vector<uint8_t> table(256);
  for (size_t k = 0; k < table.size(); ++k) table[k] = static_cast<uint8_t>(k);
  ASSERT_TRUE(WriteFileBytes(dir.File("long.snd"), sample));
  ASSERT_TRUE(WriteFileBytes(dir.File("table"), table));
  for (const int signal_number : {SIGTERM, SIGINT, SIGHUP}) {
    const pid_t pid = StartProgram(GRAVIK_BIN, {"dma", "long", "table"}, dir.path());
    // Waits for the output to be under way: a third entry in the folder.
    while (CountEntries(dir.path()) < 3 && waitpid(pid, nullptr, WNOHANG) == 0) {
    }
    kill(pid, signal_number);
    const int status = WaitForProgram(pid);
    if (WIFSIGNALED(status)) {
      EXPECT_EQ(WTERMSIG(status), signal_number);
      EXPECT_EQ(Names(dir.path()), (Lines{"long.snd", "table"}));
    }
    std::filesystem::remove(dir.path() / "long.asm");
  }
}

TEST(GravikReliability, RunsThatCanNotTakeTheLockRefuseAndChangeNothing) {
  TempDir dir;
  ASSERT_TRUE(WriteIndexedBmp(dir.File("blank.bmp"), 4, 8, std::vector<uint8_t>(32, 0)));
  ASSERT_TRUE(WriteFortyTiles(dir.File("one.bmp"), 1));
  ASSERT_TRUE(WriteFortyTiles(dir.File("two.bmp"), 2));
  ASSERT_TRUE(WriteFileBytes(dir.File("a.bin"), std::vector<uint8_t>(300, 0xA5)));
  ASSERT_TRUE(WriteFileBytes(dir.File("b.bin"), std::vector<uint8_t>(300, 0x5A)));
  ASSERT_TRUE(WriteFileBytes(dir.File("victim"), {'k', 'e', 'e', 'p'}));
  Gravik(dir, {"add0", "blank", "world"});
  Gravik(dir, {"dsk", "d.dsk", "a.bin"});
  // The runs go as a user other than root where root would open any lock file.
  std::filesystem::permissions(dir.path(), std::filesystem::perms::all);
  std::filesystem::permissions(dir.File("world.set"), std::filesystem::perms::all);
  std::filesystem::permissions(dir.File("d.dsk"), std::filesystem::perms::all);
  const std::vector<uint8_t> set = ReadFileBytes(dir.File("world.set"));
  const std::vector<uint8_t> disk = ReadFileBytes(dir.File("d.dsk"));
  const struct {
    Lines first;
    Lines second;
    std::string lock_name;
    std::string line_head;
  } runs[] = {
      {{"--fail", "add0", "one", "world"},
       {"--fail", "add0", "two", "world"},
       ".world.set.lock",
       "AddToTileset : Can not lock world.set: "},
      {{"--fail", "dsk", "d.dsk", "a.bin@#4000"},
       {"--fail", "dsk", "d.dsk", "b.bin"},
       ".d.dsk.lock",
       "PutFilesOnDisk : Can not lock d.dsk: "},
  };
  const std::pair<BadLock, std::string> kinds[] = {
      {BadLock::kLink, " is a symbolic link"},
      {BadLock::kFolder, " is not a regular file"},
      {BadLock::kUnwritable, "can not open "},
  };
  for (const auto& run : runs) {
    for (const auto& [kind, why] : kinds) {
      PlantBadLock(dir.path(), run.lock_name, kind);
      const std::vector<std::string> names = Names(dir.path());
      const TwoRuns both = RunTwoUnprivileged(GRAVIK_BIN, run.first, run.second, dir.path());
      const std::string line = kind == BadLock::kUnwritable
                                   ? run.line_head + why + run.lock_name + " for writing"
                                   : run.line_head + run.lock_name + why;
      ASSERT_FALSE(AfterStartup(both.second).empty()) << line;
      EXPECT_EQ(AfterStartup(both.second).back(), line);
      EXPECT_EQ(both.second.exit_code, 1) << line;
      EXPECT_EQ(both.first_exit_code, 1) << line;
      EXPECT_EQ(ReadFileBytes(dir.File("world.set")), set) << line;
      EXPECT_EQ(ReadFileBytes(dir.File("d.dsk")), disk) << line;
      EXPECT_EQ(ReadFileBytes(dir.File("victim")), (std::vector<uint8_t>{'k', 'e', 'e', 'p'})) << line;
      EXPECT_EQ(Names(dir.path()), names) << line;
    }
    std::filesystem::remove_all(dir.File(run.lock_name));
  }
}

TEST(GravikReliability, LockIsTakenOnlyForANameThatCanBeAFile) {
  TempDir dir;
  ASSERT_TRUE(WriteFileBytes(dir.File("a.bin"), std::vector<uint8_t>(300, 0xA5)));
  // "." is no disk: refused as the disk would be, and no "...lock" is left.
  EXPECT_EQ(Gravik(dir, {"dsk", ".", "a.bin"}).back(), "PutFilesOnDisk : . is not a regular file");
  EXPECT_EQ(Names(dir.path()), Lines{"a.bin"});
  // A disk name at the length limit still gets its (shortened) lock.
  const std::string longest = std::string(251, 'd') + ".dsk";
  EXPECT_EQ(Gravik(dir, {"dsk", longest, "a.bin"}).back(), "PutFilesOnDisk : 177 KB free on " + longest);
  EXPECT_EQ(CountEntries(dir.path()), 2);
}
