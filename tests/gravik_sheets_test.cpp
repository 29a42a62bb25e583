// gravik sheet0/sheet1/sheet2 as a user runs them: the frames drawn on a Z80
// over a CPC screen by a routine of the test's own, read back by a decoder
// written here from the screen layouts, the exact lines and bytes of a run,
// and every refusal leaving the folder as it was.
#include <gtest/gtest.h>

#include <array>
#include <filesystem>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "tests/asm_check.h"
#include "tests/sdcc_check.h"
#include "tests/test_support.h"
#include "tests/z80_harness.h"

namespace {

constexpr uint16_t kScreen = 0xC000;
constexpr int kScreenLineBytes = 80;
constexpr int kScreenLines = 200;
constexpr uint16_t kCodeAddress = 0x4000;
constexpr uint16_t kSdccAddress = 0x6000;  // the SDCC-built source, between the driver and the screen

// HL = frame, DE = its top-left screen byte, B = lines, C = bytes a line.
// draw_masked reads (mask, data) pairs: screen = (screen AND mask) OR data;
// draw_plain copies the bytes. next_line moves DE one pixel line down on the
// standard screen (&800 further, or back to the next character row).
const std::vector<std::string> kDrawRoutines = {
    " org #4000", "draw_masked:",      " push bc",   " push de",         " ld b,c", "masked_byte:",
    " ld a,(de)", " and (hl)",         " inc hl",    " or (hl)",         " inc hl", " ld (de),a",
    " inc de",    " djnz masked_byte", " pop de",    " call next_line",  " pop bc", " djnz draw_masked",
    " ret",       "draw_plain:",       " push bc",   " push de",         " ld b,0", " ldir",
    " pop de",    " call next_line",   " pop bc",    " djnz draw_plain", " ret",    "next_line:",
    " ld a,d",    " add a,8",          " ld d,a",    " ret nc",          " ld a,e", " add a,80",
    " ld e,a",    " ld a,d",           " adc a,#C0", " ld d,a",          " ret",
};

int PixelsPerByte(int mode) { return 2 << mode; }

// The pen of pixel (0 leftmost) of a screen byte. Mode 0: the left pixel's
// pen bits 0, 1, 2, 3 are byte bits 7, 3, 5, 1, the right pixel's one bit
// lower. Mode 1: pixel i has bit 0 at 7 - i and bit 1 at 3 - i. Mode 2: bit 7 - i.
int ScreenPen(uint8_t byte, int mode, int pixel) {
  const auto bit = [byte](int n) { return (byte >> n) & 1; };
  if (mode == 0) {
    const int low = 1 - pixel;
    return bit(6 + low) | bit(2 + low) << 1 | bit(4 + low) << 2 | bit(low) << 3;
  }
  if (mode == 1) return bit(7 - pixel) | bit(3 - pixel) << 1;
  return bit(7 - pixel);
}

uint16_t ScreenAddress(int column, int line) {
  return static_cast<uint16_t>(kScreen + (line % 8) * 0x800 + (line / 8) * kScreenLineBytes + column);
}

struct Sheet {
  int mode = 0;
  int width = 0;  // pixels
  int height = 0;
  std::vector<uint8_t> pens;
  int frame_width = 0;
  int frame_height = 0;
  int mask_pen = -1;  // none
  bool is_mirrored = false;
  int count = 0;  // 0: every whole frame

