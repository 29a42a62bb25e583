#include "toolkit/sound/sample_runs.h"

#include <gtest/gtest.h>

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

}  // namespace
