#include "toolkit/tiles/tileset_add.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

using Record = std::array<uint8_t, kTileRecordBytes>;

Record Uniform(uint8_t pen) {
  Record record{};
  record.fill(pen);
  return record;
}

Record TileOf(const Tileset& tileset, int slot) {
  Record record{};
  std::copy_n(tileset.Tile(slot), kTileRecordBytes, record.begin());
  return record;
}

void Store(Tileset& tileset, int slot, const Record& record) {
  std::copy(record.begin(), record.end(), tileset.Tile(slot));
}

// Scan lines of width x height, line 0 first (the bottom of the picture),
// each padded to a pitch of width + 4 as FreeImage pads its lines.
struct Lines {
  std::vector<uint8_t> bytes;
  ScanLines view;
};

Lines MakeLines(int width, int height, const std::vector<uint8_t>& bottom_up_pens) {
  Lines lines;
  const int pitch = width + 4;
  lines.bytes.assign(static_cast<size_t>(pitch) * height, 0xEE);
  for (int y = 0; y < height; ++y) {
    std::copy_n(bottom_up_pens.begin() + y * width, width, lines.bytes.begin() + y * pitch);
  }
  lines.view = {lines.bytes.data(), pitch, width, height};
  return lines;
}

}  // namespace

TEST(TilesetAdd, CutsBottomTileRowFirstAndKeepsLinesBottomUp) {
  // 8 x 16: two tiles across, two down. Line y of the picture holds pen y + 1
  // in the left tile column (pen 16 + y, not a mode 0 pen, on line 15) and
  // pen 20 (counted as 0) in the right one.
  std::vector<uint8_t> pens(8 * 16);
  for (int y = 0; y < 16; ++y) {
    for (int x = 0; x < 8; ++x) pens[y * 8 + x] = x < 4 ? static_cast<uint8_t>(y + 1) : 20;
  }
  const Lines lines = MakeLines(8, 16, pens);
  Tileset tileset;
  tileset.tile_count = 1;

  const TileAddResult result = AddPictureTiles(tileset, lines.view);

  EXPECT_EQ(result.added, 2);
  EXPECT_EQ(result.dropped, 0);
  EXPECT_EQ(tileset.tile_count, 3);
  Record bottom{};
  Record top{};
  for (int line = 0; line < 8; ++line) {
    for (int column = 0; column < 4; ++column) {
      bottom[line * 4 + column] = static_cast<uint8_t>(line + 1);
      top[line * 4 + column] = line == 7 ? 0 : static_cast<uint8_t>(line + 9);
    }
  }
  EXPECT_EQ(TileOf(tileset, 0), Uniform(0));
  EXPECT_EQ(TileOf(tileset, 1), bottom);
  EXPECT_EQ(TileOf(tileset, 2), top);
  EXPECT_EQ(TileOf(tileset, 3), Uniform(0));
}

TEST(TilesetAdd, IndexAnswersWithTheLowestEqualSlot) {
  Tileset tileset;
  tileset.tile_count = 6;
  Store(tileset, 1, Uniform(7));
  Store(tileset, 2, Uniform(0));
  Store(tileset, 3, Uniform(7));
  Store(tileset, 4, Uniform(3));
  Store(tileset, 5, Uniform(3));
  Store(tileset, 6, Uniform(9));  // beyond the count: not a stored tile
  TileIndex index(tileset);

  EXPECT_EQ(index.Find(Uniform(0).data()), 0);
  EXPECT_EQ(index.Find(Uniform(7).data()), 1);
  EXPECT_EQ(index.Find(Uniform(3).data()), 4);
  EXPECT_EQ(index.Find(Uniform(9).data()), -1);
  tileset.tile_count = 7;
  index.Add(6);
  EXPECT_EQ(index.Find(Uniform(9).data()), 6);

  // A set that starts empty fills slot 0 with the first tile met.
  Tileset empty;
  const Lines lines = MakeLines(4, 8, std::vector<uint8_t>(32, 5));
  EXPECT_EQ(AddPictureTiles(empty, lines.view).added, 1);
  EXPECT_EQ(empty.tile_count, 1);
  EXPECT_EQ(TileOf(empty, 0), Uniform(5));
}

TEST(TilesetAdd, StopsAt255TilesAndCountsEveryDroppedTile) {
  // Stored tiles 1 to 253 differ from every uniform tile in their first byte.
  Tileset tileset;
  tileset.tile_count = 254;
  for (int slot = 1; slot < 254; ++slot) {
    tileset.Tile(slot)[0] = static_cast<uint8_t>(slot % 16);
    tileset.Tile(slot)[1] = static_cast<uint8_t>(slot / 16 + 1);
  }
  // Three tiles across: pens 9, 10, 9.
  std::vector<uint8_t> pens(12 * 8);
  for (int y = 0; y < 8; ++y) {
    for (int x = 0; x < 12; ++x) pens[y * 12 + x] = x / 4 == 1 ? 10 : 9;
  }
  const Lines first = MakeLines(12, 8, pens);
  TileAddResult result = AddPictureTiles(tileset, first.view);
  EXPECT_EQ(result.added, 1);
  EXPECT_EQ(result.dropped, 1);
  EXPECT_EQ(tileset.tile_count, 255);
  EXPECT_EQ(TileOf(tileset, 254), Uniform(9));
  EXPECT_EQ(TileOf(tileset, 255), Uniform(0));

  // Full: a new tile met twice is dropped twice, known tiles still match.
  const Lines second = MakeLines(12, 8, std::vector<uint8_t>(12 * 8, 11));
  result = AddPictureTiles(tileset, second.view);
  EXPECT_EQ(result.added, 0);
  EXPECT_EQ(result.dropped, 3);
  EXPECT_EQ(AddPictureTiles(tileset, first.view).dropped, 1);
  EXPECT_EQ(tileset.tile_count, 255);
}
