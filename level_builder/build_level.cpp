#include "level_builder/build_level.h"

#include "level_builder/analysis.h"
#include "level_builder/banks.h"

void BuildLevel(const std::string& level, int32_t pattern_option) {
  const PatternOption option = PatternOptionOf(pattern_option);
  const std::optional<LevelAnalysis> analysis = AnalyseLevel(level, option);
  if (!analysis) return;
  WriteLevelBanks(level, option, *analysis);
}
