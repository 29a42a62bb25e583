#include "common/program_options.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

ProgramOptions Read(const std::vector<const char*>& argv) {
  return ReadProgramOptions(static_cast<int>(argv.size()), argv.data());
}

}  // namespace

TEST(ProgramOptions, OnlyTheLeadingOptionsAreTheProgramsOwn) {
  const ProgramOptions none = Read({"gravik", "mode0", "--fail"});
  EXPECT_FALSE(none.is_fail_mode);
  EXPECT_EQ(none.first_argument, 1);
  const ProgramOptions fail = Read({"gravik", "--fail", "mode0", "--help"});
  EXPECT_TRUE(fail.is_fail_mode);
  EXPECT_FALSE(fail.wants_help);
  EXPECT_EQ(fail.first_argument, 2);
  const ProgramOptions all = Read({"quarn", "-h", "--version", "--fail"});
  EXPECT_TRUE(all.is_fail_mode && all.wants_help && all.wants_version);
  EXPECT_EQ(all.first_argument, 4);
  // Options are matched exactly: these are words (or level names).
  for (const char* word : {"-fail", "-H", "-"}) {
    const ProgramOptions other = Read({"gravik", word});
    EXPECT_FALSE(other.is_fail_mode || other.wants_help || other.wants_version || other.mistyped) << word;
    EXPECT_EQ(other.first_argument, 1) << word;
  }
  // These look like options and are none: mistyped, never a word; the
  // options around them still count.
  for (const char* mistyped : {"--FAIL", "--fail=1", "--", "--fial"}) {
    const ProgramOptions other = Read({"gravik", mistyped, "--fail", "mode0"});
    EXPECT_EQ(other.mistyped, "Unknown option " + std::string(mistyped) + " (see --help)");
    EXPECT_TRUE(other.is_fail_mode) << mistyped;
    EXPECT_EQ(other.first_argument, 3) << mistyped;
  }
  EXPECT_EQ(Read({"gravik"}).first_argument, 1);
}

TEST(ProgramOptions, ExitStatusTellsOutcomesApartOnlyUnderFail) {
  ProgramOptions options;
  for (const RunOutcome outcome : {RunOutcome::kDone, RunOutcome::kFailed, RunOutcome::kUsage}) {
    EXPECT_EQ(ExitStatus(options, outcome), 0);
  }
  options.is_fail_mode = true;
  EXPECT_EQ(ExitStatus(options, RunOutcome::kDone), 0);
  EXPECT_EQ(ExitStatus(options, RunOutcome::kFailed), 1);
  EXPECT_EQ(ExitStatus(options, RunOutcome::kUsage), 2);
}
