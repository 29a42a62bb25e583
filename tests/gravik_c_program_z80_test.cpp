// A C program built by SDCC 4.2 with the toolkit's outputs in the C syntax
// (a compiled sprite, draw and restore routines, inks, a data array), run on
// the Z80: it calls the routines through their headers, with SDCC's own
// calling convention, and must leave the memory the WinApe forms leave when
// the harness calls them with the registers their comments name.
#include <gtest/gtest.h>

#include <array>
#include <random>

#include "tests/asm_check.h"
#include "tests/sdcc_check.h"
#include "tests/test_support.h"
#include "tests/z80_harness.h"

namespace {

using Bytes = std::vector<uint8_t>;
using Lines = std::vector<std::string>;

constexpr uint16_t kBlock = 0x4000;   // the sprite block, on a 256-byte boundary
constexpr uint16_t kBuffer = 0x8000;  // the draw routine's saved background
constexpr uint16_t kCopies = 0x9000;  // where the program copies the arrays
constexpr uint16_t kScreenByte = 0xC000 + 3 * 80 + 10;
constexpr uint16_t kProgram = 0x0100;

const Lines kProgramLines = {
    "#include \"spr.h\"",
    "#include \"draw_obj.h\"",
    "#include \"restore_obj.h\"",
    "#include \"pic_inks.h\"",
    "#include \"blob.h\"",
    "#define COPIES ((unsigned char *)0x9000)",
    "static void copy(unsigned char *to, const unsigned char *from, unsigned int count) {",
    "  while (count--) *to++ = *from++;",
    "}",
    "void draw_all(void) {",
    "  update_spr((unsigned char *)0x4000);",
    "  draw_obj((unsigned char *)0xC0FA, (unsigned char *)0x8000);",
    "  copy(COPIES, inks_pic, inks_pic_SIZE);",
    "  copy(COPIES + 0x20, gate_pic, gate_pic_SIZE);",
    "  COPIES[0x3F] = inks_pic_COUNT;",
    "  copy(COPIES + 0x40, blob, blob_SIZE);",
    "}",
    "void restore_all(void) { restore_obj((unsigned char *)0xC0FA, (unsigned char *)0x8000); }",
};

void WriteInputs(const TempDir& dir) {
  ASSERT_TRUE(WriteIndexedBmp(dir.File("spr.bmp"), 16, 16, RandomPens(16, 16, 11, 17)));
  ASSERT_TRUE(WriteIndexedBmp(dir.File("obj.bmp"), 16, 8, RandomPens(16, 8, 12, 24)));
  ASSERT_TRUE(WriteIndexedBmp(dir.File("art.bmp"), 32, 16, RandomPens(32, 16, 13, 256)));
  Bytes data(300);
  std::mt19937 generator(14);
  for (uint8_t& byte : data) byte = static_cast<uint8_t>(generator());
  ASSERT_TRUE(WriteFileBytes(dir.File("in.bin"), data));
}

void RunWords(const TempDir& dir, const std::string& syntax) {
  const Lines words[] = {
      {"asm", "spr"}, {"draw", "obj", "16", "8"}, {"ink0", "art.bmp", "pic"}, {"data", "in.bin", "blob"}};
  for (const Lines& word : words) {
    Lines args = {"--fail", "--syntax=" + syntax};
    args.insert(args.end(), word.begin(), word.end());
    const RunResult run = RunProgram(GRAVIK_BIN, args, dir.path());
    ASSERT_EQ(run.exit_code, 0) << word[0] << run.raw_output;
  }
}

void FillScreen(Z80Machine& z80) {
  std::mt19937 generator(15);
  for (int address = 0xC000; address <= 0xFFFF; ++address)
    z80.memory()[address] = static_cast<uint8_t>(generator());
}

Bytes Region(Z80Machine& z80, int from, int count) {
  return Bytes(z80.memory().begin() + from, z80.memory().begin() + from + count);
}

// What a run leaves: the sprite block, the screen, the saved background.
struct Leftovers {
  Bytes block;
  Bytes drawn_screen;
  Bytes buffer;
  Bytes restored_screen;
};

void Snapshot(Z80Machine& z80, Leftovers& out) {
  out.block = Region(z80, kBlock, 256);
  out.drawn_screen = Region(z80, 0xC000, 0x4000);
  out.buffer = Region(z80, kBuffer, 256);
}

// The WinApe forms, assembled by pasmo and called by the harness: HL at the
// block for the sprite, HL at the screen byte and DE at the buffer for the others.
Leftovers RunWinApe(const TempDir& dir) {
  Leftovers left;
  const AssembledSource sprite = AssembleWithPasmo(dir.File("spr.asm"));
  const AssembledSource draw = AssembleWithPasmo(dir.File("draw_obj.asm"));
  const AssembledSource restore = AssembleWithPasmo(dir.File("restore_obj.asm"));
  EXPECT_TRUE(sprite.is_ok && draw.is_ok && restore.is_ok) << sprite.messages << draw.messages;
  Z80Machine z80;
  FillScreen(z80);
  // The sprite's first word is its total time; its code follows.
  z80.Load(0x1000, sprite.binary);
  z80.SetRegister(Z80Register::kHL, kBlock);
  EXPECT_TRUE(z80.Call(0x1002).has_returned);
  z80.Load(0x2000, draw.binary);
  z80.Load(0x3000, restore.binary);
  for (const uint16_t routine : {uint16_t{0x2000}, uint16_t{0x3000}}) {
    if (routine == 0x3000) Snapshot(z80, left);
    z80.SetRegister(Z80Register::kHL, kScreenByte);
    z80.SetRegister(Z80Register::kDE, kBuffer);
    EXPECT_TRUE(z80.Call(routine).has_returned);
  }
  left.restored_screen = Region(z80, 0xC000, 0x4000);
  return left;
}

int SymbolAt(const SdccBuild& build, const std::string& name) {
  const auto found = build.symbols.find(name);
  EXPECT_NE(found, build.symbols.end()) << name;
  return found == build.symbols.end() ? 0 : found->second;
}

}  // namespace

