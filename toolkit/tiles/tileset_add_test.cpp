#include "toolkit/tiles/tileset_add.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

std::array<uint8_t, kTileRecordBytes> Uniform(uint8_t pen) {
  std::array<uint8_t, kTileRecordBytes> record{};
  record.fill(pen);
  return record;
}

}  // namespace

TEST(TilesetAdd, IndexAnswersWithTheLowestEqualSlot) {
  // A stored set may hold a tile twice (written by hand, say): the index must
  // answer as a scan of the slots in order would.
  Tileset tileset;
  tileset.tile_count = 6;
  const uint8_t pens[] = {0, 7, 0, 7, 3, 3, 9};  // slot 6 lies beyond the count
  for (int slot = 0; slot < 7; ++slot) std::fill_n(tileset.Tile(slot), kTileRecordBytes, pens[slot]);
  TileIndex index(tileset);
  EXPECT_EQ(index.Find(Uniform(0).data()), 0);
  EXPECT_EQ(index.Find(Uniform(7).data()), 1);
  EXPECT_EQ(index.Find(Uniform(3).data()), 4);
  EXPECT_EQ(index.Find(Uniform(9).data()), -1);
  tileset.tile_count = 7;
  index.Add(6);
  EXPECT_EQ(index.Find(Uniform(9).data()), 6);

  // A set whose count is 0 fills slot 0 with the first tile met.
  Tileset empty;
  const std::vector<uint8_t> fives(4 * 8, 5);
  const TileAddResult result = AddPictureTiles(empty, PictureFromPens(4, 8, fives.data()));
  EXPECT_EQ(result.added, 1);
  EXPECT_EQ(empty.tile_count, 1);
  const auto five = Uniform(5);
  EXPECT_TRUE(std::equal(five.begin(), five.end(), empty.Tile(0)));
}
