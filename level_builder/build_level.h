// The whole build of one level: analysis, report, bank files.
#pragma once

#include <cstdint>
#include <string>

// Runs the analysis of level's images, then writes its banks, logging every
// line. pattern_option 1 dumps the patterns, 2 reloads them.
void BuildLevel(const std::string& level, int32_t pattern_option);
