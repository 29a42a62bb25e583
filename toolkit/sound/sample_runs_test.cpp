#include "toolkit/sound/sample_runs.h"

#include <gtest/gtest.h>

namespace {

using Pairs = std::vector<std::pair<int, int>>;

ConversionTable IdentityTable() {
  ConversionTable table{};
  for (size_t k = 0; k < table.size(); ++k) table[k] = static_cast<uint8_t>(k);
  return table;
}

Pairs Runs(const std::vector<uint8_t>& levels) {
  const ConversionTable table = IdentityTable();
  Pairs pairs;
  RunsOfSamples(levels, table)([&](const LevelRun& run) { pairs.emplace_back(run.level, run.pause); });
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
}

// A file is read in blocks: a run that crosses from one block into the next
// must come out as if the sample were one block.
TEST(SampleRuns, BlocksJoinLikeOneSample) {
  const ConversionTable table = IdentityTable();
  std::vector<uint8_t> samples(10000, 4);
  samples[3] = 9;
  samples[6000] = 2;
  Pairs whole;
  RunsOfSamples(samples, table)([&](const LevelRun& run) { whole.emplace_back(run.level, run.pause); });
  for (const size_t cut : {size_t{1}, size_t{4}, size_t{4100}, size_t{5999}, size_t{6001}}) {
    Pairs pieces;
    const RunSink on_run = [&](const LevelRun& run) { pieces.emplace_back(run.level, run.pause); };
    RunBuilder builder;
    AddSampleBlock(builder, std::span<const uint8_t>(samples).first(cut), table, on_run);
    AddSampleBlock(builder, std::span<const uint8_t>(samples).subspan(cut), table, on_run);
    if (const std::optional<LevelRun> run = FinishRuns(builder)) on_run(*run);
    EXPECT_EQ(pieces, whole) << cut;
  }
}

}  // namespace
