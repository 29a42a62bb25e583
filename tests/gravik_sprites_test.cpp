// The sprite commands run as a user runs them, and their generated code
// assembled with pasmo and executed on a Z80 the way the CPC runs it.
#include <gtest/gtest.h>

#include <array>
#include <cstdlib>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "tests/asm_check.h"
#include "tests/test_support.h"
#include "tests/z80_harness.h"
#include "toolkit/source_image.h"
#include "toolkit/sprites/flat_sprite.h"
#include "toolkit/sprites/keyframe.h"
#include "toolkit/sprites/packed_sprite.h"
#include "toolkit/sprites/rle_sprite.h"
#include "toolkit/sprites/sprite_code.h"

namespace {

constexpr int kPixels = 256;
constexpr uint16_t kCodeAddress = 0x4000;
constexpr uint16_t kBlockAddress = 0x8000;  // a sprite block sits on a 256-byte boundary
constexpr uint16_t kDecoderAddress = 0x9000;
constexpr uint8_t kTransparent = 255;

using Block = std::array<uint8_t, kPixels>;

std::vector<uint8_t> Filled(uint8_t pen) { return std::vector<uint8_t>(kPixels, pen); }

// Pens 0 to 254, with about transparent_percent of the pixels 255.
std::vector<uint8_t> RandomSprite(uint32_t seed, int transparent_percent) {
  std::mt19937 generator(seed);
  std::uniform_int_distribution<int> pen(0, 254);
  std::uniform_int_distribution<int> percent(0, 99);
  std::vector<uint8_t> pens(kPixels);
  for (uint8_t& p : pens) {
    p = percent(generator) < transparent_percent ? kTransparent : static_cast<uint8_t>(pen(generator));
  }
  return pens;
}

std::vector<std::string> Gravik(const TempDir& dir, const std::vector<std::string>& args) {
  return AfterStartup(RunProgram(GRAVIK_BIN, args, dir.path()));
}

void WriteSprite(const TempDir& dir, const std::string& name, const std::vector<uint8_t>& pens) {
  ASSERT_TRUE(WriteIndexedBmp(dir.File(name + ".bmp"), 16, 16, pens));
}

// Generated sources name their files relative to the folder they are made in.
AssembledSource AssembleIn(const TempDir& dir, const std::string& file) {
  const std::filesystem::path previous = std::filesystem::current_path();
  std::filesystem::current_path(dir.path());
  AssembledSource assembled = AssembleWithPasmo(file);
  std::filesystem::current_path(previous);
  return assembled;
}

// The number that follows marker in the first line that holds it.
int NumberAfter(const std::vector<std::string>& lines, const std::string& marker) {
  for (const std::string& line : lines) {
    const size_t at = line.find(marker);
    if (at != std::string::npos)
      return static_cast<int>(std::strtol(line.c_str() + at + marker.size(), nullptr, 10));
  }
  ADD_FAILURE() << "no line with " << marker;
  return -1;
}

struct RoutineRun {
  Block block{};
  CallResult call;
};

// Loads the assembled routine (its "dw" word first) at kCodeAddress and calls
// it with HL at a sprite block holding before.
RoutineRun RunRoutine(const std::vector<uint8_t>& binary, const Block& before) {
  Z80Machine z80;
  z80.Load(kCodeAddress, binary);
  z80.Load(kBlockAddress, before);
  z80.SetRegister(Z80Register::kHL, kBlockAddress);
  RoutineRun run;
  run.call = z80.Call(kCodeAddress + 2);
  for (int p = 0; p < kPixels; ++p) run.block[p] = z80.memory()[kBlockAddress + p];
  EXPECT_EQ(z80.Register(Z80Register::kHL) >> 8, kBlockAddress >> 8) << "the routine moves only L";
  return run;
}

// The figures written in the source against the cycles the Z80 spent: three
// set-up loads, the pixel work, the ret; each 16-bit load runs in 3 NOP units
// and is counted as 4.
void ExpectFiguresMatch(const std::vector<std::string>& source, const std::vector<uint8_t>& binary,
                        const CallResult& call) {
  ASSERT_TRUE(call.has_returned);
  ASSERT_GE(call.instructions.size(), 4u);
  const std::vector<ExecutedInstruction> set_up(call.instructions.begin(), call.instructions.begin() + 3);
  const std::vector<ExecutedInstruction> pixel_work(call.instructions.begin() + 3,
                                                    call.instructions.end() - 1);
  const ExecutedInstruction ret = call.instructions.back();
  const uint16_t pixel_start = pixel_work.empty() ? ret.address : pixel_work.front().address;
  EXPECT_EQ(binary.size(), static_cast<size_t>(ret.address - kCodeAddress + 1)) << "ret is the last byte";
  EXPECT_EQ(NumberAfter(source, "; sprite size ="), ret.address - pixel_start);
  EXPECT_EQ(NumberAfter(source, "; sprite time ="), TotalNopUnits(pixel_work));
  EXPECT_EQ(NumberAfter(source, "; extra  time ="), TotalNopUnits(set_up) + NopUnits(ret.t_states) + 2);
  EXPECT_EQ(NumberAfter(source, "\tdw "), TotalNopUnits(call.instructions) + 2);
}

Block PatternBlock() {
  Block block{};
  for (int p = 0; p < kPixels; ++p) block[p] = static_cast<uint8_t>(p * 7 + 0x5A);
  return block;
}

// gravik asm on pens, then the routine on a Z80 over a patterned block.
void ExpectCompiledSpriteDraws(const std::vector<uint8_t>& pens, const std::string& what,
                               const std::string& name = "spr") {
  SCOPED_TRACE(what);
  const TempDir dir;
  WriteSprite(dir, name, pens);
  Gravik(dir, {"asm", name});
  const AssembledSource assembled = AssembleIn(dir, name + ".asm");
  ASSERT_TRUE(assembled.is_ok) << assembled.messages;
  const Block before = PatternBlock();
  const RoutineRun run = RunRoutine(assembled.binary, before);
  for (int p = 0; p < kPixels; ++p) {
    if (pens[p] == kTransparent) {
      EXPECT_EQ(run.block[p], before[p]) << "transparent pixel " << p;
    } else {
      EXPECT_EQ(run.block[p] & 15, pens[p] & 15) << "pixel " << p;
    }
  }
  ExpectFiguresMatch(ReadTextLines(dir.File(name + ".asm")), assembled.binary, run.call);
}

TEST(GravikSprites, AsmWorkedExampleByteForByte) {
  const TempDir dir;
  std::vector<uint8_t> pens = Filled(kTransparent);
  pens[0] = pens[1] = 3;
  pens[5] = 9;
  WriteSprite(dir, "x", pens);
  const std::vector<std::string> expected_console = {
      "source : x.bmp", " 16/ 16 @ 8", "pix list for this sprite :", "A: 0", "B: 9", "C: 3", "D: 1", "E: 2"};
  EXPECT_EQ(Gravik(dir, {"ASM", "x"}), expected_console);
  const std::string expected_file =
      "update_x:\n\tdw 21 ;total time\n\txor A\n\tld BC,#0903\n\tld DE,#0102\n"
      ";init is done, let's write pixels\n\tld (HL),C ;L=0\n\tinc L\n\tld (HL),C ;L=1\n\tld L,5\n"
      "\tld (HL),B ;L=5\n\tret\n; sprite size =6 bytes - 256LDI=512\n; sprite time =9 nops  - 256LDI=1280\n"
      "; extra  time =12 nops\n; timing & sizing are init/ret excluding\n";
  const std::vector<uint8_t> bytes = ReadFileBytes(dir.File("x.asm"));
  EXPECT_EQ(std::string(bytes.begin(), bytes.end()), expected_file);
  ExpectCompiledSpriteDraws(pens, "worked example");
}

TEST(GravikSprites, CompiledSpritesDrawOnAZ80) {
  ExpectCompiledSpriteDraws(Filled(kTransparent), "all transparent");
  ExpectCompiledSpriteDraws(Filled(5), "single colour");
  // Pens 1 to 5 in the registers; pens 6 to 15 stored as L (where the index
  // ends in the pen) or as an immediate; values 16 to 254 fold to their low bits.
  std::vector<uint8_t> outsiders = Filled(kTransparent);
  for (int p = 0; p < 100; ++p) outsiders[p] = static_cast<uint8_t>(1 + p % 5);
  for (int p = 100; p < kPixels; p += 3) outsiders[p] = static_cast<uint8_t>(0x30 + 6 + p % 10);
  outsiders[255] = 0xEF;
  ExpectCompiledSpriteDraws(outsiders, "pens outside the registers");
  for (const uint32_t seed : {1u, 2u}) {
    ExpectCompiledSpriteDraws(RandomSprite(seed, 40), "random " + std::to_string(seed));
  }
  ExpectCompiledSpriteDraws(RandomSprite(9, 0), "random, no transparency");
}

// gravik key from frame1 to frame2, then the routine on a block holding frame 1.
void ExpectKeyframeTurns(const std::vector<uint8_t>& frame1, const std::vector<uint8_t>& frame2,
                         const std::string& what) {
  SCOPED_TRACE(what);
  const TempDir dir;
  WriteSprite(dir, "walk1", frame1);
  WriteSprite(dir, "walk2", frame2);
  int differing = 0;
  for (int p = 0; p < kPixels; ++p) differing += (frame1[p] & 15) != (frame2[p] & 15);
  const std::vector<std::string> console = Gravik(dir, {"key", "walk1", "walk2"});
  ASSERT_GE(console.size(), 5u);
  // Appended, not " " + text: GCC 12 at -O2 sees a false overlap (-Wrestrict) in that form.
  std::string expected = " ";
  expected += std::to_string(differing);
  EXPECT_EQ(console[4], expected + " differents pixels");
  EXPECT_EQ(CountEntries(dir.path()), 3);
  const AssembledSource assembled = AssembleIn(dir, "walk2.asm");
  ASSERT_TRUE(assembled.is_ok) << assembled.messages;
  EXPECT_EQ(assembled.symbols.count("update_walk2"), 1u);
  Block before{};
  for (int p = 0; p < kPixels; ++p) before[p] = frame1[p];
  const RoutineRun run = RunRoutine(assembled.binary, before);
  for (int p = 0; p < kPixels; ++p) {
    if ((frame1[p] & 15) == (frame2[p] & 15)) {
      EXPECT_EQ(run.block[p], frame1[p]) << "unchanged pixel " << p;
    } else {
      EXPECT_EQ(run.block[p] & 15, frame2[p] & 15) << "pixel " << p;
    }
  }
  ExpectFiguresMatch(ReadTextLines(dir.File("walk2.asm")), assembled.binary, run.call);
}

TEST(GravikSprites, KeyframesTurnFrame1IntoFrame2OnAZ80) {
  for (const uint32_t seed : {11u, 12u, 13u}) {
    ExpectKeyframeTurns(RandomPens(16, 16, seed), RandomPens(16, 16, seed + 100),
                        "random " + std::to_string(seed));
  }
  // A walk cycle: a few pixels move. High bits alone are no difference, and
  // 255 in frame 2 is pen 15.
  std::vector<uint8_t> frame1 = RandomPens(16, 16, 21, 16);
  std::vector<uint8_t> frame2 = frame1;
  for (int p = 0; p < kPixels; p += 37) frame2[p] = static_cast<uint8_t>((frame1[p] + 3) & 15);
  frame2[1] = static_cast<uint8_t>(frame1[1] | 0x70);
  frame1[2] = 4;
  frame2[2] = 255;
  ExpectKeyframeTurns(frame1, frame2, "few changes");
}

TEST(GravikSprites, KeyOfIdenticalFramesOnlySetsUpAndReturns) {
  const TempDir dir;
  const std::vector<uint8_t> frame = RandomPens(16, 16, 5, 16);
  std::vector<uint8_t> frame_high_bits = frame;
  for (uint8_t& pen : frame_high_bits) pen = static_cast<uint8_t>(pen | 0xA0);
  WriteSprite(dir, "a", frame);
  WriteSprite(dir, "b", frame_high_bits);
  const std::vector<std::string> console = Gravik(dir, {"key", "a", "b"});
  ASSERT_GE(console.size(), 5u);
  EXPECT_EQ(console[4], " 0 differents pixels");
  const std::vector<std::string> expected = {"update_b:",
                                             "\tdw 12 ;total time",
                                             "\txor A",
                                             "\tld BC,#0102",
                                             "\tld DE,#0304",
                                             ";init is done, let's write pixels",
                                             "\tret",
                                             "; sprite size =0 bytes - 256LDI=512",
                                             "; sprite time =0 nops  - 256LDI=1280",
                                             "; extra  time =12 nops",
                                             "; timing & sizing are init/ret excluding"};
  EXPECT_EQ(ReadTextLines(dir.File("b.asm")), expected);
}

TEST(GravikSprites, KeyWithAMissingFrameStillReportsTheOther) {
  const TempDir dir;
  WriteSprite(dir, "b", Filled(1));
  const std::vector<std::string> console = Gravik(dir, {"key", "a", "b"});
  ASSERT_GE(console.size(), 3u);
  const std::vector<std::string> tail(console.end() - 3, console.end());
  EXPECT_EQ(tail, (std::vector<std::string>{"Can not load a.bmp", "source : b.bmp", " 16/ 16 @ 8"}));
  EXPECT_EQ(CountEntries(dir.path()), 1);
}

TEST(GravikSprites, FlatAndPackedFiles) {
  const TempDir dir;
  const std::vector<uint8_t> pens = RandomPens(16, 16, 31);
  WriteSprite(dir, "s", pens);
  EXPECT_EQ(Gravik(dir, {"basic", "s"}), (std::vector<std::string>{"source : s.bmp", " 16/ 16 @ 8"}));
  EXPECT_EQ(Gravik(dir, {"half", "s"}),
            (std::vector<std::string>{"source : s.bmp", " 16/ 16 @ 8",
                                      "ConvertToInterlacedSprite : s.px4 created"}));
  const std::vector<uint8_t> flat = ReadFileBytes(dir.File("s.px8"));
  const std::vector<uint8_t> packed = ReadFileBytes(dir.File("s.px4"));
  ASSERT_EQ(flat.size(), 256u);
  ASSERT_EQ(packed.size(), 128u);
  for (int p = 0; p < kPixels; ++p) EXPECT_EQ(flat[p], pens[p] & 15) << p;
  for (int i = 0; i < 128; ++i) EXPECT_EQ(packed[i], flat[2 * i] * 16 + flat[2 * i + 1]) << i;
}

// A decoder of the kind the header calls: HL at the runs, DE at the block.
constexpr char kTestDecoder[] =
    "\torg #9000\n"
    "next:\tld a,(hl)\n\tor a\n\tret z\n\tld b,a\n\tand 15\n\tld c,a\n"
    "\tld a,b\n\trrca\n\trrca\n\trrca\n\trrca\n\tand 15\n"
    "fill:\tld (de),a\n\tinc de\n\tdec c\n\tjr nz,fill\n\tinc hl\n\tjr next\n";

// gravik rle with a decoder at #9000, then the header and decoder on a Z80.
void ExpectRleDecodes(const std::vector<uint8_t>& pens, const std::string& what) {
  SCOPED_TRACE(what);
  const TempDir dir;
  WriteSprite(dir, "spr", pens);
  const std::vector<std::string> console = Gravik(dir, {"rle", "spr", "#9000"});
  const std::vector<uint8_t> data = ReadFileBytes(dir.File("spr.rle"));
  ASSERT_FALSE(data.empty());
  EXPECT_EQ(data.back(), 0);
  ASSERT_EQ(console.size(), 2 + data.size());
  EXPECT_EQ(console.back(), "RLE sprite :  " + std::to_string(data.size()) + " bytes");
  const std::vector<std::string> header = ReadTextLines(dir.File("spr_header.asm"));
  EXPECT_EQ(NumberAfter(header, "size = "), static_cast<int>(data.size()) + 13);
  const AssembledSource assembled = AssembleIn(dir, "spr_header.asm");
  ASSERT_TRUE(assembled.is_ok) << assembled.messages;
  ASSERT_TRUE(WriteFileBytes(dir.File("decoder.asm"),
                             std::vector<uint8_t>(std::begin(kTestDecoder), std::end(kTestDecoder) - 1)));
  const AssembledSource decoder = AssembleIn(dir, "decoder.asm");
  ASSERT_TRUE(decoder.is_ok) << decoder.messages;
  Z80Machine z80;
  z80.Load(kCodeAddress, assembled.binary);
  z80.Load(kDecoderAddress, decoder.binary);
  z80.SetRegister(Z80Register::kIX, kCodeAddress + 2);
  z80.SetRegister(Z80Register::kHL, kBlockAddress);
  ASSERT_TRUE(z80.Call(kCodeAddress + 2).has_returned);
  for (int p = 0; p < kPixels; ++p) EXPECT_EQ(z80.memory()[kBlockAddress + p], pens[p] & 15) << p;
}

TEST(GravikSprites, RleDataDecodesOnAZ80) {
  ExpectRleDecodes(Filled(255), "pen 15 everywhere");
  std::vector<uint8_t> stripes(kPixels);
  for (int p = 0; p < kPixels; ++p) stripes[p] = static_cast<uint8_t>((p / 40) | 0x50);
  stripes[255] = 9;
  ExpectRleDecodes(stripes, "stripes of 40, last pixel alone");
  for (const uint32_t seed : {41u, 42u})
    ExpectRleDecodes(RandomPens(16, 16, seed, 3), "random " + std::to_string(seed));
}

TEST(GravikSprites, RleOfOneColour) {
  const TempDir dir;
  WriteSprite(dir, "c", Filled(6));
  std::vector<std::string> expected = {"source : c.bmp", " 16/ 16 @ 8"};
  for (int k = 0; k < 17; ++k) expected.emplace_back("ROW : 15: 6");
  expected.emplace_back("ROW : 1: 6");
  expected.emplace_back("RLE sprite :  19 bytes");
  EXPECT_EQ(Gravik(dir, {"rle", "c", "&7000"}), expected);
  const std::vector<std::string> header = ReadTextLines(dir.File("c_header.asm"));
  ASSERT_EQ(header.size(), 10u);
  EXPECT_EQ(header[1], "\tdw 1837 ;total time");
  EXPECT_EQ(header[2], ";\tsize =  32");
  EXPECT_EQ(header[8], "\tjp &7000");
}

TEST(GravikSprites, RleDecoderNoneInAnyCaseWritesNoHeader) {
  for (const std::string none : {"NONE", "nOnE"}) {
    const TempDir dir;
    WriteSprite(dir, "s", RandomPens(16, 16, 3, 4));
    const std::vector<std::string> console = Gravik(dir, {"rle", "s", none});
    ASSERT_FALSE(console.empty());
    EXPECT_EQ(console.back().rfind("RLE sprite :  ", 0), 0u) << none;
    EXPECT_EQ(CountEntries(dir.path()), 2) << none;
    EXPECT_FALSE(ReadFileBytes(dir.File("s.rle")).empty()) << none;
  }
}

// Every sprite operation on the files of dir, named s.bmp / s.* as gravik
// would name them; the console lines they print.
std::vector<std::vector<std::string>> RunEachOperation(const TempDir& dir, bool* results) {
  const std::string s = dir.File("s");
  std::vector<std::vector<std::string>> consoles;
  const auto run = [&](auto operation) {
    const ConsoleCapture console;
    *results++ = operation();
    consoles.push_back(console.lines());
  };
  run([&] { return CompileSprite(s + ".bmp", s + ".asm", kWithTotalTime); });
  run([&] { return CompileKeyframe(s + ".bmp", s + ".bmp", s + ".asm", kWithTotalTime); });
  run([&] { return ConvertToFlatSprite(s + ".bmp", s + ".px8"); });
  run([&] { return ConvertToInterlacedSprite(s + ".bmp", s + ".px4"); });
  run([&] { return ConvertToRleSprite(s + ".bmp", s + ".rle", s + "_header.asm", "#9000"); });
  return consoles;
}

TEST(GravikSprites, RefusalsWriteNothing) {
  const TempDir dir;
  ASSERT_TRUE(WriteIndexedBmp(dir.File("s.bmp"), 16, 32, RandomPens(16, 32, 1)));
  bool results[5] = {};
  for (const std::vector<std::string>& console : RunEachOperation(dir, results)) {
    ASSERT_FALSE(console.empty());
    EXPECT_EQ(console.back(), "Source for sprites must be 16*16");
  }
  for (const bool result : results) EXPECT_FALSE(result);
  EXPECT_EQ(CountEntries(dir.path()), 1);
  ASSERT_TRUE(WriteBmpOfDepth(dir.File("s.bmp"), 16, 16, 24));
  for (const std::vector<std::string>& console : RunEachOperation(dir, results)) {
    ASSERT_FALSE(console.empty());
    EXPECT_EQ(console.back(), "Source must be 8 bits");
  }
  EXPECT_EQ(CountEntries(dir.path()), 1);
  WriteSprite(dir, "s", Filled(1));
  const ConsoleCapture console;
  EXPECT_FALSE(ConvertToRleSprite(dir.File("s.bmp"), dir.File("s.rle"), dir.File("s_header.asm"), "#90\n00"));
  EXPECT_EQ(console.lines().back(), "ConvertToRleSprite : Decoder address can not hold a control character");
  EXPECT_EQ(CountEntries(dir.path()), 1);
}

TEST(GravikSprites, MissingArguments) {
  const TempDir dir;
  EXPECT_EQ(Gravik(dir, {"rle", "s"}), std::vector<std::string>{"Not enough arguments !"});
  EXPECT_EQ(Gravik(dir, {"key", "s"}), std::vector<std::string>{"Not enough arguments !"});
}

TEST(GravikSprites, AnOutputThatCannotBeWrittenGivesOneLine) {
  const TempDir dir;
  WriteSprite(dir, "s", Filled(1));
  // A folder where the output should go: the file can not replace it.
  for (const char* taken : {"s.asm", "s.px8", "s.px4", "s.rle"}) {
    std::filesystem::create_directory(dir.File(taken));
  }
  const std::string messages[] = {"CompileSprite : Can not write ", "CompileKeyframe : Can not write ",
                                  "ConvertToFlatSprite : Can not write ",
                                  "ConvertToInterlacedSprite : Can not write ",
                                  "ConvertToRleSprite : Can not write "};
  const std::string files[] = {"s.asm", "s.asm", "s.px8", "s.px4", "s.rle"};
  bool results[5] = {true, true, true, true, true};
  const std::vector<std::vector<std::string>> consoles = RunEachOperation(dir, results);
  for (int k = 0; k < 5; ++k) {
    ASSERT_FALSE(consoles[k].empty());
    EXPECT_EQ(consoles[k].back(), messages[k] + dir.File(files[k]));
    EXPECT_FALSE(results[k]);
  }
  EXPECT_EQ(CountEntries(dir.path()), 5);
  // The header alone cannot be made: the data file is not left behind either.
  std::filesystem::remove(dir.File("s.rle"));
  const ConsoleCapture console;
  EXPECT_FALSE(ConvertToRleSprite(dir.File("s.bmp"), dir.File("s.rle"), dir.File("missing/h.asm"), "#9000"));
  EXPECT_EQ(console.lines().back(), "ConvertToRleSprite : Can not create " + dir.File("missing/h.asm"));
  EXPECT_EQ(CountEntries(dir.path()), 4);
}

TEST(Z80Harness, CountsCyclesPerInstructionAndReturns) {
  Z80Machine z80;
  // ld BC,#1234 / ld (IX+1),B / inc L / ret
  const std::vector<uint8_t> code = {0x01, 0x34, 0x12, 0xDD, 0x70, 0x01, 0x2C, 0xC9};
  z80.Load(0x1000, code);
  z80.SetRegister(Z80Register::kIX, 0x2000);
  const CallResult call = z80.Call(0x1000);
  ASSERT_TRUE(call.has_returned);
  ASSERT_EQ(call.instructions.size(), 4u);
  EXPECT_EQ(call.instructions[1].address, 0x1003);
  EXPECT_EQ(call.instructions[1].t_states, 19);
  EXPECT_EQ(TotalNopUnits(call.instructions), 3 + 5 + 1 + 3);
  EXPECT_EQ(z80.memory()[0x2001], 0x12);
  EXPECT_EQ(z80.Register(Z80Register::kSP), 0xC000);
}

}  // namespace

