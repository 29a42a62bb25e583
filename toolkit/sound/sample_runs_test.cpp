#include "toolkit/sound/sample_runs.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <iterator>
#include <random>

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
  RunsOf(SamplesInMemory(samples), table)(Collect(pairs));
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
  // Equal samples are passed over 64 at a time: the cut must still fall on 4096.
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
TEST(SampleRuns, StreamedSamplesFoldAsTheInMemoryOnes) {
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
  EXPECT_TRUE(RunsOf(StreamedSamples(source), table)(Collect(streamed)));
  EXPECT_EQ(streamed, Runs(samples, table));
  std::rewind(source.sample.get());
  source.sample_count = samples.size() + 1;
  EXPECT_FALSE(RunsOf(StreamedSamples(source), table)([](std::span<const LevelRun>) {}));
}

// The rule a step at a time: the folder finds the steps where the sample
// changes 64 at a time and takes noisy stretches step by step; both must give
// these runs, wherever the blocks are cut.
Pairs RunsStepByStep(const std::vector<uint8_t>& samples, const ConversionTable& table) {
  Pairs pairs;
  for (const uint8_t sample : samples) {
    const int level = table[sample];
    if (!pairs.empty() && pairs.back().first == level && pairs.back().second < kMaxPause) {
      ++pairs.back().second;
    } else {
      pairs.emplace_back(level, 0);
    }
  }
  return pairs;
}

TEST(SampleRuns, FoldingInAnyBlocksFollowsTheRuleStepByStep) {
  std::mt19937 random(3);
  for (int trial = 0; trial < 300; ++trial) {
    ConversionTable table{};
    const int divisor = 1 + static_cast<int>(random() % 64);
    for (size_t k = 0; k < table.size(); ++k) table[k] = static_cast<uint8_t>(k / divisor);
    // Stretches of noise, of held values, of values mapping to one level, and
    // silences longer than a run.
    std::vector<uint8_t> samples;
    const size_t length = random() % 20000;
    while (samples.size() < length) {
      const int kind = static_cast<int>(random() % 4);
      const size_t stretch = kind == 3 ? random() % 9000 : random() % 200;
      const uint8_t value = static_cast<uint8_t>(random());
      for (size_t n = 0; n < stretch; ++n) {
        samples.push_back(kind == 0   ? static_cast<uint8_t>(random())
                          : kind == 1 ? static_cast<uint8_t>(value ^ (random() % 3))
                                      : value);
      }
    }
    samples.resize(length);
    // The blocks are cut anywhere.
    const SampleSource in_blocks = [&](const SamplesSink& on_samples) {
      for (size_t at = 0; at < samples.size();) {
        const size_t block = std::min<size_t>(samples.size() - at, 1 + random() % (trial % 2 == 0 ? 300 : 70000));
        on_samples(std::span<const uint8_t>(samples.data() + at, block));
        at += block;
      }
      return true;
    };
    Pairs folded;
    RunsOf(in_blocks, table)(Collect(folded));
    ASSERT_EQ(folded, RunsStepByStep(samples, table)) << "trial " << trial;
  }
}

TEST(SampleRuns, SampleChangesAreFoundSixtyFourAtATime) {
  std::mt19937 random(4);
  for (int trial = 0; trial < 1000; ++trial) {
    uint8_t samples[65];
    for (uint8_t& sample : samples) sample = static_cast<uint8_t>(random() % (1 + trial % 4));
    uint64_t expected = 0;
    for (int i = 0; i < 64; ++i) expected |= uint64_t{samples[i + 1] != samples[i]} << i;
    ASSERT_EQ(SampleChanges64(samples + 1), expected) << trial;
  }
}

}  // namespace
