// The masked draw and restore routines assembled by pasmo and run on a Z80
// over a memory image laid out like the CPC screen.
#include <gtest/gtest.h>

#include <cstdlib>
#include <random>

#include "common/cpc_pixels.h"
#include "tests/asm_check.h"
#include "tests/test_support.h"
#include "tests/z80_harness.h"
#include "toolkit/sprites/draw_restore.h"

namespace {

constexpr uint16_t kScreen = 0xC000;
constexpr int kScreenBytesPerLine = 80;
constexpr uint16_t kCodeAddress = 0x4000;
constexpr uint16_t kBufferAddress = 0x8000;  // a page boundary: "inc E" never wraps inside 256 bytes
constexpr int kLineStep = 0x800;             // the next pixel line of a character row

struct Assembled {
  std::vector<uint8_t> code;
  bool is_ok = false;
};

Assembled AssembleLines(const TempDir& dir, const std::string& name, const std::vector<std::string>& lines) {
  const std::string path = dir.File(name);
  WriteTextFile(path, lines);
  const AssembledSource source = AssembleWithPasmo(path);
  EXPECT_TRUE(source.is_ok) << source.messages;
  return {source.binary, source.is_ok};
}

// A screen full of known bytes, different at every address.
void FillBackground(Z80Machine& z80, uint32_t seed) {
  std::mt19937 generator(seed);
  for (int address = kScreen; address <= 0xFFFF; ++address) {
    z80.memory()[address] = static_cast<uint8_t>(generator());
  }
}

// The screen as the draw routine must leave it: each pair with ink written
// over the background, transparent pixels keeping the background's half.
std::array<uint8_t, 65536> ExpectedScreen(const std::array<uint8_t, 65536>& before, const std::vector<uint8_t>& pens,
                                          int width, int height, uint16_t first_byte) {
  std::array<uint8_t, 65536> after = before;
  for (int line = 0; line < height; ++line) {
    for (int column = 0; column < width / 2; ++column) {
      const uint8_t left = pens[line * width + 2 * column] & 15;
      const uint8_t right = pens[line * width + 2 * column + 1] & 15;
      const uint16_t address = static_cast<uint16_t>(first_byte + column + line * kLineStep);
      const uint8_t ink = EncodeMode0Byte(left, right);
      if (left == 0 && right == 0) continue;
      if (left == 0) {
        after[address] = static_cast<uint8_t>((before[address] & 0xAA) | ink);
      } else if (right == 0) {
        after[address] = static_cast<uint8_t>((before[address] & 0x55) | ink);
      } else {
        after[address] = ink;
      }
    }
  }
  return after;
}

// A third of the pixels transparent; pens 16 to 31 fold onto 0 to 15.
std::vector<uint8_t> ObjectPens(int width, int height, uint32_t seed) {
  std::vector<uint8_t> pens = RandomPens(width, height, seed, 48);
  for (uint8_t& pen : pens) {
    if (pen >= 32) pen = 0;
  }
  return pens;
}

// Runs the assembled routines over a patterned screen: the draw must leave
// the expected screen and the restore the background, in the times and with
// the buffer size that code reports.
void CheckOnScreen(const std::vector<uint8_t>& draw_code, const std::vector<uint8_t>& restore_code,
                   const DrawRestoreCode& code, const std::vector<uint8_t>& pens, int width, int height,
                   uint32_t seed) {
  Z80Machine z80;
  FillBackground(z80, seed);
  const std::array<uint8_t, 65536> background = z80.memory();
  // Character row 3, byte column 10 of a mode 0 screen.
  const uint16_t first_byte = static_cast<uint16_t>(kScreen + 3 * kScreenBytesPerLine + 10);
  z80.Load(kCodeAddress, draw_code);
  z80.SetRegister(Z80Register::kHL, first_byte);
  z80.SetRegister(Z80Register::kDE, kBufferAddress);
  const CallResult drawn = z80.Call(kCodeAddress);
  ASSERT_TRUE(drawn.has_returned);
  const std::array<uint8_t, 65536> expected = ExpectedScreen(background, pens, width, height, first_byte);
  for (int address = kScreen; address <= 0xFFFF; ++address) {
    ASSERT_EQ(z80.memory()[address], expected[address]) << "screen byte #" << std::hex << address;
  }
  EXPECT_EQ(z80.Register(Z80Register::kDE), kBufferAddress + code.buffer_bytes);
  // "ld BC,nn" takes 3 NOP units on the CPC but is reported as 4.
  EXPECT_EQ(TotalNopUnits(drawn.instructions) + 1, code.draw_time_nops);

  z80.Load(kCodeAddress, restore_code);
  z80.SetRegister(Z80Register::kHL, first_byte);
  z80.SetRegister(Z80Register::kDE, kBufferAddress);
  const CallResult restored = z80.Call(kCodeAddress);
  ASSERT_TRUE(restored.has_returned);
  for (int address = kScreen; address <= 0xFFFF; ++address) {
    ASSERT_EQ(z80.memory()[address], background[address]) << "screen byte #" << std::hex << address;
  }
  EXPECT_EQ(TotalNopUnits(restored.instructions), code.restore_time_nops);
}

void RunOnScreen(const TempDir& dir, int width, int height, uint32_t seed, bool word_pointer) {
  SCOPED_TRACE(std::to_string(width) + "x" + std::to_string(height) + " seed " + std::to_string(seed));
  const std::vector<uint8_t> pens = ObjectPens(width, height, seed);
  const Picture view = PictureFromPens(width, height, pens.data());
  const DrawRestoreCode code = GenerateDrawRestoreLines(view, width, height, "obj", word_pointer);
  const Assembled draw = AssembleLines(dir, "draw_obj.asm", code.draw_lines);
  const Assembled restore = AssembleLines(dir, "restore_obj.asm", code.restore_lines);
  ASSERT_TRUE(draw.is_ok && restore.is_ok);
  EXPECT_EQ(static_cast<int>(draw.code.size()), code.draw_size_bytes);
  EXPECT_EQ(static_cast<int>(restore.code.size()), code.restore_size_bytes);
  CheckOnScreen(draw.code, restore.code, code, pens, width, height, seed);
}

}  // namespace

