#include "common/program_options.h"

#include <gtest/gtest.h>

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
  for (const char* word : {"--FAIL", "-fail", "--fail=1", "-H", "--", "-"}) {
    const ProgramOptions other = Read({"gravik", word});
    EXPECT_FALSE(other.is_fail_mode || other.wants_help || other.wants_version) << word;
    EXPECT_EQ(other.first_argument, 1) << word;
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
