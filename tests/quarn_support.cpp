#include "tests/quarn_support.h"

#include <random>

LevelPicture BlankPicture(int width, int height) {
  LevelPicture picture;
  picture.width = width;
  picture.height = height;
  picture.pens.assign(static_cast<size_t>(width) * height, 0);
  return picture;
}

void CopyBlock(const LevelPicture& from, int bx, int by, LevelPicture& to, int to_bx, int to_by,
               bool is_flipped) {
  for (int r = 0; r < 32; ++r) {
    const int from_row = by * 32 + (is_flipped ? 31 - r : r);
    for (int c = 0; c < 32; ++c) to.At(to_bx * 32 + c, to_by * 32 + r) = from.At(bx * 32 + c, from_row);
  }
}

LevelPicture RandomLevel(int width_blocks, int pool_size, int pen_limit, uint32_t seed, int extra_columns,
                         int extra_rows) {
  LevelPicture pool;
  pool.width = 32 * pool_size;
  pool.height = 32;
  pool.pens = RandomPens(pool.width, pool.height, seed, pen_limit);
  LevelPicture level;
  level.width = 32 * width_blocks + extra_columns;
  level.height = 32 * 5 + extra_rows;
  level.pens = RandomPens(level.width, level.height, seed + 1, pen_limit);
  std::mt19937 generator(seed + 2);
  std::uniform_int_distribution<int> pick(0, pool_size - 1);
  std::uniform_int_distribution<int> coin(0, 1);
  for (int by = 0; by < 5; ++by) {
    for (int bx = 0; bx < width_blocks; ++bx)
      CopyBlock(pool, pick(generator), 0, level, bx, by, coin(generator) == 1);
  }
  return level;
}

bool WritePicture(const std::string& path, const LevelPicture& picture) {
  return WriteIndexedBmp(path, picture.width, picture.height, picture.pens);
}

DecodedStep ExpectedStep(const LevelPicture& picture, int step, int width_blocks) {
  DecodedStep expected;
  expected.width_px = width_blocks * 16;
  expected.height_px = 160;
  expected.pens.assign(static_cast<size_t>(expected.width_px) * expected.height_px, 0);
  for (int y = 0; y < expected.height_px; ++y) {
    for (int x = 0; x < expected.width_px; ++x) {
      const int source_x = 2 * x + 2 * step;
      const uint8_t pen = source_x < picture.width ? picture.At(source_x, y) : 0;
      expected.pens[static_cast<size_t>(y) * expected.width_px + x] = pen > 15 ? 0 : pen;
    }
  }
  return expected;
}

std::vector<uint8_t> Le16(int value) {
  return {static_cast<uint8_t>(value & 0xFF), static_cast<uint8_t>((value >> 8) & 0xFF)};
}
