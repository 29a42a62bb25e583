#include "toolkit/sound/ay_list.h"

#include <gtest/gtest.h>

namespace {

ConversionTable IdentityTable() {
  ConversionTable table{};
  for (size_t k = 0; k < table.size(); ++k) table[k] = static_cast<uint8_t>(k);
  return table;
}

TEST(AyList, TextLinesForLoadsAndPauses) {
  std::string text;
  int bytes = 0;
  for (const LevelRun& run : SplitIntoRuns(std::vector<uint8_t>{5, 7, 7, 7, 9, 9})) {
    bytes += AppendAyRunText(run, text);
  }
  EXPECT_EQ(text, "dw #0905\ndw #0907\ndw #1002 ;pause\ndw #0909\ndw #1001 ;pause\n");
  EXPECT_EQ(bytes, 10);
}

TEST(AyList, RawWordsLowByteFirst) {
  EXPECT_EQ(AyListWords(std::vector<uint8_t>{5, 7, 7, 7, 0xF0}, IdentityTable()),
            (std::vector<uint8_t>{0x05, 0x09, 0x07, 0x09, 0x02, 0x10, 0xF0, 0x09}));
}

TEST(AyList, RunOf4097IsLoadPauseLoad) {
  std::vector<uint8_t> samples(4097, 3);
  samples.push_back(4);
  EXPECT_EQ(AyListWords(samples, IdentityTable()),
            (std::vector<uint8_t>{0x03, 0x09, 0xFF, 0x1F, 0x03, 0x09, 0x04, 0x09}));
}

}  // namespace