  int Pen(int x, int y) const { return pens[static_cast<size_t>(y * width + x)]; }
};

// The pen frame `index` of the output shows at (x, y) of the frame, -1 where it is transparent.
int FramePen(const Sheet& sheet, int index, int x, int y) {
  const int frame = sheet.is_mirrored ? index / 2 : index;
  const bool is_mirror = sheet.is_mirrored && index % 2 == 1;
  const int columns = sheet.width / sheet.frame_width;
  const int source_x = (frame % columns) * sheet.frame_width + (is_mirror ? sheet.frame_width - 1 - x : x);
  const int pen = sheet.Pen(source_x, (frame / columns) * sheet.frame_height + y);
  return pen == sheet.mask_pen ? -1 : pen;
}

struct Placement {
  int column = 0;  // byte column of the frame's left edge
  int line = 0;
};

// The screen after drawing frame `index` at `at` over `before`, pixel by pixel.
void ExpectFrameOnScreen(const Sheet& sheet, int index, Placement at,
                         const std::array<uint8_t, 65536>& before, const std::array<uint8_t, 65536>& after) {
  const int per_byte = PixelsPerByte(sheet.mode);
  const int width_bytes = sheet.frame_width / per_byte;
  for (int line = 0; line < kScreenLines; ++line) {
    for (int column = 0; column < kScreenLineBytes; ++column) {
      const uint16_t address = ScreenAddress(column, line);
      const bool is_inside = line >= at.line && line < at.line + sheet.frame_height && column >= at.column &&
                             column < at.column + width_bytes;
      if (!is_inside) {
        ASSERT_EQ(after[address], before[address])
            << "outside the frame, line " << line << " byte " << column;
        continue;
      }
      for (int pixel = 0; pixel < per_byte; ++pixel) {
        const int pen = FramePen(sheet, index, (column - at.column) * per_byte + pixel, line - at.line);
        const int expected = pen < 0 ? ScreenPen(before[address], sheet.mode, pixel) : pen;
        ASSERT_EQ(ScreenPen(after[address], sheet.mode, pixel), expected)
            << "frame " << index << " line " << line - at.line << " pixel "
            << (column - at.column) * per_byte + pixel;
      }
    }
  }
}

std::vector<std::string> SheetArguments(const Sheet& sheet, const std::string& name) {
  std::vector<std::string> args = {"--fail", "sheet" + std::to_string(sheet.mode), name,
                                   std::to_string(sheet.frame_width), std::to_string(sheet.frame_height)};
  if (sheet.mask_pen >= 0) args.push_back("--mask=" + std::to_string(sheet.mask_pen));
  if (sheet.is_mirrored) args.emplace_back("--mirror");
  if (sheet.count > 0) args.push_back("--count=" + std::to_string(sheet.count));
  return args;
}

// A sheet of random pens with a ragged margin, random options and a random count.
Sheet RandomSheet(int mode, std::mt19937& generator) {
  const auto pick = [&generator](int low, int high) {
    return std::uniform_int_distribution<int>(low, high)(generator);
  };
  Sheet sheet;
  sheet.mode = mode;
  sheet.frame_width = PixelsPerByte(mode) * pick(1, 4);
  sheet.frame_height = pick(1, 10);
  const int columns = pick(1, 3);
  const int rows = pick(1, 3);
  sheet.width = columns * sheet.frame_width + pick(0, sheet.frame_width - 1);
  sheet.height = rows * sheet.frame_height + pick(0, sheet.frame_height - 1);
  const int pen_count = mode == 0 ? 16 : mode == 1 ? 4 : 2;
  sheet.pens = RandomPens(sheet.width, sheet.height, generator(), pen_count);
  if (pick(0, 3) != 0) sheet.mask_pen = pick(0, pen_count - 1);
  sheet.is_mirrored = pick(0, 2) != 0;
  if (pick(0, 1) == 0) sheet.count = pick(1, columns * rows);
  return sheet;
}

// The test's routines with the word's source included, assembled by pasmo in
// the folder (the source includes the frames' file by its bare name).
AssembledSource AssembleDriver(const TempDir& dir) {
  std::vector<std::string> driver = kDrawRoutines;
  driver.emplace_back(" include \"sheet_spr.asm\"");
  EXPECT_EQ(WriteTextFile(dir.File("driver.asm"), driver), std::nullopt);
  const std::filesystem::path previous = std::filesystem::current_path();
  std::filesystem::current_path(dir.path());
  AssembledSource assembled = AssembleWithPasmo("driver.asm");
  std::filesystem::current_path(previous);
  return assembled;
}

// The frames' table as the program sees it: where it lies in memory, and
// the labels of the frames when the dialect has them.
struct FrameTable {
  int address = 0;
  std::map<std::string, int> symbols;  // the build's labels
  std::string frame_label;             // the frames' label before their number; empty in C
};

int FrameCount(const Sheet& sheet) {
  const int whole = (sheet.width / sheet.frame_width) * (sheet.height / sheet.frame_height);
  return (sheet.count > 0 ? sheet.count : whole) * (sheet.is_mirrored ? 2 : 1);
}

// The test's routines with the word's WinApe source built by pasmo into z80's
// memory, its equates checked; its table.
FrameTable LoadPasmoDriver(const TempDir& dir, const Sheet& sheet, Z80Machine& z80) {
  const AssembledSource assembled = AssembleDriver(dir);
  EXPECT_TRUE(assembled.is_ok) << assembled.messages;
  std::map<std::string, int> symbols = assembled.symbols;
  EXPECT_EQ(symbols["sheet_FRAMES"], FrameCount(sheet));
  EXPECT_EQ(symbols["sheet_WIDTH"], sheet.frame_width / PixelsPerByte(sheet.mode));
  EXPECT_EQ(symbols["sheet_HEIGHT"], sheet.frame_height);
  z80.Load(kCodeAddress, assembled.binary);
  return {symbols["sheet_table"], symbols, "sheet_"};
}

// The word's sdasz80 or C source built by SDCC at kSdccAddress into z80's
// memory, its header's equates and a frame's label checked by sdcc; its table.
FrameTable LoadSdccBuild(const TempDir& dir, const std::string& syntax, int frames, Z80Machine& z80) {
  const std::string source = dir.File(syntax == "c" ? "sheet_spr.c" : "sheet_spr.s");
  std::filesystem::create_directories(dir.File("work_" + syntax));
  SdccBuild build = BuildWithSdcc({source}, dir.File("work_" + syntax), kSdccAddress);
  EXPECT_TRUE(build.is_ok) << build.messages;
  if (build.binary.size() > kSdccAddress)
    z80.Load(kSdccAddress, std::span(build.binary).subspan(kSdccAddress));
  const std::vector<std::string> check = {
      "#include \"" + dir.File("sheet_spr.h") + "\"",
      "_Static_assert(sheet_FRAMES == " + std::to_string(frames) + ", \"frames\");",
      "_Static_assert(sheet_table_SIZE == 2 * sheet_FRAMES, \"table\");",
      "_Static_assert(sheet_SIZE == sheet_FRAMES * sheet_FRAME_SIZE, \"size\");",
      "const unsigned char *const last_frame = sheet_" + std::to_string(frames - 1) + ";"};
  std::string messages;
  EXPECT_TRUE(CompilesWithSdcc(check, dir.File("check_" + syntax), messages)) << messages;
  return {build.symbols["_sheet_table"], build.symbols, syntax == "c" ? "" : "_sheet_"};
}

// Runs the word and draws every frame over a random screen with the test's
// routines, built by pasmo over the word's WinApe source, through the address
// table of that source or, with syntax "sdasz80" or "c", of the same sheet's
// source in that dialect built by SDCC.
void DrawEveryFrame(const TempDir& dir, const Sheet& sheet, const std::string& syntax,
                    std::mt19937& generator) {
  ASSERT_TRUE(WriteIndexedBmp(dir.File("sheet.bmp"), sheet.width, sheet.height, sheet.pens));
  std::vector<std::string> args = SheetArguments(sheet, "sheet");
  ASSERT_EQ(RunProgram(GRAVIK_BIN, args, dir.path()).exit_code, 0);
  Z80Machine z80;
  const FrameTable driver = LoadPasmoDriver(dir, sheet, z80);
  FrameTable table = driver;
  if (syntax != "winape") {
    args.insert(args.begin() + 1, "--syntax=" + syntax);
    ASSERT_EQ(RunProgram(GRAVIK_BIN, args, dir.path()).exit_code, 0);
    table = LoadSdccBuild(dir, syntax, FrameCount(sheet), z80);
  }
  if (::testing::Test::HasFailure()) return;
  const int width_bytes = sheet.frame_width / PixelsPerByte(sheet.mode);
  const std::string routine = sheet.mask_pen >= 0 ? "draw_masked" : "draw_plain";
  for (int index = 0; index < FrameCount(sheet); ++index) {
    SCOPED_TRACE("frame " + std::to_string(index));
    for (int address = kScreen; address <= 0xFFFF; ++address)
      z80.memory()[address] = static_cast<uint8_t>(generator());
    const std::array<uint8_t, 65536> before = z80.memory();
    const Placement at{std::uniform_int_distribution<int>(0, kScreenLineBytes - width_bytes)(generator),
                       std::uniform_int_distribution<int>(0, kScreenLines - sheet.frame_height)(generator)};
    const uint16_t frame_address = ReadLe16(&z80.memory()[static_cast<size_t>(table.address + 2 * index)]);
    if (!table.frame_label.empty()) {
      ASSERT_EQ(frame_address, table.symbols.at(table.frame_label + std::to_string(index)));
    }
    z80.SetRegister(Z80Register::kHL, frame_address);
    z80.SetRegister(Z80Register::kDE, ScreenAddress(at.column, at.line));
    z80.SetRegister(Z80Register::kBC, static_cast<uint16_t>(sheet.frame_height << 8 | width_bytes));
    ASSERT_TRUE(z80.Call(static_cast<uint16_t>(driver.symbols.at(routine)), 1000000).has_returned);
    ExpectFrameOnScreen(sheet, index, at, before, z80.memory());
  }
}

}  // namespace

