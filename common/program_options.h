// The options a program takes before everything else (before gravik's word,
// before quarn's level name), and the exit status a run ends with.
#pragma once

#include <optional>
#include <string_view>

// What the run was asked before its word or level name.
struct ProgramOptions {
  bool is_fail_mode = false;   // --fail: the exit status tells success from failure
  bool wants_help = false;     // --help or -h
  bool wants_version = false;  // --version
  // --syntax=NAME: NAME as typed (checked by the program); none when not given.
  std::optional<std::string_view> syntax;
  int first_argument = 1;      // index in argv of the first argument after the options
};

// Reads the program options at the front of argv, in any order, until the
// first argument that is none of "--fail", "--help", "-h", "--version" and
// "--syntax=NAME".
// Anything after that is the run's own (a "--fail" after the word is a name).
ProgramOptions ReadProgramOptions(int argc, const char* const* argv);

// How a run went, as its exit status tells it under --fail.
enum class RunOutcome {
  kDone,    // did all it was asked
  kFailed,  // the operation refused its input, failed to write or dropped data
  kUsage,   // no word, an unknown word, not enough arguments
};

inline constexpr int kExitDone = 0;
inline constexpr int kExitFailed = 1;
inline constexpr int kExitUsage = 2;

// kExitDone, kExitFailed or kExitUsage under --fail; kExitDone on every path
// without it, as scripts written before the option expect.
int ExitStatus(const ProgramOptions& options, RunOutcome outcome);