TEST(DrawRestoreOnZ80, DrawsInkOverTheBackgroundAndRestoresIt) {
  const TempDir dir;
  uint32_t seed = 1;
  for (const int width : {2, 6, 16, 24}) {
    for (const int height : {1, 5, 8}) RunOnScreen(dir, width, height, seed++, false);
  }
  // A buffer longer than a page needs the word pointer.
  RunOnScreen(dir, 80, 8, 99, true);
  RunOnScreen(dir, 0, 8, 100, false);
}

TEST(DrawRestoreOnZ80, GeneratedFilesAssemble) {
  const TempDir dir;
  ASSERT_TRUE(WriteIndexedBmp(dir.File("obj.bmp"), 16, 8, RandomPens(16, 8, 5, 16)));
  const std::filesystem::path previous = std::filesystem::current_path();
  std::filesystem::current_path(dir.path());
  const ConsoleCapture console;
  EXPECT_TRUE(GenerateDrawRestoreCode("obj.bmp", "obj.asm", 16, 8));
  const AssembledSource draw = AssembleWithPasmo("draw_obj.asm");
  const AssembledSource restore = AssembleWithPasmo("restore_obj.asm");
  std::filesystem::current_path(previous);
  EXPECT_TRUE(draw.is_ok) << draw.messages;
  EXPECT_TRUE(restore.is_ok) << restore.messages;
  EXPECT_EQ(draw.symbols.count("draw_obj"), 1u);
  EXPECT_EQ(restore.symbols.count("restore_obj"), 1u);
}

namespace {

// The number after marker in the first line of lines that holds it.
int32_t NumberAfter(const std::vector<std::string>& lines, const std::string& marker) {
  for (const std::string& line : lines) {
    const size_t at = line.find(marker);
    if (at != std::string::npos)
      return static_cast<int32_t>(std::strtol(line.c_str() + at + marker.size(), nullptr, 10));
  }
  ADD_FAILURE() << "no line with " << marker;
  return -1;
}

RunResult GravikDraw(const TempDir& dir, const std::vector<std::string>& args,
                     const std::string& input = "") {
  std::vector<std::string> all = {"--fail", "draw"};
  all.insert(all.end(), args.begin(), args.end());
  return RunProgram(GRAVIK_BIN, all, dir.path(), input);
}

}  // namespace