TEST(SheetOnZ80, EveryFrameDrawnOverARandomScreenShowsTheSheetsPixels) {
  const TempDir dir;
  std::mt19937 generator(2027);
  for (int round = 0; round < 12; ++round) {
    for (int mode = 0; mode <= 2; ++mode) {
      const Sheet sheet = RandomSheet(mode, generator);
      SCOPED_TRACE("mode " + std::to_string(mode) + " round " + std::to_string(round) + " frame " +
                   std::to_string(sheet.frame_width) + " x " + std::to_string(sheet.frame_height) + " mask " +
                   std::to_string(sheet.mask_pen) + (sheet.is_mirrored ? " mirrored" : "") + " count " +
                   std::to_string(sheet.count));
      // Every third sheet also through its sdasz80 source, every third through its C one.
      const std::string syntax = round % 3 == 0 ? "winape" : round % 3 == 1 ? "sdasz80" : "c";
      DrawEveryFrame(dir, sheet, syntax, generator);
      if (HasFatalFailure()) return;
    }
  }
}

namespace {

std::vector<std::string> SourceLines(const std::string& path, const std::string& size) {
  return {"source : " + path, size};
}

std::vector<std::string> Joined(std::vector<std::string> first, const std::vector<std::string>& then) {
  first.insert(first.end(), then.begin(), then.end());
  return first;
}

}  // namespace

