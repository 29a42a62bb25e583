#include "toolkit/sound/dma_sample.h"

#include <gtest/gtest.h>

namespace {

using Lines = std::vector<std::string>;

ConversionTable IdentityTable() {
  ConversionTable table{};
  for (size_t k = 0; k < table.size(); ++k) table[k] = static_cast<uint8_t>(k);
  return table;
}

// The list file of a sample held in memory, one entry a line: the program's
// own list writer, fed from memory instead of a file.
Lines DmaSampleListLines(const std::vector<uint8_t>& samples, const ConversionTable& table) {
  std::string text;
  WriteDmaSampleList(SamplesInMemory(samples), table,
                     [&](std::span<const uint8_t> bytes) { text.append(bytes.begin(), bytes.end()); });
  Lines lines;
  size_t start = 0;
  for (size_t end = text.find('\n'); end != std::string::npos; end = text.find('\n', start)) {
    lines.push_back(text.substr(start, end - start));
    start = end + 1;
  }
  return lines;
}

// The body lines between the header and the end line.
Lines Body(const Lines& lines) { return Lines(lines.begin() + 7, lines.end() - 2); }

TEST(DmaSample, RunsOfOneAndTwoAreLevelLines) {
  EXPECT_EQ(Body(DmaSampleListLines(std::vector<uint8_t>{1, 4, 4, 1}, IdentityTable())),
            (Lines{"db #01", "db #04", "db #04", "db #01"}));
}

TEST(DmaSample, EndByteIsNotCounted) {
  const Lines lines = DmaSampleListLines(std::vector<uint8_t>{3, 3, 3}, IdentityTable());
  EXPECT_EQ(Body(lines), (Lines{"db #03", "db #10,#02"}));
  EXPECT_EQ(lines.back(), ";sample size  3 bytes");
}

TEST(DmaSample, PauseDigitsSplitIntoTwoBytes) {
  const std::vector<std::pair<int, std::string>> cases = {
      {2, "db #10,#02"}, {255, "db #10,#FF"}, {256, "db #11,#00"}, {4095, "db #1F,#FF"}};
  for (const auto& [pause, pause_line] : cases) {
    std::string text;
    EXPECT_EQ(AppendDmaRun(LevelRun{0x0A, pause}, text), 3);
    EXPECT_EQ(text, "db #0A\n" + pause_line + "\n") << pause;
  }
}

TEST(DmaSample, RunOf4097IsLevelPauseLevel) {
  std::vector<uint8_t> samples(4097, 6);
  samples.push_back(8);
  EXPECT_EQ(Body(DmaSampleListLines(samples, IdentityTable())),
            (Lines{"db #06", "db #1F,#FF", "db #06", "db #08"}));
}

TEST(DmaSample, ValuesMappedToOneLevelFormOneRun) {
  ConversionTable table = IdentityTable();
  table[200] = 2;
  table[201] = 2;
  EXPECT_EQ(Body(DmaSampleListLines(std::vector<uint8_t>{0, 200, 201, 200, 0}, table)),
            (Lines{"db #00", "db #02", "db #10,#02", "db #00"}));
}

}  // namespace
