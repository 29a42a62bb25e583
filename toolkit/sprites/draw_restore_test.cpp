#include "toolkit/sprites/draw_restore.h"

#include <gtest/gtest.h>

#include "tests/test_support.h"

namespace {

Picture ViewOf(const std::vector<uint8_t>& pens, int width, int height) {
  return PictureFromPens(width, height, pens.data());
}

}  // namespace

TEST(DrawRestore, PairBlocksMovesAndTotals) {
  // Row 0: a pair with a transparent left pixel, then an opaque pair;
  // row 1: a pair with a transparent right pixel, then an empty pair.
  const std::vector<uint8_t> pens = {0, 3, 5, 21, 2, 0, 0, 16};
  const DrawRestoreCode code = GenerateDrawRestoreLines(ViewOf(pens, 4, 2), 4, 2, "obj", false);
  const std::vector<std::string> draw = {
      "draw_obj:",
      "; entry: HL = first screen byte of a character row, DE = buffer",
      "; DE steps with inc E: the buffer must not cross a 256-byte page",
      "\tld BC,#55AA ;filters",
      ";column  0",
      "\tld A,(HL)",
      "\tld (DE),A",
      "\tinc E",
      "\tand C",
      "\tor #44",
      "\tld (HL),A",
      "\tld A,H",
      "\tadd A,#08",
      "\tld H,A",
      "\tld A,(HL)",
      "\tld (DE),A",
      "\tinc E",
      "\tand B",
      "\tor #8",
      "\tld (HL),A",
      ";column  1",
      "\tinc HL",
      "\tld A,H",
      "\tsub #08",
      "\tld H,A",
      "\tld A,(HL)",
      "\tld (DE),A",
      "\tinc E",
      "\tld (HL), 240",
      "\tret",
      "; total time  45 nops",
      "; total size  32 bytes",
      "; buffer size  3 bytes",
  };
  EXPECT_EQ(code.draw_lines, draw);
  const std::vector<std::string> restore = {
      "restore_obj:",
      "; entry: HL = first screen byte of a character row, DE = buffer the draw routine filled",
      "\tld A,(DE)", "\tld (HL),A", "\tinc E",
      "\tld A,H", "\tadd A,#08", "\tld H,A",
      "\tld A,(DE)", "\tld (HL),A", "\tinc E",
      "\tinc HL", "\tld A,H", "\tsub #08", "\tld H,A",
      "\tld A,(DE)", "\tld (HL),A", "\tinc E",
      "\tret",
      "; total time  28 nops",
      "; total size  19 bytes",
  };
  EXPECT_EQ(code.restore_lines, restore);
  EXPECT_EQ(code.buffer_bytes, 3);
}

TEST(DrawRestore, WordPointerAndEmptyObjects) {
  const std::vector<uint8_t> pens = {7, 7};
  const DrawRestoreCode word = GenerateDrawRestoreLines(ViewOf(pens, 2, 1), 2, 1, "w", true);
  EXPECT_EQ(word.draw_lines[2], "; DE steps with inc DE: the buffer may lie anywhere");
  EXPECT_EQ(word.draw_lines[7], "\tinc DE");
  EXPECT_EQ(word.restore_lines[4], "\tinc DE");
  EXPECT_EQ(word.draw_time_nops, 4 + 2 + 2 + 2 + 3 + 3);
  // Width 0: the label, the entry comment, the filters, the ret and the totals.
  const DrawRestoreCode empty = GenerateDrawRestoreLines(ViewOf(pens, 2, 1), 0, 1, "e", false);
  EXPECT_EQ(empty.draw_lines,
            (std::vector<std::string>{
                "draw_e:", "; entry: HL = first screen byte of a character row, DE = buffer",
                "; DE steps with inc E: the buffer must not cross a 256-byte page", "\tld BC,#55AA ;filters",
                "\tret", "; total time  7 nops", "; total size  4 bytes", "; buffer size  0 bytes"}));
  // All-transparent pairs write nothing and save nothing.
  const std::vector<uint8_t> clear = {0, 16, 32, 0};
  EXPECT_EQ(GenerateDrawRestoreLines(ViewOf(clear, 4, 1), 4, 1, "c", false).buffer_bytes, 0);
}