TEST(GravikSprites, NamesThatAreNotLabelsStillAssemble) {
  // A dash is no label character: the label takes '_' instead, the files keep the name.
  ExpectCompiledSpriteDraws(RandomSprite(77, 30), "asm my-ship", "my-ship");
  const TempDir dir;
  WriteSprite(dir, "my-ship", RandomPens(16, 16, 5, 16));
  WriteSprite(dir, "2nd ship", RandomPens(16, 16, 6, 16));
  Gravik(dir, {"asm", "my-ship"});
  EXPECT_EQ(ReadTextLines(dir.File("my-ship.asm")).front(), "update_my_ship:");
  Gravik(dir, {"key", "my-ship", "2nd ship"});
  const AssembledSource key = AssembleIn(dir, "2nd ship.asm");
  EXPECT_TRUE(key.is_ok) << key.messages;
  EXPECT_EQ(key.symbols.count("update__2nd_ship"), 1u);
  Gravik(dir, {"rle", "my-ship", "#9000"});
  const AssembledSource header = AssembleIn(dir, "my-ship_header.asm");
  EXPECT_TRUE(header.is_ok) << header.messages;
  EXPECT_EQ(header.symbols.count("update_my_ship"), 1u);
  EXPECT_EQ(ReadTextLines(dir.File("my-ship_header.asm")).back(), "\tincbin \"my-ship.rle\"");
  // A name in a folder: the label is made from its last part.
  std::filesystem::create_directory(dir.File("art"));
  WriteSprite(dir, "art/ship", RandomPens(16, 16, 7, 16));
  Gravik(dir, {"asm", "art/ship"});
  EXPECT_EQ(ReadTextLines(dir.File("art/ship.asm")).front(), "update_ship:");
}