// A sheet with a ragged margin: the whole frames are cut in reading order,
// the margin (even pens no mode has) is left out, and every byte of the
// frames holds the sheet's pens; a name that is no label gets labels by the
// label rule.
TEST(SheetWord, CutsTheWholeFramesAndSaysSo) {
  const TempDir dir;
  Sheet sheet;
  sheet.width = 70;
  sheet.height = 40;
  sheet.frame_width = 16;
  sheet.frame_height = 16;
  sheet.pens = RandomPens(70, 40, 8, 16);
  for (int y = 0; y < 40; ++y) {
    for (int x = 0; x < 70; ++x) {
      if (x >= 64 || y >= 32) sheet.pens[static_cast<size_t>(y * 70 + x)] = 255;
    }
  }
  ASSERT_TRUE(WriteIndexedBmp(dir.File("my-hero.bmp"), 70, 40, sheet.pens));
  const RunResult run = RunProgram(GRAVIK_BIN, SheetArguments(sheet, "my-hero"), dir.path());
  EXPECT_EQ(run.exit_code, 0);
  EXPECT_EQ(
      AfterStartup(run),
      Joined(
          SourceLines("my-hero.bmp", " 70/ 40 @ 8"),
          {"CutSpriteSheet : 8 frames of 16 x 16 pixels cut, 4 a row",
           "CutSpriteSheet : 8 frames of 8 x 16 bytes, 128 bytes each, in my-hero.spr and my-hero_spr.asm"}));
  const std::vector<uint8_t> frames = ReadFileBytes(dir.File("my-hero.spr"));
  ASSERT_EQ(frames.size(), 8u * 128u);
  for (size_t at = 0; at < frames.size(); ++at) {
    const int index = static_cast<int>(at / 128);
    const int line = static_cast<int>(at % 128 / 8);
    const int column = static_cast<int>(at % 8);
    for (int pixel = 0; pixel < 2; ++pixel) {
      ASSERT_EQ(ScreenPen(frames[at], 0, pixel), FramePen(sheet, index, column * 2 + pixel, line))
          << "byte " << at;
    }
  }
  const std::vector<std::string> source = ReadTextLines(dir.File("my-hero_spr.asm"));
  ASSERT_GE(source.size(), 10u);
  EXPECT_EQ(source[1], "my_hero_WIDTH equ 8");
  EXPECT_EQ(source.back(),
            " dw my_hero_0,my_hero_1,my_hero_2,my_hero_3,my_hero_4,my_hero_5,my_hero_6,my_hero_7");
}

