// quarn: builds the two CPC memory bank files of one level.
// quarn [--fail] levelname [pattern_option]
#include <string>
#include <string_view>

#include "common/file_lock.h"
#include "common/image_io/picture_file.h"
#include "common/line_output.h"
#include "common/number_text.h"
#include "common/program_options.h"
#include "common/stop_signals.h"
#include "level_builder/build_level.h"
#include "level_builder/run_log.h"

namespace {

constexpr std::string_view kHelp[] = {
    "usage : quarn [--fail] LEVEL [PATTERN_OPTION]",
    "        quarn --help | -h | --version",
    "  LEVEL           path prefix of the level's pictures: LEVEL.BMP, LEVEL_stepA.BMP to LEVEL_stepD.BMP;",
    "                  the banks go to LEVEL.C4 and LEVEL.C5, the report to out.txt in the working folder",
    "  PATTERN_OPTION  1 dumps each step's patterns to LEVEL_groupA/ to LEVEL_groupD/, 2 reloads them",
    "                  from there; anything else (or none) does neither",
    "  --fail          exit status 0 when the banks (and the dump asked for) were written, 1 when the build",
    "                  refused its pictures or failed to write, 2 for a wrong number of arguments",
    "  --help, -h      this list",
    "  --version       the program's name and version",
};

}  // namespace

int main(int argc, char** argv) {
  const ProgramOptions options = ReadProgramOptions(argc, argv);
  // A mistyped option says so in one line and nothing else runs: it must
  // not become a word or a level name.
  if (options.mistyped) {
    PrintLine(*options.mistyped);
    return ExitStatus(options, RunOutcome::kUsage);
  }
  // Neither prints a report line, so the run log is not touched.
  if (options.wants_help || options.wants_version) {
    if (options.wants_help) {
      for (const std::string_view line : kHelp) PrintLine(line);
    }
    if (options.wants_version) PrintLine(std::string("quarn ") + TARSEL_VERSION);
    return kExitDone;
  }
  SetTemporaryFilePrefix("quarn");
  RemoveTemporaryFilesOnSignals();
  // Runs in one folder take turns: each reads the level's pictures and
  // pattern folders and writes its banks and the run log there.
  const Checked<TargetLock> lock = TakeTargetLock(kRunLogPath);
  if (!lock) {
    // Nothing is built and nothing logged: another run may be at work here.
    PrintLine(lock.refusal());
    return ExitStatus(options, RunOutcome::kFailed);
  }
  const ImageLibrary image_library(ImageDiagnostics::kSilent);
  const int level = options.first_argument;
  const int count = argc - level;
  RunOutcome outcome = RunOutcome::kUsage;
  if (count == 1 || count == 2) {
    const int32_t pattern_option = count == 2 ? ParseNumberArgument(argv[level + 1]) : 0;
    outcome = BuildLevel(argv[level], pattern_option) ? RunOutcome::kDone : RunOutcome::kFailed;
  } else {
    PrintLine("Usage : quarn levelname pattern_option(0/2)");
  }
  CloseRunLog();
  return ExitStatus(options, outcome);
}
