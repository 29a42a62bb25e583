#include "common/program_options.h"

#include <string>
#include <string_view>

namespace {

// One program option. A name ending in '=' takes the rest of the argument as
// its value ("--name=value"); any other name is matched whole.
struct ProgramOptionRow {
  std::string_view name;
  void (*apply)(ProgramOptions& options, std::string_view value);
};

// Every option both programs know, in one place: an argument before the word
// that starts with "--" and is not here is refused as mistyped.
constexpr ProgramOptionRow kProgramOptions[] = {
    {"--fail", [](ProgramOptions& options, std::string_view) { options.is_fail_mode = true; }},
    {"--help", [](ProgramOptions& options, std::string_view) { options.wants_help = true; }},
    {"-h", [](ProgramOptions& options, std::string_view) { options.wants_help = true; }},
    {"--version", [](ProgramOptions& options, std::string_view) { options.wants_version = true; }},
    {"--syntax=", [](ProgramOptions& options, std::string_view value) { options.syntax = value; }},
};

const ProgramOptionRow* FindOption(std::string_view argument, std::string_view* value) {
  for (const ProgramOptionRow& row : kProgramOptions) {
    const bool takes_value = row.name.ends_with('=');
    if (takes_value ? argument.starts_with(row.name) : argument == row.name) {
      *value = takes_value ? argument.substr(row.name.size()) : std::string_view();
      return &row;
    }
  }
  return nullptr;
}

}  // namespace

ProgramOptions ReadProgramOptions(int argc, const char* const* argv) {
  ProgramOptions options;
  for (; options.first_argument < argc; ++options.first_argument) {
    const std::string_view argument = argv[options.first_argument];
    std::string_view value;
    if (const ProgramOptionRow* row = FindOption(argument, &value)) {
      row->apply(options, value);
    } else if (argument.starts_with("--")) {
      if (!options.mistyped) options.mistyped = "Unknown option " + std::string(argument) + " (see --help)";
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