// gravik draw as a user runs it, on a name that is no label: both files
// assemble under labels made from it and the routines work on the screen.
TEST(DrawRestoreOnZ80, DrawWordOnANameThatIsNoLabel) {
  const TempDir dir;
  const std::vector<uint8_t> pens = ObjectPens(16, 8, 31);
  ASSERT_TRUE(WriteIndexedBmp(dir.File("my-ship.bmp"), 16, 8, pens));
  const RunResult run = GravikDraw(dir, {"my-ship", "16", "8"});
  EXPECT_EQ(run.exit_code, 0);
  EXPECT_EQ(AfterStartup(run), (std::vector<std::string>{"source : my-ship.bmp", " 16/ 8 @ 8"}));
  const std::filesystem::path previous = std::filesystem::current_path();
  std::filesystem::current_path(dir.path());
  const AssembledSource draw = AssembleWithPasmo("draw_my-ship.asm");
  const AssembledSource restore = AssembleWithPasmo("restore_my-ship.asm");
  std::filesystem::current_path(previous);
  ASSERT_TRUE(draw.is_ok) << draw.messages;
  ASSERT_TRUE(restore.is_ok) << restore.messages;
  EXPECT_EQ(draw.symbols.count("draw_my_ship"), 1u);
  EXPECT_EQ(restore.symbols.count("restore_my_ship"), 1u);
  const std::vector<std::string> draw_lines = ReadTextLines(dir.File("draw_my-ship.asm"));
  const std::vector<std::string> restore_lines = ReadTextLines(dir.File("restore_my-ship.asm"));
  EXPECT_EQ(draw_lines[2], "; DE steps with inc E: the buffer must not cross a 256-byte page");
  DrawRestoreCode figures;
  figures.buffer_bytes = NumberAfter(draw_lines, "; buffer size ");
  figures.draw_time_nops = NumberAfter(draw_lines, "; total time ");
  figures.restore_time_nops = NumberAfter(restore_lines, "; total time ");
  CheckOnScreen(draw.binary, restore.binary, figures, pens, 16, 8, 31);
}

TEST(DrawRestoreOnZ80, FourthArgumentAnswersTheWordPointerQuestion) {
  const TempDir dir;
  ASSERT_TRUE(WriteIndexedBmp(dir.File("wide.bmp"), 80, 8, std::vector<uint8_t>(80 * 8, 9)));
  const std::vector<std::string> loaded = {"source : wide.bmp", " 80/ 8 @ 8"};
  const std::string warning = "Warning ! buffer size may exceed page size";
  const std::string question = "force word pointer (Y/ANY) ?";
  const struct {
    std::vector<std::string> args;
    std::string input;  // what the console would answer, if asked
    bool is_asked;
    bool is_word;
  } cases[] = {
      {{"wide", "80", "8", "y"}, "n\n", false, true},
      {{"wide", "80", "8", "Y"}, "", false, true},
      {{"wide", "80", "8", "n"}, "Y\n", false, false},
      {{"wide", "80", "8", "yes"}, "Y\n", false, false},
      {{"wide", "80", "8"}, "y\n", true, true},
      {{"wide", "80", "8"}, "", true, false},       // end of input is no
      {{"wide", "16", "8", "Y"}, "", false, true},  // yes even for a buffer within a page
      {{"wide", "16", "8"}, "Y\n", false, false},
  };
  for (const auto& c : cases) {
    const RunResult run = GravikDraw(dir, c.args, c.input);
    SCOPED_TRACE(c.args.size() == 4 ? c.args[3] : "asked " + c.input);
    EXPECT_EQ(run.exit_code, 0);
    std::vector<std::string> expected = loaded;
    // A buffer past a page is warned about unless inc DE was chosen in advance.
    if (c.args[1] == "80" && (c.is_asked || !c.is_word)) expected.push_back(warning);
    if (c.is_asked) expected.push_back(question);
    EXPECT_EQ(AfterStartup(run), expected);
    const std::vector<std::string> draw = ReadTextLines(dir.File("draw_wide.asm"));
    ASSERT_GT(draw.size(), 7u);
    EXPECT_EQ(draw[7], c.is_word ? "\tinc DE" : "\tinc E");
  }
  // A refused size: status 1, nothing written.
  std::filesystem::remove(dir.File("draw_wide.asm"));
  std::filesystem::remove(dir.File("restore_wide.asm"));
  const RunResult refused = GravikDraw(dir, {"wide", "16", "9", "Y"});
  EXPECT_EQ(refused.exit_code, 1);
  EXPECT_EQ(AfterStartup(refused).back(),
            "Requested height can not be higher than 8 - use sprites for bigger objets");
  EXPECT_EQ(CountEntries(dir.path()), 1);
}

TEST(DrawRestoreOnZ80, FilesGoBesideTheNameInItsFolder) {
  const TempDir dir;
  std::filesystem::create_directory(dir.File("art"));
  ASSERT_TRUE(WriteIndexedBmp(dir.File("art/ship.bmp"), 4, 2, {1, 2, 0, 3, 0, 0, 4, 5}));
  EXPECT_EQ(GravikDraw(dir, {"art/ship", "4", "2"}).exit_code, 0);
  EXPECT_EQ(ReadTextLines(dir.File("art/draw_ship.asm")).front(), "draw_ship:");
  EXPECT_EQ(ReadTextLines(dir.File("art/restore_ship.asm")).front(), "restore_ship:");
  EXPECT_EQ(CountEntries(dir.path()), 1);
}