TEST(GravikSprites, NamesThatWouldBreakTheSourceAreRefused) {
  const TempDir dir;
  WriteSprite(dir, "s", Filled(1));
  WriteSprite(dir, "a\nb", Filled(1));
  WriteSprite(dir, "q\"x", Filled(1));
  const struct {
    std::vector<std::string> args;
    std::string refusal;
  } cases[] = {
      {{"asm", "a\nb"}, "CompileSprite : Name can not hold a control character"},
      {{"key", "s", "a\tb"}, "CompileKeyframe : Name can not hold a control character"},
      {{"rle", "a\nb", "#9000"}, "ConvertToRleSprite : Data file name can not hold a control character"},
      {{"rle", "q\"x", "#9000"}, "ConvertToRleSprite : Data file name can not hold a quote"},
      {{"rle", "s", "#90\r"}, "ConvertToRleSprite : Decoder address can not hold a control character"},
      {{"rle", "s", ""}, "ConvertToRleSprite : Decoder address can not be empty"},
      {{"rle", "s", "  "}, "ConvertToRleSprite : Decoder address can not be empty"},
      {{"draw", "a\nb", "2", "1"}, "GenerateDrawRestoreCode : Name can not hold a control character"},
  };
  for (const auto& c : cases) {
    std::vector<std::string> args = {"--fail"};
    args.insert(args.end(), c.args.begin(), c.args.end());
    const RunResult run = RunProgram(GRAVIK_BIN, args, dir.path());
    EXPECT_EQ(AfterStartup(run), std::vector<std::string>{c.refusal});
    EXPECT_EQ(run.exit_code, 1) << c.refusal;
  }
  EXPECT_EQ(CountEntries(dir.path()), 3);
  // Without a header nothing of the name enters source: NONE takes any name.
  EXPECT_EQ(Gravik(dir, {"rle", "q\"x", "none"}).back(), "RLE sprite :  19 bytes");
}