TEST(DrawRestore, ChecksInOrderAndWritesNothing) {
  const TempDir dir;
  ASSERT_TRUE(WriteIndexedBmp(dir.File("obj.bmp"), 16, 8, RandomPens(16, 8, 3, 16)));
  ASSERT_TRUE(WriteIndexedBmp(dir.File("odd.bmp"), 15, 8, RandomPens(15, 8, 3, 16)));
  const struct {
    int width;
    int height;
    std::string message;
  } refusals[] = {
      {3, 9, "Requested width must multiple of 2"},
      {4, 9, "Requested height can not be higher than 8 - use sprites for bigger objets"},
      {18, 8, "Requested width can not be larger than source width ( 16)"},
      {16, 9, "Requested height can not be higher than 8 - use sprites for bigger objets"},
      {-2, 4, "Requested size can not be negative"},
  };
  for (const auto& r : refusals) {
    const ConsoleCapture console;
    EXPECT_FALSE(GenerateDrawRestoreCode(dir.File("obj.bmp"), "x.asm", r.width, r.height));
    EXPECT_EQ(console.lines().back(), r.message);
    EXPECT_EQ(console.lines().size(), 3u);
  }
  ASSERT_TRUE(WriteIndexedBmp(dir.File("short.bmp"), 16, 4, RandomPens(16, 4, 3, 16)));
  {
    const ConsoleCapture console;
    EXPECT_FALSE(GenerateDrawRestoreCode(dir.File("short.bmp"), "x.asm", 16, 6));
    EXPECT_EQ(console.lines().back(), "Requested height can not be larger than source height ( 4)");
    EXPECT_FALSE(GenerateDrawRestoreCode(dir.File("odd.bmp"), "x.asm", 2, 2));
    EXPECT_EQ(console.lines().back(), "Source width is not valid, must be a multiple of  2");
  }
  EXPECT_EQ(CountEntries(dir.path()), 3);
}

TEST(DrawRestore, BufferWarningAsksOnceAndUpperCasesTheAnswer) {
  const TempDir dir;
  ASSERT_TRUE(WriteIndexedBmp(dir.File("wide.bmp"), 80, 8, std::vector<uint8_t>(80 * 8, 9)));
  const std::string name = "wide.asm";
  const std::filesystem::path previous = std::filesystem::current_path();
  std::filesystem::current_path(dir.path());
  const struct {
    std::string answer;
    bool is_word;
  } answers[] = {{"y", true}, {"Y", true}, {"yes", false}, {"", false}, {" Y", false}};
  for (const auto& a : answers) {
    const ConsoleAnswers input({a.answer});
    const ConsoleCapture console;
    EXPECT_TRUE(GenerateDrawRestoreCode("wide.bmp", name, 80, 8));
    EXPECT_EQ(input.questions_asked(), 1);
    EXPECT_EQ(console.lines(), (std::vector<std::string>{"source : wide.bmp", " 80/ 8 @ 8",
                                                        "Warning ! buffer size may exceed page size",
                                                        "force word pointer (Y/ANY) ?"}));
    const std::vector<std::string> draw = ReadTextLines("draw_wide.asm");
    EXPECT_EQ(draw[7], a.is_word ? "\tinc DE" : "\tinc E") << a.answer;
    EXPECT_EQ(draw.back(), "; buffer size  320 bytes");
  }
  {
    // 16 x 8 is 64 bytes: no warning, no question.
    const ConsoleAnswers input({"Y"});
    const ConsoleCapture console;
    EXPECT_TRUE(GenerateDrawRestoreCode("wide.bmp", name, 16, 8));
    EXPECT_EQ(input.questions_asked(), 0);
    EXPECT_EQ(ReadTextLines("restore_wide.asm").front(), "restore_wide:");
  }
  std::filesystem::current_path(previous);
}
