// The input is a TMX map as a user might hand it over: read as the map and,
// when it names a .tsx file, as that tileset too; a map that reads is then cut
// into CPC tiles from small pictures of the right size for each tileset.
#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "common/picture.h"
#include "toolkit/maps/cpc_map_tiles.h"
#include "toolkit/maps/tiled_map.h"

namespace {

// Pictures larger than this are not made: the cut itself is what is fuzzed.
constexpr int64_t kMaxFuzzPixels = 1 << 16;

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::vector<uint8_t> bytes(data, data + size);
  const TilesetFileReader same_bytes = [data, size](const std::string&) -> Checked<std::vector<uint8_t>> {
    return std::vector<uint8_t>(data, data + size);
  };
  const Checked<TiledMap> map = ReadTiledMap(bytes, "fuzz.tmx", same_bytes);
  if (!map) return 0;
  std::vector<Picture> pictures;
  for (const TiledTileset& tileset : map->tilesets) {
    const int width = 2 * tileset.margin + 4 * (tileset.tile_width + tileset.spacing);
    const int height = 2 * tileset.margin + 2 * (tileset.tile_height + tileset.spacing);
    if (int64_t{width} * height > kMaxFuzzPixels) return 0;
    Picture picture = NewPicture(width, height);
    for (int y = 0; y < height; ++y)
      for (int x = 0; x < width; ++x) picture.Row(y)[x] = static_cast<uint8_t>((x * 5 + y * 3) % 5);
    pictures.push_back(picture);
  }
  for (int mode = 0; mode <= 2; ++mode) {
    TiledMap cut = *map;  // the cut releases the ids of the map it is given
    const Checked<CpcMapTiles> tiles = BuildCpcMapTiles(cut, pictures, mode);
    if (tiles && int64_t{map->width} * map->tile_width * map->height * map->tile_height <= kMaxFuzzPixels)
      DrawMapPicture(*tiles, map->width, map->height, Palette{});
  }
  return 0;
}
