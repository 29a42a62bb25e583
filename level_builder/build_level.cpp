#include "level_builder/build_level.h"

#include "level_builder/analysis.h"
#include "level_builder/banks.h"
#include "level_builder/run_log.h"

bool BuildLevel(const std::string& level, int32_t pattern_option) {
  const PatternOption option = PatternOptionOf(pattern_option);
  Checked<LevelAnalysis> analysis = AnalyseLevel(level, option);
  if (!analysis) {
    LogLine(analysis.refusal());
    return false;
  }
  // A pattern file that can not be written does not stop the build.
  const std::vector<std::string> unwritten =
      option == PatternOption::kDump ? DumpLevelPatterns(level, *analysis) : std::vector<std::string>();
  for (const std::string& line : unwritten) LogLine(line);
  ExtractLevelTiles(*analysis);
  const bool has_banks = WriteLevelBanks(level, option, *analysis);
  return has_banks && unwritten.empty();
}
