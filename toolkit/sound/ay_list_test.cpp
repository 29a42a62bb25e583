#include "toolkit/sound/ay_list.h"

#include <gtest/gtest.h>

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
  bytes = WriteAyList(RunsOfSamples(samples, table), options, [&](std::span<const uint8_t> b) {
            list.append(b.begin(), b.end());
          }).value_or(-1);
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

}  // namespace