// The whole source and frames file of a tiny masked, mirrored mode 1 sheet,
// worked out by hand: pens 1 2 3 0 give data #A6 and mask #11 (pen 0 shows
// the background), mirrored 0 3 2 1 give #56 and #88.
TEST(SheetWord, MaskedMirroredFramesByteForByte) {
  const TempDir dir;
  ASSERT_TRUE(WriteIndexedBmp(dir.File("tiny.bmp"), 8, 1, {1, 2, 3, 0, 3, 3, 0, 0}));
  const RunResult run =
      RunProgram(GRAVIK_BIN, {"--fail", "sheet1", "tiny", "4", "1", "--mirror", "--mask=0"}, dir.path());
  EXPECT_EQ(run.exit_code, 0);
  EXPECT_EQ(ReadFileBytes(dir.File("tiny.spr")),
            (std::vector<uint8_t>{0x11, 0xA6, 0x88, 0x56, 0x33, 0xCC, 0xCC, 0x33}));
  EXPECT_EQ(ReadTextLines(dir.File("tiny_spr.asm")),
            (std::vector<std::string>{
                "; tiny.spr : 4 frames of 1 x 1 bytes (width x lines) in the mode 1 byte layout, lines from "
                "the top",
                "; a mask byte before each data byte, screen = (screen AND mask) OR data: pen 0 shows the "
                "background",
                "; frame 2i + 1 is frame 2i mirrored",
                "tiny_WIDTH equ 1",
                "tiny_HEIGHT equ 1",
                "tiny_FRAME_SIZE equ 2",
                "tiny_FRAMES equ 4",
                "tiny_SIZE equ 8",
                "tiny:",
                " incbin \"tiny.spr\"",
                "tiny_0 equ tiny+0",
                "tiny_1 equ tiny+2",
                "tiny_2 equ tiny+4",
                "tiny_3 equ tiny+6",
                "tiny_table:",
                " dw tiny_0,tiny_1,tiny_2,tiny_3",
            }));
}

namespace {

struct RefusalCase {
  std::vector<std::string> args;
  std::vector<std::string> lines;  // after the start-up lines
};

const std::vector<std::string> kPicLines = SourceLines("pic.bmp", " 16/ 8 @ 8");
const std::string kPrefix = "CutSpriteSheet : ";

// On pic.bmp (16 x 8, pens 0 and 1), wild.bmp (pen 5 at 3, 2) and deep.bmp (24 bits).
const RefusalCase kRefusals[] = {
    {{"sheet1", "pic", "6", "4"},
     Joined(kPicLines,
            {kPrefix + "a frame 6 pixels wide is not a whole number of mode 1 bytes (4 pixels a byte)"})},
    {{"sheet2", "pic", "4", "4"},
     Joined(kPicLines,
            {kPrefix + "a frame 4 pixels wide is not a whole number of mode 2 bytes (8 pixels a byte)"})},
    {{"sheet0", "pic", "0", "4"}, Joined(kPicLines, {kPrefix + "a frame of 0 x 4 pixels has no pixels"})},
    {{"sheet0", "pic", "4", "-2"}, Joined(kPicLines, {kPrefix + "a frame of 4 x -2 pixels has no pixels"})},
    {{"sheet0", "pic", "18", "4"},
     Joined(kPicLines, {kPrefix + "a frame of 18 x 4 pixels is larger than the sheet (16 x 8)"})},
    {{"sheet0", "pic", "8", "9"},
     Joined(kPicLines, {kPrefix + "a frame of 8 x 9 pixels is larger than the sheet (16 x 8)"})},
    {{"sheet0", "pic", "8", "4", "--count=5"},
     Joined(kPicLines, {kPrefix + "--count=5 is more than the 4 whole frames of the sheet"})},
    {{"sheet1", "wild", "4", "4"},
     Joined(SourceLines("wild.bmp", " 16/ 8 @ 8"),
            {kPrefix + "pen 5 at 3, 2 is not a pen of mode 1 (0 to 3)"})},
    {{"sheet1", "pic", "4", "4", "--mask=4"}, {kPrefix + "--mask=4 is not a pen of mode 1 (0 to 3)"}},
    {{"sheet0", "pic", "4", "4", "--mask=16"}, {kPrefix + "--mask=16 is not a pen of mode 0 (0 to 15)"}},
    {{"sheet2", "pic", "8", "8", "--mask=-1"}, {kPrefix + "bad value in --mask=-1"}},
    {{"sheet2", "pic", "8", "8", "--mask="}, {kPrefix + "bad value in --mask="}},
    {{"sheet2", "pic", "8", "8", "--mirror=yes"}, {kPrefix + "bad value in --mirror=yes"}},
    {{"sheet2", "pic", "8", "8", "--count=0"}, {kPrefix + "bad value in --count=0"}},
    {{"sheet2", "pic", "8", "8", "--count=2x"}, {kPrefix + "bad value in --count=2x"}},
    {{"sheet2", "pic", "8", "8", "--flip"}, {kPrefix + "unknown option --flip"}},
    {{"sheet2", "pic", "8", "8", "extra"}, {kPrefix + "unknown option extra"}},
    {{"sheet0", "pi\"c", "2", "2"}, {kPrefix + "Name can not hold a quote"}},
    {{"sheet0", "deep", "2", "2"}, Joined(SourceLines("deep.bmp", " 4/ 4 @ 24"), {"Source must be 8 bits"})},
    {{"sheet0", "missing", "2", "2"},
     {"FIF: 0 - MESSAGE:FreeImage_Load: failed to open file missing.bmp", "Can not load missing.bmp"}},
};

}  // namespace

