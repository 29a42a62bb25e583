#include "common/program_options.h"

#include <string_view>

namespace {

constexpr std::string_view kSyntaxOption = "--syntax=";

}  // namespace

ProgramOptions ReadProgramOptions(int argc, const char* const* argv) {
  ProgramOptions options;
  for (; options.first_argument < argc; ++options.first_argument) {
    const std::string_view argument = argv[options.first_argument];
    if (argument == "--fail") {
      options.is_fail_mode = true;
    } else if (argument == "--help" || argument == "-h") {
      options.wants_help = true;
    } else if (argument == "--version") {
      options.wants_version = true;
    } else if (argument.starts_with(kSyntaxOption)) {
      options.syntax = argument.substr(kSyntaxOption.size());
    } else {
      break;
    }
  }
  return options;
}

int ExitStatus(const ProgramOptions& options, RunOutcome outcome) {
  if (!options.is_fail_mode) return kExitDone;
  switch (outcome) {
    case RunOutcome::kDone:
      return kExitDone;
    case RunOutcome::kFailed:
      return kExitFailed;
    case RunOutcome::kUsage:
      break;
  }
  return kExitUsage;
}