namespace {

// The pens of a saved 8-bit BMP, row 0 the top row as the picture shows it.
std::vector<uint8_t> SavedPens(const std::string& path) {
  const ImagePtr image(FreeImage_Load(FIF_BMP, path.c_str(), 0));
  if (!image || FreeImage_GetBPP(image.get()) != 8) return {};
  const Picture view = PictureOfBitmap(image.get());
  std::vector<uint8_t> pens;
  for (int y = 0; y < view.height; ++y) pens.insert(pens.end(), view.Row(y), view.Row(y) + view.width);
  return pens;
}

RunResult GravikFail(const TempDir& dir, std::vector<std::string> args) {
  args.insert(args.begin(), "--fail");
  return RunProgram(GRAVIK_BIN, args, dir.path());
}

}  // namespace

TEST(GravikSprites, Ex0TurnsMode0DataBackIntoTheSamePensUpright) {
  const TempDir dir;
  const std::vector<uint8_t> pens = RandomPens(32, 6, 12, 16);
  ASSERT_TRUE(WriteIndexedBmp(dir.File("pic.bmp"), 32, 6, pens));
  ASSERT_EQ(GravikFail(dir, {"mode0", "pic"}).exit_code, 0);
  const RunResult run = GravikFail(dir, {"EX0", "pic.pm0", "pic"});
  EXPECT_EQ(run.exit_code, 0);
  EXPECT_EQ(AfterStartup(run),
            (std::vector<std::string>{"ExtractMode0Sprite : Extracting...", "source : pic.bmp", " 32/ 6 @ 8",
                                      "ExtractMode0Sprite : target pic.pm0 96 bytes"}));
  EXPECT_EQ(SavedPens(dir.File("pic.pm0.bmp")), pens);

  // OFFSET and OPTIONS: a 128-byte header and 5 more bytes skipped; 1 alone
  // saves the picture upside down.
  std::vector<uint8_t> data(128 + 5, 0xFF);
  const std::vector<uint8_t> screen = ReadFileBytes(dir.File("pic.pm0"));
  data.insert(data.end(), screen.begin(), screen.end());
  ASSERT_TRUE(WriteFileBytes(dir.File("cpc"), data));
  EXPECT_EQ(GravikFail(dir, {"ex0", "cpc", "pic", "5", "1"}).exit_code, 0);
  std::vector<uint8_t> upside_down;
  for (int y = 5; y >= 0; --y)
    upside_down.insert(upside_down.end(), pens.begin() + y * 32, pens.begin() + y * 32 + 32);
  EXPECT_EQ(SavedPens(dir.File("cpc.bmp")), upside_down);
  EXPECT_EQ(GravikFail(dir, {"ex0", "cpc", "pic", "133", "2"}).exit_code, 0);
  EXPECT_EQ(SavedPens(dir.File("cpc.bmp")), pens);
  // Data too short for the template from that offset: refused, status 1.
  const RunResult short_data = GravikFail(dir, {"ex0", "cpc", "pic", "134"});
  EXPECT_EQ(short_data.exit_code, 1);
  EXPECT_EQ(AfterStartup(short_data).back(),
            "ExtractMode0Sprite : Not enough data: 230 bytes needed from offset 134");
  // OPTIONS are the sums of 1 and 2: anything else is refused, not read as some choice.
  const std::vector<uint8_t> saved = ReadFileBytes(dir.File("cpc.bmp"));
  for (const char* options : {"4", "-1", "255"}) {
    const RunResult refused = GravikFail(dir, {"ex0", "cpc", "pic", "133", options});
    EXPECT_EQ(refused.exit_code, 1) << options;
    EXPECT_EQ(AfterStartup(refused).back(),
              std::string("ExtractMode0Sprite : Options must be 0 to 3, not ") + options);
    EXPECT_EQ(ReadFileBytes(dir.File("cpc.bmp")), saved) << options;
  }
}

