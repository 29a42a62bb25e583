// The whole build of one level: analysis, report, bank files.
#pragma once

#include <cstdint>
#include <string>

// Runs the analysis of level's images, then writes its banks, logging every
// line. pattern_option 1 dumps the patterns, 2 reloads them. True when the
// banks were written and so was every pattern file a dump asked for; false
// after any refusal or write failure.
bool BuildLevel(const std::string& level, int32_t pattern_option);
