#include "level_builder/build_level.h"

#include "level_builder/analysis.h"
#include "level_builder/banks.h"
#include "level_builder/run_log.h"

bool BuildLevel(const std::string& level, int32_t pattern_option) {
  const PatternOption option = PatternOptionOf(pattern_option);
  LevelAnalysis analysis;
  bool has_step_a = false;
  // Each step image is logged and cut into its group as soon as it is loaded,
  // and released before the next one is loaded, so that a wide level never
  // holds four pictures at once (and the library's lines on one step come
  // before the next step's).
  for (int step = 0; step < kStepCount; ++step) {
    const Checked<std::optional<StepFile>> file = FindStepFile(level, step);
    if (file && *file) {
      if (const std::optional<std::string> found = StepFoundLine(level, step, **file)) LogLine(*found);
    }
    const Refusal refused = file ? AnalyseStep(level, step, *file, analysis, has_step_a) : file.refusal();
    if (refused) {
      LogLine(*refused);
      return false;
    }
  }
  if (const Refusal refused =
          option == PatternOption::kReload ? ReloadLevelPatterns(level, analysis) : std::nullopt) {
    LogLine(*refused);
    return false;
  }
  // A pattern file that can not be written does not stop the build.
  const std::vector<std::string> unwritten =
      option == PatternOption::kDump ? DumpLevelPatterns(level, analysis) : std::vector<std::string>();
  for (const std::string& line : unwritten) LogLine(line);
  ExtractLevelTiles(analysis);
  const bool has_banks = WriteLevelBanks(level, option, analysis);
  return has_banks && unwritten.empty();
}
