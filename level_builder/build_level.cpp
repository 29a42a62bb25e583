#include "level_builder/build_level.h"

#include "level_builder/analysis.h"
#include "level_builder/banks.h"

bool BuildLevel(const std::string& level, int32_t pattern_option) {
  const PatternOption option = PatternOptionOf(pattern_option);
  const std::optional<LevelAnalysis> analysis = AnalyseLevel(level, option);
  if (!analysis) return false;
  const bool has_banks = WriteLevelBanks(level, option, *analysis);
  return has_banks && !analysis->is_dump_incomplete;
}
