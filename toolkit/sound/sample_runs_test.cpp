#include "toolkit/sound/sample_runs.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <iterator>

namespace {

using Pairs = std::vector<std::pair<int, int>>;

ConversionTable IdentityTable() {
  ConversionTable table{};
  for (size_t k = 0; k < table.size(); ++k) table[k] = static_cast<uint8_t>(k);
  return table;
}

RunsSink Collect(Pairs& pairs) {
  return [&pairs](std::span<const LevelRun> runs) {
    for (const LevelRun& run : runs) pairs.emplace_back(run.level, run.pause);
  };
}

Pairs Runs(const std::vector<uint8_t>& samples, const ConversionTable& table = IdentityTable()) {
  Pairs pairs;
  RunsOfSamples(samples, table)(Collect(pairs));
  return pairs;
}

TEST(SampleRuns, EqualLevelsJoinAndTheLastSampleIsKept) {
  EXPECT_EQ(Runs({5, 7, 7, 7, 9}), (Pairs{{5, 0}, {7, 2}, {9, 0}}));
  EXPECT_EQ(Runs({5, 7, 7}), (Pairs{{5, 0}, {7, 1}}));
  EXPECT_EQ(Runs({3}), (Pairs{{3, 0}}));
  EXPECT_EQ(Runs({}), Pairs{});
}

TEST(SampleRuns, RunLongerThan4096StepsIsCut) {
  std::vector<uint8_t> levels(4097, 1);
  levels.push_back(2);
  EXPECT_EQ(Runs(levels), (Pairs{{1, 4095}, {1, 0}, {2, 0}}));
  levels.pop_back();
  levels.resize(8192, 1);
  EXPECT_EQ(Runs(levels), (Pairs{{1, 4095}, {1, 4095}}));
  // Equal samples are taken eight at a time: the cut must still fall on 4096.
  for (const size_t length : {size_t{4095}, size_t{4096}, size_t{4103}, size_t{4104}, size_t{8193}}) {
    Pairs expected;
    for (size_t left = length; left > 0; left -= std::min<size_t>(left, 4096)) {
      expected.emplace_back(6, static_cast<int>(std::min<size_t>(left, 4096) - 1));
    }
    EXPECT_EQ(Runs(std::vector<uint8_t>(length, 6)), expected) << length;
  }
}

// A file is read in blocks: runs that cross from one block into the next must
// come out as if the sample were one block, and a file shorter than its
// length when opened is a read failure.
TEST(SampleRuns, StreamedRunsEqualTheInMemoryRuns) {
  std::vector<uint8_t> samples;
  uint32_t state = 7;
  const int lengths[] = {1, 1, 2, 3, 4095, 4096, 4097, 8191, 8192, 8193, 65535, 65536, 65537, 70000, 5};
  for (int k = 0; k < 200; ++k) {
    state = state * 1103515245u + 12345u;
    const uint8_t value = static_cast<uint8_t>(state >> 16);
    const int length = lengths[(state >> 8) % std::size(lengths)];
    samples.insert(samples.end(), static_cast<size_t>(length), value);
  }
  ConversionTable table{};
  for (size_t k = 0; k < table.size(); ++k) table[k] = static_cast<uint8_t>(k / 40);
  SoundSource source;
  source.sample.reset(std::tmpfile());
  ASSERT_TRUE(source.sample);
  ASSERT_EQ(std::fwrite(samples.data(), 1, samples.size(), source.sample.get()), samples.size());
  std::rewind(source.sample.get());
  source.sample_count = samples.size();
  source.table = table;
  Pairs streamed;
  EXPECT_TRUE(StreamedRuns(source)(Collect(streamed)));
  EXPECT_EQ(streamed, Runs(samples, table));
  std::rewind(source.sample.get());
  source.sample_count = samples.size() + 1;
  EXPECT_FALSE(StreamedRuns(source)([](std::span<const LevelRun>) {}));
}

}  // namespace
