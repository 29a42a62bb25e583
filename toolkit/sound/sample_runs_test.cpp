#include "toolkit/sound/sample_runs.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <iterator>

namespace {

std::vector<std::pair<int, int>> Runs(const std::vector<uint8_t>& levels) {
  std::vector<std::pair<int, int>> pairs;
  for (const LevelRun& run : SplitIntoRuns(levels)) pairs.emplace_back(run.level, run.pause);
  return pairs;
}

TEST(SampleRuns, EqualLevelsJoinAndTheLastSampleIsKept) {
  using Pairs = std::vector<std::pair<int, int>>;
  EXPECT_EQ(Runs({5, 7, 7, 7, 9}), (Pairs{{5, 0}, {7, 2}, {9, 0}}));
  EXPECT_EQ(Runs({5, 7, 7}), (Pairs{{5, 0}, {7, 1}}));
  EXPECT_EQ(Runs({3}), (Pairs{{3, 0}}));
  EXPECT_EQ(Runs({}), Pairs{});
}

TEST(SampleRuns, RunLongerThan4096StepsIsCut) {
  std::vector<uint8_t> levels(4097, 1);
  levels.push_back(2);
  EXPECT_EQ(Runs(levels), (std::vector<std::pair<int, int>>{{1, 4095}, {1, 0}, {2, 0}}));
  levels.pop_back();
  levels.resize(8192, 1);
  EXPECT_EQ(Runs(levels), (std::vector<std::pair<int, int>>{{1, 4095}, {1, 4095}}));
}

// The streamed reader folds runs its own way (block by block, without a
// branch on the sound); it must give SplitIntoRuns' runs exactly, across block
// edges and long runs cut at the longest pause, through a table that folds
// several sample values onto one level.
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
  std::vector<uint8_t> levels;
  for (const uint8_t sample : samples) levels.push_back(table[sample]);
  std::vector<std::pair<int, int>> streamed;

  SoundSource source;
  source.sample.reset(std::tmpfile());
  ASSERT_TRUE(source.sample);
  ASSERT_EQ(std::fwrite(samples.data(), 1, samples.size(), source.sample.get()), samples.size());
  std::rewind(source.sample.get());
  source.sample_count = samples.size();
  source.table = table;
  EXPECT_TRUE(StreamSampleRuns(source, [&streamed](std::span<const LevelRun> runs) {
    for (const LevelRun& run : runs) streamed.emplace_back(run.level, run.pause);
  }));
  EXPECT_EQ(streamed, Runs(levels));
  // A sample shorter than its length when opened is a read failure.
  std::rewind(source.sample.get());
  source.sample_count = samples.size() + 1;
  EXPECT_FALSE(StreamSampleRuns(source, [](std::span<const LevelRun>) {}));
}

}  // namespace
