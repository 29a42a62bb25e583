// The level builder's report lines: each goes to the console and to the run
// log "out.txt" in the working directory.
#pragma once

#include <string_view>

// The text that closes the run log; it is never printed nor logged.
inline constexpr std::string_view kEndMarker = "/end";

// Prints text as one console line and appends it as one line to "out.txt".
// The first call of a run creates "out.txt", replacing a file of that name;
// when it cannot be created, one console line says so and the lines still
// reach the console. kEndMarker closes the log; the next call starts a new one.
void LogLine(std::string_view text);
