// Level pictures and runs of the real quarn for the level builder tests.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "tests/level_bank_decoder.h"
#include "tests/test_support.h"

inline constexpr char kQuarnUsage[] = "Usage : quarn levelname pattern_option(0/2)";

// A picture's pens, row-major from the top.
struct LevelPicture {
  int width = 0;
  int height = 0;
  std::vector<uint8_t> pens;

  uint8_t& At(int x, int y) { return pens[static_cast<size_t>(y) * width + x]; }
  uint8_t At(int x, int y) const { return pens[static_cast<size_t>(y) * width + x]; }
};

LevelPicture BlankPicture(int width, int height);

// Copies the 32 x 32 block (bx, by) of from into (to_x, to_y) of to, upside
// down when is_flipped.
void CopyBlock(const LevelPicture& from, int bx, int by, LevelPicture& to, int to_bx, int to_by,
               bool is_flipped);

// width_blocks x 5 blocks drawn from a pool of pool_size random patterns (pens
// 0 to pen_limit - 1), each block a random pool entry, upside down at random;
// extra_columns and extra_rows of random pens stand beyond the blocks.
LevelPicture RandomLevel(int width_blocks, int pool_size, int pen_limit, uint32_t seed, int extra_columns = 0,
                         int extra_rows = 0);

bool WritePicture(const std::string& path, const LevelPicture& picture);

// What a step's mode 0 picture must show: image pixel 2x + 2 * step of each
// row (pen 0 past the right edge), pens above 15 as 0, for width_blocks x 5 blocks.
DecodedStep ExpectedStep(const LevelPicture& picture, int step, int width_blocks);

#ifdef QUARN_BIN
// Runs the real quarn (QUARN_BIN is known to the level builder tests only).
inline RunResult RunQuarn(const std::vector<std::string>& args, const std::filesystem::path& cwd) {
  return RunProgram(QUARN_BIN, args, cwd);
}
#endif

std::vector<uint8_t> Le16(int value);
