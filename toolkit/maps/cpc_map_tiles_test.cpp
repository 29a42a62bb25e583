#include "toolkit/maps/cpc_map_tiles.h"

#include <gtest/gtest.h>

#include <array>
#include <map>
#include <string>
#include <vector>

namespace {

using Pens = std::array<uint8_t, 4>;  // a 2 x 2 tile, rows from the top

TiledTileset TilesetOf(uint32_t first_gid, int tile_count, const std::string& name) {
  return TiledTileset{first_gid, name, 2, 2, 0, 0, tile_count, tile_count, name + ".png", "map.tmx"};
}

// One cell a row, each with what it must show. The faults: flips applied in
// another order than Tiled's (diagonal, then horizontal, then vertical), a
// blank tile or an empty cell not numbered 0, the same picture from a second
// tileset made a tile of its own.
TEST(CpcMapTiles, EachCellShowsItsTileAsTiledFlipsItAndEqualPicturesShareANumber) {
  struct Case {
    const char* shown;
    uint32_t gid;
    Pens pens;
  };
  const std::vector<Case> cases = {
      {"unflipped", 1, {1, 2, 3, 4}},
      {"horizontal", 1 | kFlipHorizontal, {2, 1, 4, 3}},
      {"vertical", 1 | kFlipVertical, {3, 4, 1, 2}},
      {"horizontal and vertical", 1 | kFlipHorizontal | kFlipVertical, {4, 3, 2, 1}},
      {"diagonal", 1 | kFlipDiagonal, {1, 3, 2, 4}},
      {"diagonal and horizontal: turned clockwise", 1 | kFlipDiagonal | kFlipHorizontal, {3, 1, 4, 2}},
      {"diagonal and vertical: turned back", 1 | kFlipDiagonal | kFlipVertical, {2, 4, 1, 3}},
      {"all three", 1 | kFlipDiagonal | kFlipHorizontal | kFlipVertical, {4, 2, 3, 1}},
      {"a blank tile of the set", 2, {0, 0, 0, 0}},
      {"an empty cell", 0, {0, 0, 0, 0}},
      {"the turned picture, drawn so in a second tileset", 3, {3, 1, 4, 2}},
  };
  const std::vector<TiledTileset> sets = {TilesetOf(1, 2, "first"), TilesetOf(3, 1, "second")};
  TiledMap map{static_cast<int>(cases.size()), 1, 2, 2, sets, {}};
  TiledLayer layer{"ground", true, {}};
  for (const Case& row : cases) layer.cells.push_back(row.gid);
  map.layers.push_back(layer);
  const uint8_t first_pens[] = {1, 2, 0, 0, 3, 4, 0, 0};  // its tile 0, then a blank tile 1
  const uint8_t second_pens[] = {3, 1, 4, 2};
  const std::vector<Picture> images = {PictureFromPens(4, 2, first_pens), PictureFromPens(2, 2, second_pens)};

  const Checked<CpcMapTiles> tiles = BuildCpcMapTiles(map, images, 0);
  ASSERT_TRUE(tiles) << tiles.refusal();
  ASSERT_EQ(tiles->layers.size(), 1u);
  std::map<Pens, uint16_t> numbers;
  for (size_t k = 0; k < cases.size(); ++k) {
    SCOPED_TRACE(cases[k].shown);
    const uint16_t number = tiles->layers[0].cells[k];
    ASSERT_LT(number, tiles->tile_count);
    Pens shown{};
    std::copy_n(tiles->tile_pens.begin() + number * 4, 4, shown.begin());
    EXPECT_EQ(shown, cases[k].pens);
    if (cases[k].pens == Pens{}) {
      EXPECT_EQ(number, 0);
    }
    const auto known = numbers.emplace(cases[k].pens, number).first;
    EXPECT_EQ(known->second, number) << "the same picture under two numbers";
  }
  EXPECT_EQ(tiles->tile_count, numbers.size()) << "a tile no cell shows, or one picture twice";
}

}  // namespace
