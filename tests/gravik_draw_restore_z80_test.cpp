// The masked draw and restore routines assembled by pasmo and run on a Z80
// over a memory image laid out like the CPC screen.
#include <gtest/gtest.h>

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

void RunOnScreen(const TempDir& dir, int width, int height, uint32_t seed, bool word_pointer) {
  SCOPED_TRACE(std::to_string(width) + "x" + std::to_string(height) + " seed " + std::to_string(seed));
  std::vector<uint8_t> pens = RandomPens(width, height, seed, 48);
  for (uint8_t& pen : pens) {
    if (pen >= 32) pen = 0;  // a third transparent; pens 16 to 31 fold onto 0 to 15
  }
  const Picture view = PictureFromPens(width, height, pens.data());
  const DrawRestoreCode code = GenerateDrawRestoreLines(view, width, height, "obj", word_pointer);
  const Assembled draw = AssembleLines(dir, "draw_obj.asm", code.draw_lines);
  const Assembled restore = AssembleLines(dir, "restore_obj.asm", code.restore_lines);
  ASSERT_TRUE(draw.is_ok && restore.is_ok);
  EXPECT_EQ(static_cast<int>(draw.code.size()), code.draw_size_bytes);
  EXPECT_EQ(static_cast<int>(restore.code.size()), code.restore_size_bytes);

  Z80Machine z80;
  FillBackground(z80, seed);
  const std::array<uint8_t, 65536> background = z80.memory();
  // Character row 3, byte column 10 of a mode 0 screen.
  const uint16_t first_byte = static_cast<uint16_t>(kScreen + 3 * kScreenBytesPerLine + 10);
  z80.Load(kCodeAddress, draw.code);
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

  z80.Load(kCodeAddress, restore.code);
  z80.SetRegister(Z80Register::kHL, first_byte);
  z80.SetRegister(Z80Register::kDE, kBufferAddress);
  const CallResult restored = z80.Call(kCodeAddress);
  ASSERT_TRUE(restored.has_returned);
  for (int address = kScreen; address <= 0xFFFF; ++address) {
    ASSERT_EQ(z80.memory()[address], background[address]) << "screen byte #" << std::hex << address;
  }
  EXPECT_EQ(TotalNopUnits(restored.instructions), code.restore_time_nops);
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