TEST(SheetWord, RefusalsSayWhyInOneLineAndWriteNothing) {
  const TempDir dir;
  ASSERT_TRUE(WriteIndexedBmp(dir.File("pic.bmp"), 16, 8, RandomPens(16, 8, 4, 2)));
  std::vector<uint8_t> wild = RandomPens(16, 8, 5, 4);
  wild[2 * 16 + 3] = 5;
  ASSERT_TRUE(WriteIndexedBmp(dir.File("wild.bmp"), 16, 8, wild));
  ASSERT_TRUE(WriteBmpOfDepth(dir.File("deep.bmp"), 4, 4, 24));
  const std::vector<uint8_t> kept = {'k', 'e', 'p', 't'};
  for (const char* name : {"pic.spr", "wild.spr", "wild_spr.asm"})
    ASSERT_TRUE(WriteFileBytes(dir.File(name), kept));
  const int entries = CountEntries(dir.path());
  for (const RefusalCase& c : kRefusals) {
    std::vector<std::string> args = {"--fail"};
    args.insert(args.end(), c.args.begin(), c.args.end());
    const RunResult run = RunProgram(GRAVIK_BIN, args, dir.path());
    EXPECT_EQ(AfterStartup(run), c.lines) << c.args.back();
    EXPECT_EQ(run.exit_code, 1) << c.args.back();
    EXPECT_EQ(CountEntries(dir.path()), entries) << c.args.back();
  }
  for (const char* name : {"pic.spr", "wild.spr", "wild_spr.asm"})
    EXPECT_EQ(ReadFileBytes(dir.File(name)), kept);
  const RunResult short_run = RunProgram(GRAVIK_BIN, {"--fail", "sheet0", "pic", "8"}, dir.path());
  EXPECT_EQ(AfterStartup(short_run), std::vector<std::string>{"Not enough arguments !"});
  EXPECT_EQ(short_run.exit_code, 2);
}

// The frames and their source are one group: a source that can not be put in
// place leaves the frames' file as it was.
TEST(SheetWord, ASourceThatCanNotBeWrittenKeepsTheFramesFileToo) {
  const TempDir dir;
  ASSERT_TRUE(WriteIndexedBmp(dir.File("pic.bmp"), 16, 8, RandomPens(16, 8, 4, 4)));
  const std::vector<uint8_t> kept = {'k', 'e', 'p', 't'};
  ASSERT_TRUE(WriteFileBytes(dir.File("pic.spr"), kept));
  std::filesystem::create_directory(dir.File("pic_spr.asm"));
  const RunResult run = RunProgram(GRAVIK_BIN, {"--fail", "sheet1", "pic", "8", "8"}, dir.path());
  EXPECT_EQ(run.exit_code, 1);
  EXPECT_EQ(AfterStartup(run).back(), "CutSpriteSheet : Can not write pic_spr.asm");
  EXPECT_EQ(ReadFileBytes(dir.File("pic.spr")), kept);
  EXPECT_EQ(CountEntries(dir.path()), 3);
}
