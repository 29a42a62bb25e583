// gravik dma, ay, ayraw and ayopt run as a user would, with small players that
// turn the lists back into the levels the CPC+ would output, one per 64
// microsecond step.
#include <gtest/gtest.h>

#include <random>

#include "tests/asm_check.h"
#include "tests/test_support.h"

namespace {

using Bytes = std::vector<uint8_t>;
using Lines = std::vector<std::string>;

RunResult Gravik(const TempDir& dir, const Lines& args) { return RunProgram(GRAVIK_BIN, args, dir.path()); }

// " 12": a count as the console shows it. Appended, not " " + text: GCC 12 at -O2
// sees a false overlap (-Wrestrict) in that form.
std::string Spaced(size_t value) {
  std::string text = " ";
  text += std::to_string(value);
  return text;
}

// The sample player for the byte list: #FF ends, bit 4 clear outputs a level
// for one step, bit 4 set holds the last level for a 12-bit pause.
Bytes PlayDmaList(const Bytes& list) {
  Bytes steps;
  uint8_t level = 0;
  for (size_t k = 0; k < list.size() && list[k] != 0xFF; ++k) {
    if ((list[k] & 0x10) == 0) {
      level = list[k];
      steps.push_back(level);
    } else if (k + 1 < list.size()) {
      const int pause = (list[k] & 0x0F) << 8 | list[k + 1];
      steps.insert(steps.end(), static_cast<size_t>(pause), level);
      ++k;
    }
  }
  return steps;
}

std::vector<uint16_t> Words(const Bytes& bytes) {
  std::vector<uint16_t> words;
  for (size_t k = 0; k + 1 < bytes.size(); k += 2)
    words.push_back(static_cast<uint16_t>(bytes[k] | bytes[k + 1] << 8));
  return words;
}

// The sound DMA running a list: LOAD R9 sets the level for one step, PAUSE
// holds it, REPEAT and LOOP play the chunk between them REPEAT's count times.
Bytes PlayAyList(const std::vector<uint16_t>& words) {
  Bytes steps;
  uint8_t level = 0;
  size_t loop_start = 0;
  int loops_left = 0;
  for (size_t pc = 0; pc < words.size(); ++pc) {
    const uint16_t word = words[pc];
    if ((word & 0xFF00) == 0x0900) {
      level = static_cast<uint8_t>(word);
      steps.push_back(level);
    } else if ((word & 0xF000) == 0x1000) {
      steps.insert(steps.end(), word & 0x0FFF, level);
    } else if ((word & 0xF000) == 0x2000) {
      loops_left = word & 0x0FFF;
      loop_start = pc;
    } else if (word == 0x4001 && --loops_left > 0) {
      pc = loop_start;
    }
  }
  return steps;
}

Bytes Levels(const Bytes& samples, const Bytes& table) {
  Bytes levels;
  for (const uint8_t sample : samples) levels.push_back(table[sample]);
  return levels;
}

// Random sound: stretches of one value, some longer than a pause can hold.
Bytes RandomSample(uint32_t seed, size_t length = 20000) {
  std::mt19937 random(seed);
  Bytes samples;
  while (samples.size() < length) {
    const size_t lengths[] = {1, 2, 3, 1 + random() % 300, 4095 + random() % 4};
    samples.insert(samples.end(), lengths[random() % 5], static_cast<uint8_t>(random()));
  }
  return samples;
}

Bytes RandomTable(uint32_t seed, int level_limit) {
  std::mt19937 random(seed);
  Bytes table(256);
  for (uint8_t& level : table) level = static_cast<uint8_t>(random() % level_limit);
  return table;
}

Bytes IdentityTable() {
  Bytes table(256);
  for (size_t k = 0; k < table.size(); ++k) table[k] = static_cast<uint8_t>(k);
  return table;
}

TEST(GravikSound, DmaWritesListAndReportsSizes) {
  TempDir dir;
  ASSERT_TRUE(WriteFileBytes(dir.File("s.snd"), {5, 7, 7, 7, 9}));
  ASSERT_TRUE(WriteFileBytes(dir.File("levels"), IdentityTable()));
  EXPECT_EQ(AfterStartup(Gravik(dir, {"DMA", "s", "levels"})),
            (Lines{"ConvertDMAsample15K : s.snd", "ConvertDMAsample15K : Processing  5 samples...",
                   "ConvertDMAsample15K : DMA sample size :  5 bytes"}));
  EXPECT_EQ(ReadTextLines(dir.File("s.asm")),
            (Lines{";starting DMA sample here - pause unit = 64nops",
                   ";=DMA sample format=", ";first data is 8bits", ";data = #FF ==> end of sample", ";else",
                   ";bit 4 = 0 ==> data = sample to output (AY code 0RDD (ld R,DD)",
                   ";bit 4 = 1 ==> read next byte data2 (AY code byte1,byte2 so 1DDD (pause DDD))", "db #05",
                   "db #07", "db #10,#02", "db #09", "db #FF ;the end", ";sample size  5 bytes"}));
  const AssembledSource assembled = AssembleWithPasmo(dir.File("s.asm"));
  ASSERT_TRUE(assembled.is_ok) << assembled.messages;
  EXPECT_EQ(assembled.binary, (Bytes{0x05, 0x07, 0x10, 0x02, 0x09, 0xFF}));
}

TEST(GravikSound, DmaListPlaysEverySample) {
  for (uint32_t seed : {1u, 2u, 3u}) {
    TempDir dir;
    // The last one is read in several blocks, with runs across their edges.
    const Bytes samples = RandomSample(seed, seed == 3 ? 200000 : 20000);
    const Bytes table = RandomTable(seed, 16);  // AY volumes; bit 4 stays clear
    ASSERT_TRUE(WriteFileBytes(dir.File("s.snd"), samples));
    ASSERT_TRUE(WriteFileBytes(dir.File("t"), table));
    const Lines console = AfterStartup(Gravik(dir, {"dma", "s", "t"}));
    const AssembledSource assembled = AssembleWithPasmo(dir.File("s.asm"));
    ASSERT_TRUE(assembled.is_ok) << assembled.messages;
    EXPECT_EQ(PlayDmaList(assembled.binary), Levels(samples, table)) << seed;
    const std::string size = Spaced(assembled.binary.size() - 1) + " bytes";
    EXPECT_EQ(ReadTextLines(dir.File("s.asm")).back(), ";sample size " + size);
    EXPECT_EQ(console.back(), "ConvertDMAsample15K : DMA sample size : " + size);
  }
}

TEST(GravikSound, AyTextAssemblesToTheRawListAndPlaysEverySample) {
  for (uint32_t seed : {4u, 5u}) {
    TempDir dir;
    const Bytes samples = RandomSample(seed);
    const Bytes table = RandomTable(seed, 256);
    ASSERT_TRUE(WriteFileBytes(dir.File("s.snd"), samples));
    ASSERT_TRUE(WriteFileBytes(dir.File("t"), table));
    const Lines text_console = AfterStartup(Gravik(dir, {"ay", "s", "t"}));
    const Lines raw_console = AfterStartup(Gravik(dir, {"ayraw", "s", "t"}));
    const Bytes raw = ReadFileBytes(dir.File("s.ayl"));
    const std::string count = Spaced(samples.size()) + " samples...";
    const std::string size = Spaced(raw.size()) + " bytes";
    const Lines expected = {"ConvertAYlist15K : s.snd", "ConvertAYlist15K : Processing " + count,
                            "ConvertAYlist15K : AY list size : " + size};
    EXPECT_EQ(text_console, expected);
    EXPECT_EQ(raw_console, expected);
    EXPECT_EQ(ReadTextLines(dir.File("s_ay.asm")).front(),
              ";starting sample AY list here - pause unit = 64nops");
    const AssembledSource assembled = AssembleWithPasmo(dir.File("s_ay.asm"));
    ASSERT_TRUE(assembled.is_ok) << assembled.messages;
    EXPECT_EQ(assembled.binary, raw);
    EXPECT_EQ(PlayAyList(Words(raw)), Levels(samples, table)) << seed;
  }
}

TEST(GravikSound, AyOptimisedListPlaysLikeItsInput) {
  TempDir dir;
  // A square wave of 20 steps a period, then a fade: long stretches of one chunk.
  Bytes samples;
  for (int n = 0; n < 5000; ++n) samples.push_back((n / 10) % 2 == 0 ? 200 : 50);
  for (int n = 0; n < 900; ++n) samples.push_back(static_cast<uint8_t>(n % 7 * 30));
  ASSERT_TRUE(WriteFileBytes(dir.File("s.snd"), samples));
  ASSERT_TRUE(WriteFileBytes(dir.File("t"), RandomTable(9, 16)));
  Gravik(dir, {"ayraw", "s", "t"});
  const Bytes raw = ReadFileBytes(dir.File("s.ayl"));
  const Lines console = AfterStartup(Gravik(dir, {"ayopt", "s", "x"}));
  ASSERT_GE(console.size(), 4u);
  EXPECT_EQ(console[0], "OptimizeAYlist : default chunksize used (64)");
  EXPECT_EQ(console[1], "OptimizeAYlist : reading  " + std::to_string(raw.size()) + " bytes ,  " +
                            std::to_string(raw.size() / 2) + " instructions");
  EXPECT_EQ(console[2].substr(0, 6), "Found ");
  const AssembledSource assembled = AssembleWithPasmo(dir.File("s_opt.asm"));
  ASSERT_TRUE(assembled.is_ok) << assembled.messages;
  EXPECT_EQ(console.back(),
            "OptimizeAYlist : Writing s_opt.asm  " + std::to_string(assembled.binary.size()) + " bytes");
  EXPECT_LT(assembled.binary.size(), raw.size() / 4);
  EXPECT_EQ(PlayAyList(Words(assembled.binary)), PlayAyList(Words(raw)));
}

TEST(GravikSound, AyOptIgnoresOddByteAndSmallChunks) {
  TempDir dir;
  Bytes raw;
  // Byte by byte: GCC 12 at -O2 sees a false overflow (-Wstringop-overflow) in insert() here.
  const Bytes chunk = {0x01, 0x09, 0x02, 0x09, 0x05, 0x10, 0x03, 0x09};
  for (int n = 0; n < 3; ++n) {
    for (uint8_t byte : chunk) raw.push_back(byte);
  }
  raw.push_back(0x77);
  ASSERT_TRUE(WriteFileBytes(dir.File("l.ayl"), raw));
  EXPECT_EQ(AfterStartup(Gravik(dir, {"ayopt", "l", "3"})),
            (Lines{"OptimizeAYlist : reading  25 bytes ,  12 instructions",
                   "OptimizeAYlist : Writing l_opt.asm  24 bytes"}));
  EXPECT_EQ(ReadTextLines(dir.File("l_opt.asm")).size(), 12u);
  EXPECT_EQ(AfterStartup(Gravik(dir, {"ayopt", "l", "4"})),
            (Lines{"OptimizeAYlist : reading  25 bytes ,  12 instructions", "Found  3 occurences , size 4",
                   "OptimizeAYlist : Writing l_opt.asm  12 bytes"}));
  EXPECT_EQ(ReadTextLines(dir.File("l_opt.asm")), (Lines{"dw #2003 ;looping  3", "dw #0901", "dw #0902",
                                                         "dw #1005", "dw #0903", "dw #4001 ;next"}));
}

TEST(GravikSound, AyOptFindsChunksThatOccurTwice) {
  // Words: ABCD ABCD X EFGHI EFGHI Y. Each chunk repeats once; the second is the
  // full chunk size, and Y after it lets its second copy count.
  const std::vector<uint16_t> words = {0x0100, 0x0201, 0x0302, 0x0403, 0x0100, 0x0201, 0x0302,
                                       0x0403, 0x0F0E, 0x0504, 0x0605, 0x0706, 0x0807, 0x0908,
                                       0x0504, 0x0605, 0x0706, 0x0807, 0x0908, 0x0A0A};
  Bytes raw;
  for (uint16_t word : words) {
    raw.push_back(static_cast<uint8_t>(word & 0xFF));
    raw.push_back(static_cast<uint8_t>(word >> 8));
  }
  TempDir dir;
  ASSERT_TRUE(WriteFileBytes(dir.File("two.ayl"), raw));
  EXPECT_EQ(AfterStartup(Gravik(dir, {"ayopt", "two", "5"})),
            (Lines{"OptimizeAYlist : reading  40 bytes ,  20 instructions", "Found  2 occurences , size 4",
                   "Found  2 occurences , size 5", "OptimizeAYlist : Writing two_opt.asm  30 bytes"}));
  EXPECT_EQ(ReadTextLines(dir.File("two_opt.asm")),
            (Lines{"dw #2002 ;looping  2", "dw #0100", "dw #0201", "dw #0302", "dw #0403", "dw #4001 ;next",
                   "dw #0F0E", "dw #2002 ;looping  2", "dw #0504", "dw #0605", "dw #0706", "dw #0807",
                   "dw #0908", "dw #4001 ;next", "dw #0A0A"}));
}

TEST(GravikSound, RefusalsWriteNothingAndKeepExistingFiles) {
  TempDir dir;
  ASSERT_TRUE(WriteFileBytes(dir.File("s.snd"), {1, 2, 3}));
  ASSERT_TRUE(WriteFileBytes(dir.File("empty.snd"), {}));
  ASSERT_TRUE(WriteFileBytes(dir.File("t"), IdentityTable()));
  ASSERT_TRUE(WriteFileBytes(dir.File("short"), Bytes(255, 1)));
  ASSERT_TRUE(WriteFileBytes(dir.File("s.asm"), {'k', 'e', 'e', 'p'}));
  const int entries = CountEntries(dir.path());
  const std::vector<std::pair<Lines, std::string>> cases = {
      {{"dma", "none", "t"}, "ConvertDMAsample15K : Can not open sample ! (none.snd)"},
      {{"dma", "s", "none"}, "ConvertDMAsample15K : Can not open conversion table ! (none)"},
      {{"dma", "s", "short"}, "ConvertDMAsample15K : Conversion table shorter than 256 bytes ! (short)"},
      {{"dma", "empty", "t"}, "ConvertDMAsample15K : Empty sample ! (empty.snd)"},
      {{"ay", "none", "t"}, "ConvertAYlist15K : Can not open sample ! (none.snd)"},
      {{"ay", "s", "."}, "ConvertAYlist15K : Can not open conversion table ! (.)"},
      {{"ayraw", "s", "short"}, "ConvertAYlist15K : Conversion table shorter than 256 bytes ! (short)"},
      {{"ayopt", "s", "8"}, "OptimizeAYlist : can not open source file :s.ayl"},
      {{"dma", "s"}, "Not enough arguments !"},
      {{"ay", "s"}, "Not enough arguments !"},
      {{"ayraw", "s"}, "Not enough arguments !"},
      {{"ayopt", "s"}, "Not enough arguments !"},
  };
  for (const auto& [args, line] : cases) {
    EXPECT_EQ(AfterStartup(Gravik(dir, args)), Lines{line}) << args[0] << " " << args[1];
  }
  EXPECT_EQ(CountEntries(dir.path()), entries);
  EXPECT_EQ(ReadFileBytes(dir.File("s.asm")), (Bytes{'k', 'e', 'e', 'p'}));
}

TEST(GravikSound, OutputThatCanNotBeWrittenLeavesNothing) {
  TempDir dir;
  ASSERT_TRUE(WriteFileBytes(dir.File("s.snd"), {1, 2, 3}));
  ASSERT_TRUE(WriteFileBytes(dir.File("t"), IdentityTable()));
  std::filesystem::create_directory(dir.path() / "s.asm");
  std::filesystem::create_directory(dir.path() / "s.ayl");
  const int entries = CountEntries(dir.path());
  EXPECT_EQ(AfterStartup(Gravik(dir, {"dma", "s", "t"})),
            (Lines{"ConvertDMAsample15K : s.snd", "ConvertDMAsample15K : Processing  3 samples...",
                   "ConvertDMAsample15K : Can not write s.asm"}));
  EXPECT_EQ(AfterStartup(Gravik(dir, {"ayraw", "s", "t"})).back(), "ConvertAYlist15K : Can not write s.ayl");
  EXPECT_EQ(CountEntries(dir.path()), entries);
  EXPECT_TRUE(std::filesystem::is_directory(dir.path() / "s.asm"));
}

}  // namespace
