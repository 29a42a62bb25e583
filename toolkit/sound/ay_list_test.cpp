#include "toolkit/sound/ay_list.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>

namespace {

ConversionTable IdentityTable() {
  ConversionTable table{};
  for (size_t k = 0; k < table.size(); ++k) table[k] = static_cast<uint8_t>(k);
  return table;
}

// The program's own list writer, fed from memory instead of a file.
std::string AyList(const std::vector<uint8_t>& samples, int32_t options, int64_t& bytes) {
  const ConversionTable table = IdentityTable();
  std::string list;
  const Checked<int64_t> written =
      WriteAyList(SamplesInMemory(samples), table, options,
                  [&](std::span<const uint8_t> b) { list.append(b.begin(), b.end()); });
  bytes = written ? *written : -1;
  return list;
}

std::vector<uint8_t> AyListWords(const std::vector<uint8_t>& samples) {
  int64_t bytes = 0;
  const std::string list = AyList(samples, kAyListRaw, bytes);
  EXPECT_EQ(bytes, static_cast<int64_t>(list.size()));
  return std::vector<uint8_t>(list.begin(), list.end());
}

TEST(AyList, TextLinesForLoadsAndPauses) {
  int64_t bytes = 0;
  EXPECT_EQ(AyList({5, 7, 7, 7, 9, 9}, 0, bytes),
            ";starting sample AY list here - pause unit = 64nops\n"
            "dw #0905\ndw #0907\ndw #1002 ;pause\ndw #0909\ndw #1001 ;pause\n");
  EXPECT_EQ(bytes, 10);
}

TEST(AyList, RawWordsLowByteFirst) {
  EXPECT_EQ(AyListWords({5, 7, 7, 7, 0xF0}),
            (std::vector<uint8_t>{0x05, 0x09, 0x07, 0x09, 0x02, 0x10, 0xF0, 0x09}));
}

TEST(AyList, RunOf4097IsLoadPauseLoad) {
  std::vector<uint8_t> samples(4097, 3);
  samples.push_back(4);
  EXPECT_EQ(AyListWords(samples), (std::vector<uint8_t>{0x03, 0x09, 0xFF, 0x1F, 0x03, 0x09, 0x04, 0x09}));
}

// The raw words are written by the fold as runs close, not from the run
// records the text form and the DMA list use: both must tell the same runs,
// with the samples cut into blocks anywhere.
TEST(AyList, RawWordsFollowTheRunRecords) {
  std::mt19937 random(8);
  for (int trial = 0; trial < 200; ++trial) {
    ConversionTable table{};
    const int divisor = 1 + static_cast<int>(random() % 40);
    for (size_t k = 0; k < table.size(); ++k) table[k] = static_cast<uint8_t>(k / divisor);
    std::vector<uint8_t> samples;
    for (size_t length = random() % 30000; samples.size() < length;) {
      const uint8_t value = static_cast<uint8_t>(random());
      const size_t stretch = random() % 4 == 0 ? random() % 9000 : random() % 100;
      const bool is_noise = random() % 2 == 0;
      for (size_t n = 0; n < stretch; ++n) samples.push_back(is_noise ? static_cast<uint8_t>(random()) : value);
    }
    const SampleSource in_blocks = [&](const SamplesSink& on_samples) {
      for (size_t at = 0; at < samples.size();) {
        const size_t block = std::min<size_t>(samples.size() - at, 1 + random() % (trial % 2 == 0 ? 200 : 50000));
        on_samples(std::span<const uint8_t>(samples.data() + at, block));
        at += block;
      }
      return true;
    };
    std::string expected;
    RunsOf(SamplesInMemory(samples), table)([&](std::span<const LevelRun> runs) {
      for (const LevelRun& run : runs) {
        expected += {static_cast<char>(run.level), 9};
        const int word = 0x1000 + run.pause;
        if (run.pause > 0) expected += {static_cast<char>(word & 0xFF), static_cast<char>(word >> 8)};
      }
    });
    std::string raw;
    const Checked<int64_t> bytes = WriteAyList(
        in_blocks, table, kAyListRaw, [&](std::span<const uint8_t> b) { raw.append(b.begin(), b.end()); });
    ASSERT_EQ(raw, expected) << "trial " << trial;
    ASSERT_TRUE(bytes) << "trial " << trial;
    ASSERT_EQ(*bytes, static_cast<int64_t>(raw.size())) << "trial " << trial;
  }
}

}  // namespace