TEST(CProgramOnZ80, CallsTheRoutinesThroughTheirHeadersAndSeesTheArrays) {
  const TempDir winape;
  const TempDir c;
  WriteInputs(winape);
  WriteInputs(c);
  RunWords(winape, "winape");
  RunWords(c, "c");
  ASSERT_FALSE(WriteTextFile(c.File("main.c"), kProgramLines));
  const Lines sources = {"main.c", "spr.s", "draw_obj.s", "restore_obj.s", "pic_inks.c", "blob.c"};
  Lines paths;
  for (const std::string& source : sources) paths.push_back(c.File(source));
  std::filesystem::create_directories(c.File("work"));
  const SdccBuild build = BuildWithSdcc(paths, c.File("work"), kProgram, true);
  ASSERT_TRUE(build.is_ok) << build.messages;

  Z80Machine z80;
  FillScreen(z80);
  z80.Load(0, build.binary);
  ASSERT_TRUE(z80.Call(static_cast<uint16_t>(SymbolAt(build, "_draw_all"))).has_returned);
  Leftovers from_c;
  Snapshot(z80, from_c);
  const Bytes copies = Region(z80, kCopies, 0x40 + 300);
  ASSERT_TRUE(z80.Call(static_cast<uint16_t>(SymbolAt(build, "_restore_all"))).has_returned);
  from_c.restored_screen = Region(z80, 0xC000, 0x4000);

  const Leftovers from_winape = RunWinApe(winape);
  EXPECT_EQ(from_c.block, from_winape.block);
  EXPECT_EQ(from_c.drawn_screen, from_winape.drawn_screen);
  EXPECT_EQ(from_c.buffer, from_winape.buffer);
  EXPECT_EQ(from_c.restored_screen, from_winape.restored_screen);
  EXPECT_NE(from_c.drawn_screen, from_c.restored_screen);  // the draw changed something

  const AssembledSource inks = AssembleWithPasmo(winape.File("pic_inks.asm"));
  ASSERT_TRUE(inks.is_ok) << inks.messages;
  // The firmware numbers of the pens, then their gate array bytes.
  const size_t pens = inks.binary.size() / 2;
  ASSERT_GT(pens, 1u);
  const auto firmware = inks.binary.begin();
  EXPECT_EQ(Bytes(copies.begin(), copies.begin() + pens), Bytes(firmware, firmware + pens));
  EXPECT_EQ(Bytes(copies.begin() + 0x20, copies.begin() + 0x20 + pens),
            Bytes(firmware + pens, inks.binary.end()));
  EXPECT_EQ(copies[0x3F], pens);
  EXPECT_EQ(Bytes(copies.begin() + 0x40, copies.end()), ReadFileBytes(c.File("in.bin")));
}
