// gravik dsk through the real program. The disks it writes are read back with
// tools we did not write: cpmtools' cpmls and cpmcp (format cpcdata, through
// libdsk) and libdsk's dskid.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <sstream>

#include "common/file_lock.h"
#include "tests/test_support.h"

namespace {

constexpr char kPut[] = "PutFilesOnDisk : ";
constexpr char kList[] = "ListDisk : ";

RunResult RunGravik(const TempDir& dir, const std::vector<std::string>& args) {
  return RunProgram(GRAVIK_BIN, args, dir.path());
}

std::string ToolPath(const std::string& name) { return RequiredTool(name); }

// The tools a test reads the disks with; a missing one fails it
// (scripts/install_deps.sh installs them all).
#define REQUIRE_TOOLS(...)                                                                       \
  for (const char* tool : {"cpmls", "cpmcp", "dskid" __VA_OPT__(, ) __VA_ARGS__}) {              \
    ASSERT_FALSE(ToolPath(tool).empty()) << tool << " is not on PATH (scripts/install_deps.sh)"; \
  }

// The names cpmls lists for user 0, in its order.
std::vector<std::string> CpmNames(const TempDir& dir, const std::string& disk,
                                  const std::string& type = "edsk") {
  const RunResult run = RunProgram(ToolPath("cpmls"), {"-f", "cpcdata", "-T", type, disk}, dir.path());
  std::vector<std::string> names;
  bool is_user_0 = true;  // the first heading may be left out
  for (const std::string& line : run.lines) {
    if (!line.empty() && line.back() == ':') {
      is_user_0 = line == "0:";
    } else if (!line.empty() && is_user_0) {
      names.push_back(line);
    }
  }
  return names;
}

std::vector<uint8_t> CpmCopy(const TempDir& dir, const std::string& disk, const std::string& name,
                             const std::string& type = "edsk") {
  std::filesystem::remove(dir.File("copied"));
  RunProgram(ToolPath("cpmcp"), {"-f", "cpcdata", "-T", type, disk, "0:" + name, "copied"}, dir.path());
  return ReadFileBytes(dir.File("copied"));
}

// What we meant to store, as cpmcp gives it back: the same bytes, with at
// most the rest of the last 128-byte record after them.
void ExpectCopiedAs(const std::vector<uint8_t>& copied, const std::vector<uint8_t>& meant,
                    const std::string& name) {
  ASSERT_GE(copied.size(), meant.size()) << name;
  EXPECT_LT(copied.size() - meant.size(), 128u) << name;
  EXPECT_EQ(copied.size() % 128, 0u) << name;
  EXPECT_TRUE(std::equal(meant.begin(), meant.end(), copied.begin())) << name;
}

// An AMSDOS binary header laid out from the CPC's description: name at 1,
// type 2 at 18, load at 21, length at 24 and (24 bits) at 64, entry at 26,
// the sum of bytes 0 to 66 at 67.
std::vector<uint8_t> Header(const std::string& name11, uint32_t length, uint16_t load, uint16_t entry) {
  std::vector<uint8_t> header(128, 0);
  for (size_t i = 0; i < 11; ++i) header[1 + i] = static_cast<uint8_t>(name11[i]);
  header[18] = 2;
  header[21] = load & 0xFF, header[22] = load >> 8;
  header[24] = length & 0xFF, header[25] = (length >> 8) & 0xFF;
  header[26] = entry & 0xFF, header[27] = entry >> 8;
  header[64] = length & 0xFF, header[65] = (length >> 8) & 0xFF, header[66] = (length >> 16) & 0xFF;
  unsigned sum = 0;
  for (int i = 0; i < 67; ++i) sum += header[static_cast<size_t>(i)];
  header[67] = sum & 0xFF, header[68] = (sum >> 8) & 0xFF;
  return header;
}

std::vector<uint8_t> Joined(std::vector<uint8_t> a, const std::vector<uint8_t>& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

std::vector<uint8_t> Pattern(size_t count, uint32_t seed) {
  const std::vector<uint8_t> pens = RandomPens(static_cast<int>(count), 1, seed);
  return pens;
}

std::vector<std::string> Lines(std::initializer_list<std::string> lines) { return lines; }

// The folder holds only these names (plus the disk's hidden lock file): no
// temporary file left behind, nothing else created.
void ExpectOnlyFiles(const TempDir& dir, std::vector<std::string> names) {
  std::vector<std::string> found;
  for (const auto& entry : std::filesystem::directory_iterator(dir.path())) {
    const std::string name = entry.path().filename().string();
    if (name.size() < 5 || name.substr(name.size() - 5) != ".lock") found.push_back(name);
  }
  std::sort(found.begin(), found.end());
  std::sort(names.begin(), names.end());
  EXPECT_EQ(found, names);
}

// The sectors of an image gravik made (EXTENDED, tracks of 256 + 9 x 512
// bytes, sectors &C1 to &C9 in a row) as a raw CP/M image, and back.
constexpr size_t kTrackBytes = 256 + 9 * 512;
std::vector<uint8_t> RawSectors(const std::vector<uint8_t>& image) {
  std::vector<uint8_t> raw;
  for (size_t t = 0; t < 40; ++t) {
    const auto data = image.begin() + static_cast<ptrdiff_t>(256 + t * kTrackBytes + 256);
    raw.insert(raw.end(), data, data + 9 * 512);
  }
  return raw;
}

void PutRawSectors(std::vector<uint8_t>& image, const std::vector<uint8_t>& raw) {
  for (size_t t = 0; t < 40; ++t) {
    std::copy(raw.begin() + static_cast<ptrdiff_t>(t * 9 * 512),
              raw.begin() + static_cast<ptrdiff_t>((t + 1) * 9 * 512),
              image.begin() + static_cast<ptrdiff_t>(256 + t * kTrackBytes + 256));
  }
}

// Waits up to ten seconds for a temporary file of a run beside the disk
// holding at least min_bytes.
bool WaitForTemporaryFile(const TempDir& dir, uintmax_t min_bytes) {
  for (int k = 0; k < 10000; ++k) {
    for (const auto& entry : std::filesystem::directory_iterator(dir.path())) {
      std::error_code error;
      const uintmax_t size = std::filesystem::file_size(entry.path(), error);
      if (entry.path().filename().string().rfind(".gravik", 0) == 0 && !error && size >= min_bytes)
        return true;
    }
    usleep(1000);
  }
  return false;
}

// The process a program started (strace runs gravik as its child), 0 when none.
pid_t ChildOf(pid_t parent) {
  const std::string path =
      "/proc/" + std::to_string(parent) + "/task/" + std::to_string(parent) + "/children";
  for (int k = 0; k < 10000; ++k) {
    std::ifstream children(path);
    pid_t child = 0;
    if (children >> child && child > 0) return child;
    usleep(1000);
  }
  return 0;
}

// Starts gravik dsk d.dsk b.bin in dir and stops it with signal_number once
// its temporary file is there: while it waits for the lock held here, or
// (is_at_rename) once the new image of image_bytes is complete and strace
// holds up its rename. Returns the wait status of what was started, -1 when
// the run never made its temporary file (it is then killed).
int StopDiskRun(const TempDir& dir, bool is_at_rename, int signal_number, uintmax_t image_bytes) {
  std::optional<Checked<TargetLock>> lock;
  if (!is_at_rename) lock.emplace(TakeTargetLock(dir.File("d.dsk")));
  const std::vector<std::string> run = {"dsk", "d.dsk", "b.bin"};
  std::vector<std::string> traced = {"-o",      "/dev/null",
                                     "-E",      "ASAN_OPTIONS=detect_leaks=0",
                                     "-e",      "trace=rename,renameat,renameat2",
                                     "-e",      "inject=rename,renameat,renameat2:delay_enter=2s",
                                     GRAVIK_BIN};
  traced.insert(traced.end(), run.begin(), run.end());
  const pid_t started = is_at_rename ? StartProgram(ToolPath("strace"), traced, dir.path())
                                     : StartProgram(GRAVIK_BIN, run, dir.path());
  const bool is_under_way = WaitForTemporaryFile(dir, is_at_rename ? image_bytes : 0);
  const pid_t gravik = is_at_rename ? ChildOf(started) : started;
  kill(gravik > 0 ? gravik : started, is_under_way && gravik > 0 ? signal_number : SIGKILL);
  const int status = WaitForProgram(started);
  return is_under_way ? status : -1;
}

// TMPDIR names folder for the programs started while this lives.
class TemporaryFolderSetting {
 public:
  explicit TemporaryFolderSetting(const std::string& folder) {
    const char* previous = std::getenv("TMPDIR");
    if (previous != nullptr) previous_ = previous;
    setenv("TMPDIR", folder.c_str(), 1);
  }
  ~TemporaryFolderSetting() {
    if (previous_) {
      setenv("TMPDIR", previous_->c_str(), 1);
    } else {
      unsetenv("TMPDIR");
    }
  }
  TemporaryFolderSetting(const TemporaryFolderSetting&) = delete;
  TemporaryFolderSetting& operator=(const TemporaryFolderSetting&) = delete;

 private:
  std::optional<std::string> previous_;
};

}  // namespace

TEST(GravikDisk, NewDiskThatCpmtoolsAndDskidRead) {
  REQUIRE_TOOLS();
  const TempDir dir;
  const std::vector<uint8_t> screen = Pattern(16384, 1);
  const std::vector<uint8_t> code = Pattern(3000, 2);
  const std::vector<uint8_t> big = Pattern(40000, 3);  // three directory entries
  const std::string text = "10 PRINT \"HELLO\"\r\n";
  ASSERT_TRUE(WriteFileBytes(dir.File("title.scr"), screen));
  ASSERT_TRUE(WriteFileBytes(dir.File("code.bin"), code));
  ASSERT_TRUE(WriteFileBytes(dir.File("big.bin"), big));
  ASSERT_TRUE(WriteFileBytes(dir.File("notes.txt"), std::vector<uint8_t>(text.begin(), text.end())));
  EXPECT_EQ(AfterStartup(RunGravik(dir, {"dsk", "new.dsk", "title.scr@&C000", "code.bin@#4000,0x4010",
                                         "big.bin", "notes.txt@-"})),
            Lines({std::string(kPut) + "Putting files on new.dsk",
                   std::string(kPut) + "TITLE.SCR, 16384 bytes, load &C000, entry &0000",
                   std::string(kPut) + "CODE.BIN, 3000 bytes, load &4000, entry &4010",
                   std::string(kPut) + "BIG.BIN, 40000 bytes, load &0000, entry &0000",
                   std::string(kPut) + "NOTES.TXT, 18 bytes, no header",
                   std::string(kPut) + "116 KB free on new.dsk"}));
  EXPECT_EQ(CpmNames(dir, "new.dsk"), Lines({"big.bin", "code.bin", "notes.txt", "title.scr"}));
  ExpectCopiedAs(CpmCopy(dir, "new.dsk", "title.scr"),
                 Joined(Header("TITLE   SCR", 16384, 0xC000, 0), screen), "title");
  ExpectCopiedAs(CpmCopy(dir, "new.dsk", "code.bin"),
                 Joined(Header("CODE    BIN", 3000, 0x4000, 0x4010), code), "code");
  ExpectCopiedAs(CpmCopy(dir, "new.dsk", "big.bin"), Joined(Header("BIG     BIN", 40000, 0, 0), big), "big");
  ExpectCopiedAs(CpmCopy(dir, "new.dsk", "notes.txt"), std::vector<uint8_t>(text.begin(), text.end()),
                 "notes");

  const RunResult id = RunProgram(ToolPath("dskid"), {"new.dsk"}, dir.path());
  const std::string& said = id.raw_output;
  EXPECT_NE(said.find("Extended .DSK driver"), std::string::npos) << said;
  EXPECT_NE(said.find("Cylinders:     40"), std::string::npos) << said;
  EXPECT_NE(said.find("Sectors:        9"), std::string::npos) << said;
  EXPECT_NE(said.find("First sector: 193"), std::string::npos) << said;
  EXPECT_EQ(ReadFileBytes(dir.File("new.dsk")).size(), 194816u);

  EXPECT_EQ(AfterStartup(RunGravik(dir, {"dsk", "new.dsk"})),
            Lines({std::string(kList) + "TITLE.SCR, 16384 bytes, load &C000, entry &0000",
                   std::string(kList) + "CODE.BIN, 3000 bytes, load &4000, entry &4010",
                   std::string(kList) + "BIG.BIN, 40000 bytes, load &0000, entry &0000",
                   std::string(kList) + "NOTES.TXT, 128 bytes, no header",
                   std::string(kList) + "116 KB free on new.dsk"}));
}

TEST(GravikDisk, AddingAndReplacingKeepTheOtherFiles) {
  REQUIRE_TOOLS();
  const TempDir dir;
  ASSERT_TRUE(WriteFileBytes(dir.File("a.bin"), Pattern(20000, 4)));
  ASSERT_TRUE(WriteFileBytes(dir.File("b.bin"), Pattern(500, 5)));
  RunGravik(dir, {"dsk", "d.dsk", "a.bin"});
  RunGravik(dir, {"dsk", "d.dsk", "b.bin@1000"});
  EXPECT_EQ(CpmNames(dir, "d.dsk"), Lines({"a.bin", "b.bin"}));
  // A smaller A.BIN replaces the old one and gives its blocks back: 900 bytes
  // and the header take 2 blocks, B.BIN 1.
  const std::vector<uint8_t> smaller = Pattern(900, 6);
  ASSERT_TRUE(WriteFileBytes(dir.File("a.bin"), smaller));
  EXPECT_EQ(AfterStartup(RunGravik(dir, {"dsk", "d.dsk", "a.bin@0x8000"})),
            Lines({std::string(kPut) + "Putting files on d.dsk",
                   std::string(kPut) + "A.BIN, 900 bytes, load &8000, entry &0000, replaces the old one",
                   std::string(kPut) + "175 KB free on d.dsk"}));
  EXPECT_EQ(CpmNames(dir, "d.dsk"), Lines({"a.bin", "b.bin"}));
  ExpectCopiedAs(CpmCopy(dir, "d.dsk", "a.bin"), Joined(Header("A       BIN", 900, 0x8000, 0), smaller), "a");
  ExpectCopiedAs(CpmCopy(dir, "d.dsk", "b.bin"), Joined(Header("B       BIN", 500, 1000, 0), Pattern(500, 5)),
                 "b");
}

TEST(GravikDisk, AnOldStyleContainerStaysOldStyle) {
  REQUIRE_TOOLS("dskform");
  const TempDir dir;
  RunProgram(ToolPath("dskform"), {"-type", "dsk", "-format", "cpcdata", "old.dsk"}, dir.path());
  ASSERT_EQ(ReadFileBytes(dir.File("old.dsk")).size() > 8, true);
  ASSERT_TRUE(WriteFileBytes(dir.File("x.bin"), Pattern(1000, 7)));
  RunGravik(dir, {"dsk", "old.dsk", "x.bin@#1234,#5678"});
  const std::vector<uint8_t> image = ReadFileBytes(dir.File("old.dsk"));
  EXPECT_EQ(std::string(image.begin(), image.begin() + 8), "MV - CPC");
  EXPECT_EQ(CpmNames(dir, "old.dsk", "dsk"), Lines({"x.bin"}));
  ExpectCopiedAs(CpmCopy(dir, "old.dsk", "x.bin", "dsk"),
                 Joined(Header("X       BIN", 1000, 0x1234, 0x5678), Pattern(1000, 7)), "x");
}

TEST(GravikDisk, TheSectorOrderOfEachTrackIsKept) {
  REQUIRE_TOOLS();
  const TempDir dir;
  ASSERT_TRUE(WriteFileBytes(dir.File("a.bin"), Pattern(3000, 19)));
  RunGravik(dir, {"dsk", "d.dsk", "a.bin"});
  // Track 0 of the EXTENDED container: its information block at &100, the
  // sector list from &118 (8 bytes a sector, the ID third), the data from &200.
  // Swapping the first two sectors, IDs and data, gives the order &C2, &C1.
  std::vector<uint8_t> image = ReadFileBytes(dir.File("d.dsk"));
  ASSERT_EQ(image[0x118 + 2], 0xC1);
  std::swap(image[0x118 + 2], image[0x120 + 2]);
  std::swap_ranges(image.begin() + 0x200, image.begin() + 0x400, image.begin() + 0x400);
  ASSERT_TRUE(WriteFileBytes(dir.File("d.dsk"), image));
  ASSERT_EQ(CpmNames(dir, "d.dsk"), Lines({"a.bin"}));
  ASSERT_TRUE(WriteFileBytes(dir.File("b.bin"), Pattern(100, 20)));
  RunGravik(dir, {"dsk", "d.dsk", "b.bin"});
  const std::vector<uint8_t> after = ReadFileBytes(dir.File("d.dsk"));
  EXPECT_EQ(after[0x118 + 2], 0xC2);
  EXPECT_EQ(after[0x120 + 2], 0xC1);
  EXPECT_EQ(CpmNames(dir, "d.dsk"), Lines({"a.bin", "b.bin"}));
  ExpectCopiedAs(CpmCopy(dir, "d.dsk", "a.bin"), Joined(Header("A       BIN", 3000, 0, 0), Pattern(3000, 19)),
                 "a");
}

TEST(GravikDisk, AFileWithAHeaderKeepsItsOwn) {
  REQUIRE_TOOLS();
  const TempDir dir;
  const std::vector<uint8_t> body = Pattern(700, 8);
  const std::vector<uint8_t> with_header = Joined(Header("GAME    BIN", 700, 0x4000, 0x4000), body);
  ASSERT_TRUE(WriteFileBytes(dir.File("game.bin"), with_header));
  ASSERT_TRUE(WriteFileBytes(dir.File("moved.bin"), with_header));
  // 128 zero bytes have a checksum of 0 but are a black screen line, not a header.
  const std::vector<uint8_t> black = Joined(std::vector<uint8_t>(128, 0), Pattern(100, 9));
  ASSERT_TRUE(WriteFileBytes(dir.File("black.scr"), black));
  ASSERT_TRUE(WriteFileBytes(dir.File("as_is.bin"), with_header));
  EXPECT_EQ(AfterStartup(RunGravik(
                dir, {"dsk", "h.dsk", "game.bin", "moved.bin@&8000,&8003", "as_is.bin@-", "black.scr"})),
            Lines({std::string(kPut) + "Putting files on h.dsk",
                   std::string(kPut) + "GAME.BIN, 700 bytes, load &4000, entry &4000, its own header",
                   std::string(kPut) + "MOVED.BIN, 700 bytes, load &8000, entry &8003, its own header",
                   std::string(kPut) + "AS_IS.BIN, 700 bytes, load &4000, entry &4000, its own header",
                   std::string(kPut) + "BLACK.SCR, 228 bytes, load &0000, entry &0000",
                   std::string(kPut) + "174 KB free on h.dsk"}));
  ExpectCopiedAs(CpmCopy(dir, "h.dsk", "game.bin"), with_header, "game");
  ExpectCopiedAs(CpmCopy(dir, "h.dsk", "as_is.bin"), with_header, "as_is");
  // The name in a kept header stays as it was; only the addresses and the checksum change.
  ExpectCopiedAs(CpmCopy(dir, "h.dsk", "moved.bin"), Joined(Header("GAME    BIN", 700, 0x8000, 0x8003), body),
                 "moved");
  ExpectCopiedAs(CpmCopy(dir, "h.dsk", "black.scr"), Joined(Header("BLACK   SCR", 228, 0, 0), black),
                 "black");
}

TEST(GravikDisk, SixtyFourEntriesThenTheDirectoryIsFull) {
  REQUIRE_TOOLS();
  const TempDir dir;
  std::vector<std::string> args = {"dsk", "full.dsk"};
  for (int i = 0; i < 64; ++i) {
    const std::string name = "f" + std::to_string(i) + ".bin";
    ASSERT_TRUE(WriteFileBytes(dir.File(name), {static_cast<uint8_t>(i)}));
    args.push_back(name);
  }
  const RunResult filled = RunGravik(dir, args);
  EXPECT_EQ(AfterStartup(filled).back(), std::string(kPut) + "114 KB free on full.dsk");
  EXPECT_EQ(CpmNames(dir, "full.dsk").size(), 64u);
  const std::vector<uint8_t> before = ReadFileBytes(dir.File("full.dsk"));
  ASSERT_TRUE(WriteFileBytes(dir.File("more.bin"), {1, 2, 3}));
  EXPECT_EQ(
      AfterStartup(RunGravik(dir, {"dsk", "full.dsk", "more.bin"})),
      Lines({std::string(kPut) + "Putting files on full.dsk",
             std::string(kPut) + "full.dsk: the directory is full: the files need 1 entries, 0 are free"}));
  EXPECT_EQ(ReadFileBytes(dir.File("full.dsk")), before);
  // Replacing a file frees its entry first, so it still fits.
  ASSERT_TRUE(WriteFileBytes(dir.File("f5.bin"), Pattern(2000, 10)));
  RunGravik(dir, {"dsk", "full.dsk", "f5.bin"});
  ExpectCopiedAs(CpmCopy(dir, "full.dsk", "f5.bin"),
                 Joined(Header("F5      BIN", 2000, 0, 0), Pattern(2000, 10)), "f5");
}

TEST(GravikDisk, AFullDiskRefusesTheFileThatDoesNotFit) {
  REQUIRE_TOOLS();
  const TempDir dir;
  // The largest file and a header: 65 blocks of 1 KB each; 178 - 130 leaves 48 KB.
  ASSERT_TRUE(WriteFileBytes(dir.File("a.bin"), Pattern(0xFFFF, 11)));
  ASSERT_TRUE(WriteFileBytes(dir.File("b.bin"), Pattern(0xFFFF, 12)));
  ASSERT_TRUE(WriteFileBytes(dir.File("c.bin"), Pattern(48 * 1024, 13)));
  RunGravik(dir, {"dsk", "d.dsk", "a.bin", "b.bin"});
  const std::vector<uint8_t> before = ReadFileBytes(dir.File("d.dsk"));
  EXPECT_EQ(AfterStartup(RunGravik(dir, {"dsk", "d.dsk", "c.bin"})),
            Lines({std::string(kPut) + "Putting files on d.dsk",
                   std::string(kPut) + "d.dsk: the disk is full: the files need 49 KB, 48 KB are free"}));
  EXPECT_EQ(ReadFileBytes(dir.File("d.dsk")), before);
  ASSERT_TRUE(WriteFileBytes(dir.File("c.bin"), Pattern(48 * 1024 - 128, 13)));
  EXPECT_EQ(AfterStartup(RunGravik(dir, {"dsk", "d.dsk", "c.bin"})).back(),
            std::string(kPut) + "0 KB free on d.dsk");
  EXPECT_EQ(CpmNames(dir, "d.dsk"), Lines({"a.bin", "b.bin", "c.bin"}));
  ExpectCopiedAs(CpmCopy(dir, "d.dsk", "b.bin"),
                 Joined(Header("B       BIN", 0xFFFF, 0, 0), Pattern(0xFFFF, 12)), "b");
}

TEST(GravikDisk, RefusalsLeaveTheDiskByteForByte) {
  const TempDir dir;
  ASSERT_TRUE(WriteFileBytes(dir.File("ok.bin"), Pattern(100, 14)));
  ASSERT_TRUE(WriteFileBytes(dir.File("huge.bin"), Pattern(0x10001, 15)));
  ASSERT_TRUE(WriteFileBytes(dir.File("exact.bin"), Pattern(0x10000, 16)));
  ASSERT_TRUE(WriteFileBytes(dir.File("max.bin"), Pattern(0xFFFF, 16)));
  // A header of its own can not make 64 KB fit: its 16-bit length can not tell them.
  ASSERT_TRUE(WriteFileBytes(dir.File("own.bin"),
                             Joined(Header("OWN     BIN", 0x10000, 0, 0), Pattern(0x10000, 16))));
  ASSERT_TRUE(WriteFileBytes(dir.File("long-name.bin"), Pattern(10, 17)));
  ASSERT_EQ(mkfifo(dir.File("pipe.bin").c_str(), 0600), 0);  // must be refused, not waited on
  RunGravik(dir, {"dsk", "d.dsk", "ok.bin"});
  const std::vector<uint8_t> disk = ReadFileBytes(dir.File("d.dsk"));
  ASSERT_EQ(disk.size(), 194816u);
  const struct {
    std::vector<std::string> files;
    std::string line;
  } cases[] = {
      {{"ok.bin", "missing.bin"}, "Can not find missing.bin"},
      {{"huge.bin"}, "huge.bin is over 65535 bytes"},
      {{"exact.bin"}, "exact.bin is over 65535 bytes"},
      {{"exact.bin@-"}, "exact.bin is over 65535 bytes"},
      {{"own.bin"}, "own.bin is over 65535 bytes"},
      {{"pipe.bin"}, "pipe.bin is not a regular file"},
      {{"long-name.bin"},
       "\"long-name.bin\" does not make a CP/M name: 1 to 8 characters, a dot and 1 to 3 more, no spaces nor "
       "< > , ; : = ? * [ ] | \" \\"},
      {{"ok.bin@&10000"}, "\"&10000\" is not an address: #C000, &C000, 0xC000 or decimal, at most &FFFF"},
      {{"ok.bin@#4000,start"}, "\"start\" is not an address: #C000, &C000, 0xC000 or decimal, at most &FFFF"},
      {{"ok.bin", "./OK.BIN@-"}, "OK.BIN is given twice"},
      {{"max.bin", "max.bin@0"}, "MAX.BIN is given twice"},
  };
  for (const auto& c : cases) {
    std::vector<std::string> args = {"dsk", "d.dsk"};
    args.insert(args.end(), c.files.begin(), c.files.end());
    EXPECT_EQ(AfterStartup(RunGravik(dir, args)),
              Lines({std::string(kPut) + "Putting files on d.dsk", std::string(kPut) + c.line}));
    EXPECT_EQ(ReadFileBytes(dir.File("d.dsk")), disk) << c.line;
  }
  // The same refusals on a disk that does not exist yet create nothing.
  EXPECT_EQ(AfterStartup(RunGravik(dir, {"dsk", "new.dsk", "missing.bin"})).back(),
            std::string(kPut) + "Can not find missing.bin");
  ExpectOnlyFiles(
      dir, {"d.dsk", "ok.bin", "huge.bin", "exact.bin", "max.bin", "own.bin", "long-name.bin", "pipe.bin"});
}

TEST(GravikDisk, ImagesThatAreNotDataDisksAreRefused) {
  const TempDir dir;
  ASSERT_TRUE(WriteFileBytes(dir.File("ok.bin"), Pattern(100, 18)));
  RunGravik(dir, {"dsk", "good.dsk", "ok.bin"});
  const std::vector<uint8_t> good = ReadFileBytes(dir.File("good.dsk"));
  ASSERT_EQ(good.size(), 194816u);

  std::vector<uint8_t> text(5000, 'x');
  std::vector<uint8_t> truncated(good.begin(), good.begin() + 100000);
  std::vector<uint8_t> forty_two_tracks = good;
  forty_two_tracks[0x30] = 42;
  // The first track's sector &C1 renamed &41 (an IBM-style ID): still a
  // container, no longer a DATA disk.
  std::vector<uint8_t> wrong_ids = good;
  wrong_ids[0x100 + 0x18 + 2] = 0x41;
  // The directory's first entry pointing at a block past the end of the disk;
  // the sector data of track 0 start at &200 in the EXTENDED container.
  // Sector 9 of track 38 claiming &E500 bytes of data: libdsk would read past
  // its buffer (a fuzzing find), so the container is checked before it.
  std::vector<uint8_t> long_sector = good;
  long_sector[0x100 + 38 * 0x1300 + 0x18 + 8 * 8 + 7] = 0xE5;
  // Sectors a disk controller reads with an error: a CRC error in the data
  // (ST2 bit 5 at byte 5 of the sector's entry), and an ID naming cylinder 7
  // on track 3.
  std::vector<uint8_t> crc_error = good;
  crc_error[0x100 + 0x18 + 8 * 4 + 5] = 0x20;
  std::vector<uint8_t> wrong_cylinder = good;
  wrong_cylinder[0x100 + 3 * 0x1300 + 0x18] = 7;
  std::vector<uint8_t> bad_directory = good;
  bad_directory[0x200 + 16] = 200;
  const struct {
    std::string name;
    std::vector<uint8_t> bytes;
    std::string line;
  } cases[] = {
      {"text.dsk", text, "text.dsk is not a CPC disk image"},
      {"short.dsk", {'E', 'X'}, "short.dsk is not a CPC disk image"},
      {"cut.dsk", truncated, "cut.dsk is a damaged disk image (track 20 is cut short)"},
      {"wide.dsk", forty_two_tracks,
       "wide.dsk is not in the DATA format (one side, 40 tracks of 9 sectors &C1 to &C9)"},
      {"ibm.dsk", wrong_ids,
       "ibm.dsk is not in the DATA format (track 0 is not 9 sectors of 512 bytes, &C1 to &C9)"},
      {"long.dsk", long_sector,
       "long.dsk is not in the DATA format (track 38 is not 9 sectors of 512 bytes, &C1 to &C9)"},
      {"crc.dsk", crc_error, "crc.dsk is damaged or not in the DATA format"},
      {"cyl.dsk", wrong_cylinder, "cyl.dsk is damaged or not in the DATA format"},
      {"dir.dsk", bad_directory, "dir.dsk: damaged directory: entry 0 points to block 200"},
  };
  for (const auto& c : cases) {
    ASSERT_TRUE(WriteFileBytes(dir.File(c.name), c.bytes));
    EXPECT_EQ(AfterStartup(RunGravik(dir, {"dsk", c.name, "ok.bin"})),
              Lines({std::string(kPut) + "Putting files on " + c.name, std::string(kPut) + c.line}));
    EXPECT_EQ(ReadFileBytes(dir.File(c.name)), c.bytes) << c.name;
    EXPECT_EQ(AfterStartup(RunGravik(dir, {"dsk", c.name})), Lines({std::string(kList) + c.line}));
  }
  ExpectOnlyFiles(dir, {"ok.bin", "good.dsk", "text.dsk", "short.dsk", "cut.dsk", "wide.dsk", "ibm.dsk",
                        "long.dsk", "crc.dsk", "cyl.dsk", "dir.dsk"});
}

TEST(GravikDisk, ListingAMissingDiskCreatesNothing) {
  const TempDir dir;
  EXPECT_EQ(AfterStartup(RunGravik(dir, {"dsk", "none.dsk"})),
            Lines({std::string(kList) + "Can not find none.dsk"}));
  EXPECT_EQ(CountEntries(dir.path()), 0);
  ASSERT_TRUE(std::filesystem::create_directory(dir.File("folder.dsk")));
  EXPECT_EQ(AfterStartup(RunGravik(dir, {"dsk", "folder.dsk"})),
            Lines({std::string(kList) + "folder.dsk is not a regular file"}));
}

// A file whose first 128 bytes pass the checksum and name a file but claim
// &FFFFFF bytes holds 200: that is no header, on the way in or in a listing.
TEST(GravikDisk, AHeaderCountsOnlyWhenItsLengthIsTheFile) {
  REQUIRE_TOOLS();
  const TempDir dir;
  const std::vector<uint8_t> liar = Joined(Header("LIAR    BIN", 0xFFFFFF, 0x4000, 0x4000), Pattern(72, 21));
  // Copied off a disk: the header's length, then the rest of its last record.
  const std::vector<uint8_t> copied = Joined(
      Joined(Header("COPIED  BIN", 300, 0x8000, 0x8000), Pattern(300, 22)), std::vector<uint8_t>(84, 0x1A));
  ASSERT_TRUE(WriteFileBytes(dir.File("liar.bin"), liar));
  ASSERT_TRUE(WriteFileBytes(dir.File("kept.bin"), liar));
  ASSERT_TRUE(WriteFileBytes(dir.File("copied.bin"), copied));
  EXPECT_EQ(AfterStartup(RunGravik(dir, {"dsk", "h.dsk", "liar.bin", "copied.bin", "kept.bin@-"})),
            Lines({std::string(kPut) + "Putting files on h.dsk",
                   std::string(kPut) + "LIAR.BIN, 200 bytes, load &0000, entry &0000",
                   std::string(kPut) + "COPIED.BIN, 300 bytes, load &8000, entry &8000, its own header",
                   std::string(kPut) + "KEPT.BIN, 200 bytes, no header",
                   std::string(kPut) + "175 KB free on h.dsk"}));
  ExpectCopiedAs(CpmCopy(dir, "h.dsk", "liar.bin"), Joined(Header("LIAR    BIN", 200, 0, 0), liar), "liar");
  ExpectCopiedAs(CpmCopy(dir, "h.dsk", "copied.bin"), copied, "copied");
  EXPECT_EQ(AfterStartup(RunGravik(dir, {"dsk", "h.dsk"})),
            Lines({std::string(kList) + "LIAR.BIN, 200 bytes, load &0000, entry &0000",
                   std::string(kList) + "COPIED.BIN, 300 bytes, load &8000, entry &8000",
                   std::string(kList) + "KEPT.BIN, 256 bytes, no header",
                   std::string(kList) + "175 KB free on h.dsk"}));
}

// A CP/M Plus disk made by cpmtools, with a label, date stamps and a password
// in its directory, is read, listed and added to, and keeps those entries.
TEST(GravikDisk, ACpmPlusDiskKeepsItsLabelStampsAndPassword) {
  REQUIRE_TOOLS("mkfs.cpm");
  const TempDir dir;
  ASSERT_TRUE(WriteFileBytes(dir.File("a.bin"), Pattern(700, 23)));
  ASSERT_TRUE(WriteFileBytes(dir.File("b.bin"), Pattern(500, 24)));
  RunGravik(dir, {"dsk", "plus.dsk", "b.bin"});
  std::vector<uint8_t> image = ReadFileBytes(dir.File("plus.dsk"));
  ASSERT_EQ(image.size(), 194816u);
  ASSERT_TRUE(WriteFileBytes(dir.File("raw.img"), RawSectors(image)));
  ASSERT_EQ(RunProgram(ToolPath("mkfs.cpm"), {"-f", "cpcdata", "-L", "GAMES", "-t", "raw.img"}, dir.path())
                .exit_code,
            0);
  ASSERT_EQ(
      RunProgram(ToolPath("cpmcp"), {"-f", "cpcdata", "-T", "raw", "raw.img", "a.bin", "0:a.bin"}, dir.path())
          .exit_code,
      0);
  // The label is entry 0, the date stamps of entries 0 to 2 are entry 3.
  // Entry 4 becomes A.BIN's password entry (&10 + its user): its name, then
  // mode, key and password bytes where a file's blocks would be.
  std::vector<uint8_t> raw = ReadFileBytes(dir.File("raw.img"));
  std::filesystem::remove(dir.File("raw.img"));
  ASSERT_EQ(raw[0], 0x20);
  ASSERT_EQ(raw[3 * 32], 0x21);
  ASSERT_EQ(raw[4 * 32], 0xE5);
  std::copy(raw.begin() + 32, raw.begin() + 64, raw.begin() + 4 * 32);
  raw[4 * 32] = 0x10;
  std::fill(raw.begin() + 4 * 32 + 12, raw.begin() + 5 * 32, 0xD7);
  PutRawSectors(image, raw);
  ASSERT_TRUE(WriteFileBytes(dir.File("plus.dsk"), image));
  EXPECT_EQ(AfterStartup(RunGravik(dir, {"dsk", "plus.dsk"})),
            Lines({std::string(kList) + "A.BIN, 768 bytes, no header",
                   std::string(kList) + "177 KB free on plus.dsk"}));
  EXPECT_EQ(AfterStartup(RunGravik(dir, {"dsk", "plus.dsk", "b.bin"})),
            Lines({std::string(kPut) + "Putting files on plus.dsk",
                   std::string(kPut) + "B.BIN, 500 bytes, load &0000, entry &0000",
                   std::string(kPut) + "176 KB free on plus.dsk"}));
  EXPECT_EQ(CpmNames(dir, "plus.dsk"), Lines({"a.bin", "b.bin"}));
  ExpectCopiedAs(CpmCopy(dir, "plus.dsk", "b.bin"),
                 Joined(Header("B       BIN", 500, 0, 0), Pattern(500, 24)), "b");
  const std::vector<uint8_t> after = RawSectors(ReadFileBytes(dir.File("plus.dsk")));
  EXPECT_TRUE(std::equal(raw.begin(), raw.begin() + 32, after.begin()));
  EXPECT_TRUE(std::equal(raw.begin() + 3 * 32, raw.begin() + 5 * 32, after.begin() + 3 * 32));
}

// Disk images are durable: the new image is synced before the rename that
// replaces the old, and the folder after it.
TEST(GravikDisk, TheNewImageReachesTheDiskBeforeReplacingTheOld) {
  REQUIRE_TOOLS("strace");
  const TempDir dir;
  ASSERT_TRUE(WriteFileBytes(dir.File("a.bin"), Pattern(100, 25)));
  RunGravik(dir, {"dsk", "d.dsk", "a.bin"});
  // The leak checker of a sanitizer build can not run under a tracer.
  const RunResult traced =
      RunProgram(ToolPath("strace"),
                 {"-o", "trace.txt", "-E", "ASAN_OPTIONS=detect_leaks=0", "-e",
                  "trace=fsync,fdatasync,rename,renameat,renameat2", GRAVIK_BIN, "dsk", "d.dsk", "a.bin"},
                 dir.path());
  ASSERT_EQ(traced.exit_code, 0);
  const std::vector<std::string> trace = ReadTextLines(dir.File("trace.txt"));
  size_t rename_line = trace.size();
  for (size_t k = 0; k < trace.size(); ++k) {
    if (trace[k].rfind("rename", 0) == 0 && trace[k].find("\"d.dsk\"") != std::string::npos) rename_line = k;
  }
  ASSERT_LT(rename_line, trace.size());
  const auto is_sync = [](const std::string& line) {
    return line.rfind("fsync(", 0) == 0 && line.ends_with("= 0");
  };
  EXPECT_TRUE(rename_line > 0 && is_sync(trace[rename_line - 1]));
  EXPECT_TRUE(rename_line + 1 < trace.size() && is_sync(trace[rename_line + 1]));
}

// A run stopped by Ctrl-C or SIGTERM removes its temporary files, whether it
// waits for the disk's lock or is putting the new image in place (its rename
// held up by strace), and the disk is then the old one or the new one, whole.
TEST(GravikDisk, AStoppedRunLeavesNoTemporaryFile) {
  REQUIRE_TOOLS("strace");
  const TempDir dir;
  const TempDir done;
  const TempDir temp_folder;
  for (const TempDir* folder : {&dir, &done}) {
    ASSERT_TRUE(WriteFileBytes(folder->File("a.bin"), Pattern(3000, 26)));
    ASSERT_TRUE(WriteFileBytes(folder->File("b.bin"), Pattern(5000, 27)));
    RunGravik(*folder, {"dsk", "d.dsk", "a.bin"});
  }
  RunGravik(done, {"dsk", "d.dsk", "b.bin"});
  const std::vector<uint8_t> old_disk = ReadFileBytes(dir.File("d.dsk"));
  const std::vector<uint8_t> new_disk = ReadFileBytes(done.File("d.dsk"));
  const TemporaryFolderSetting setting(temp_folder.path().string());
  for (const bool is_at_rename : {false, true}) {
    for (const int signal_number : {SIGTERM, SIGINT}) {
      ASSERT_TRUE(WriteFileBytes(dir.File("d.dsk"), old_disk));
      const int status = StopDiskRun(dir, is_at_rename, signal_number, old_disk.size());
      const std::string name =
          std::string(is_at_rename ? "at the rename, " : "waiting, ") + strsignal(signal_number);
      EXPECT_NE(status, -1) << name << ": no temporary file";
      if (!is_at_rename) {
        EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == signal_number) << name;
      }
      ExpectOnlyFiles(dir, {"a.bin", "b.bin", "d.dsk"});
      const std::vector<uint8_t> disk = ReadFileBytes(dir.File("d.dsk"));
      EXPECT_TRUE(disk == old_disk || disk == new_disk) << name;
      EXPECT_TRUE(std::filesystem::is_empty(temp_folder.path())) << name;
    }
  }
}
