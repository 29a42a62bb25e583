#include "toolkit/tiles/tileset_add.h"

#include <gtest/gtest.h>

#include <random>
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

// The tiles are cut, hashed and compared as words: the set must hold what a
// plain cut and an in-order scan of the slots give, pens above 15 as 0.
TEST(TilesetAdd, WordCutsAddWhatAPlainScanAdds) {
  std::mt19937 random(12);
  for (int trial = 0; trial < 40; ++trial) {
    const int width = 4 * (1 + static_cast<int>(random() % 24));
    const int height = 8 * (1 + static_cast<int>(random() % 12));
    const int designs = 1 + static_cast<int>(random() % 300);
    std::vector<std::vector<uint8_t>> looks(static_cast<size_t>(designs));
    for (std::vector<uint8_t>& look : looks) {
      for (int k = 0; k < kTileRecordBytes; ++k) look.push_back(static_cast<uint8_t>(random() % (trial % 3 == 0 ? 40 : 16)));
    }
    std::vector<uint8_t> pens(static_cast<size_t>(width * height));
    for (int y = 0; y < height; y += 8) {
      for (int x = 0; x < width; x += 4) {
        const std::vector<uint8_t>& look = looks[random() % looks.size()];
        for (int k = 0; k < kTileRecordBytes; ++k) pens[static_cast<size_t>((y + k / 4) * width + x + k % 4)] = look[k];
      }
    }
    std::vector<std::vector<uint8_t>> expected;
    for (int row = 0; row < height / 8; ++row) {
      for (int column = 0; column < width / 4; ++column) {
        std::vector<uint8_t> tile;
        for (int line = 0; line < 8; ++line) {
          for (int x = 0; x < 4; ++x) {
            const uint8_t pen = pens[static_cast<size_t>((height - 1 - row * 8 - line) * width + column * 4 + x)];
            tile.push_back(pen > 15 ? 0 : pen);
          }
        }
        if (std::find(expected.begin(), expected.end(), tile) == expected.end() && expected.size() < 255) {
          expected.push_back(tile);
        }
      }
    }
    Tileset tileset;
    AddPictureTiles(tileset, PictureFromPens(width, height, pens.data()));
    ASSERT_EQ(tileset.tile_count, static_cast<int>(expected.size())) << "trial " << trial;
    for (size_t slot = 0; slot < expected.size(); ++slot) {
      ASSERT_TRUE(std::equal(expected[slot].begin(), expected[slot].end(), tileset.Tile(static_cast<int>(slot))))
          << "trial " << trial << " slot " << slot;
    }
  }
}