TEST(GravikSprites, Ex0RefusesToSaveOverItsOwnInput) {
  const TempDir dir;
  const std::vector<uint8_t> pens = RandomPens(8, 2, 4, 16);
  ASSERT_TRUE(WriteIndexedBmp(dir.File("pic.bmp"), 8, 2, pens));
  ASSERT_TRUE(WriteFileBytes(dir.File("pic"), std::vector<uint8_t>(8, 0x11)));
  const std::vector<uint8_t> template_bytes = ReadFileBytes(dir.File("pic.bmp"));
  // The output DATA.bmp is the template itself, by name, by a hard link, by a symbolic link.
  std::filesystem::create_hard_link(dir.File("pic.bmp"), dir.File("hard.bmp"));
  ASSERT_TRUE(WriteFileBytes(dir.File("hard"), std::vector<uint8_t>(8, 0x11)));
  std::filesystem::create_symlink("pic.bmp", dir.File("soft.bmp"));
  // Or the data itself: data.bmp is a link to data.
  ASSERT_TRUE(WriteFileBytes(dir.File("data"), std::vector<uint8_t>(8, 0x11)));
  std::filesystem::create_hard_link(dir.File("data"), dir.File("data.bmp"));
  const struct {
    std::vector<std::string> args;
    std::string input;
  } cases[] = {
      {{"ex0", "pic", "pic"}, "pic.bmp"},
      {{"ex0", "hard", "pic"}, "pic.bmp"},
      {{"ex0", "soft", "pic"}, "pic.bmp"},
      {{"ex0", "data", "pic"}, "data"},
  };
  for (const auto& c : cases) {
    const RunResult run = GravikFail(dir, c.args);
    EXPECT_EQ(run.exit_code, 1) << c.args[1];
    EXPECT_EQ(AfterStartup(run),
              (std::vector<std::string>{"ExtractMode0Sprite : Extracting...",
                                        "ExtractMode0Sprite : Output " + c.args[1] +
                                            ".bmp is the same file as the input " + c.input}));
  }
  EXPECT_EQ(ReadFileBytes(dir.File("pic.bmp")), template_bytes);
  EXPECT_EQ(ReadFileBytes(dir.File("data")), std::vector<uint8_t>(8, 0x11));
  EXPECT_EQ(CountEntries(dir.path()), 7);
}
