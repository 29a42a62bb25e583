// The level builder's report lines: each goes to the console and to the run
// log "out.txt" in the working directory.
#pragma once

#include <string_view>

// The run log's name, in the working directory.
inline constexpr const char* kRunLogPath = "out.txt";

// Prints text as one console line and appends it as one line to the run log.
// The first call of a run starts the log; when it cannot be created, one
// console line says so and the lines still reach the console.
void LogLine(std::string_view text);

// Ends the run's log: written aside, it now replaces "out.txt" (a link of
// that name is replaced, never followed). A run that logged nothing leaves an
// empty log. The next LogLine starts a new one.
void CloseRunLog();
