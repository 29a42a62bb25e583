#include "toolkit/maps/cpc_map_tiles.h"

#include <algorithm>
#include <cstring>
#include <unordered_map>

#include "common/cpc_pixels.h"
#include "common/large_buffer.h"
#include "common/number_text.h"

namespace {

using TilesResult = Checked<CpcMapTiles>;

// Where a tileset's tiles lie in its picture.
struct TileGrid {
  const TiledTileset* tileset = nullptr;
  const Picture* image = nullptr;
  int columns = 0;
  int64_t tile_count = 0;
};

TileGrid GridOf(const TiledTileset& tileset, const Picture& image) {
  TileGrid grid{&tileset, &image, tileset.columns, tileset.tile_count};
  const int step_x = tileset.tile_width + tileset.spacing;
  const int step_y = tileset.tile_height + tileset.spacing;
  const int fit_x = std::max(0, (image.width - 2 * tileset.margin + tileset.spacing) / step_x);
  const int fit_y = std::max(0, (image.height - 2 * tileset.margin + tileset.spacing) / step_y);
  if (grid.columns == 0) grid.columns = fit_x;
  if (grid.tile_count == 0) grid.tile_count = int64_t{grid.columns} * fit_y;
  return grid;
}

std::string OutsideText(const TiledTileset& set, int64_t local) {
  return set.image_path + " : tile " + PlainDecimal(local) + " of tileset " + set.name +
         " lies outside the picture";
}

std::string CellText(const std::string& layer, size_t index, int map_width) {
  return "layer " + layer + ", cell " + PlainDecimal(static_cast<int64_t>(index % map_width)) + "," +
         PlainDecimal(static_cast<int64_t>(index / map_width));
}

class TileCutter {
 public:
  TileCutter(const TiledMap& map, std::span<const Picture> images, int mode, CpcMapTiles& out)
      : map_(map), mode_(mode), out_(out) {
    for (size_t k = 0; k < map.tilesets.size(); ++k) grids_.push_back(GridOf(map.tilesets[k], images[k]));
    pens_.resize(static_cast<size_t>(map.tile_width) * map.tile_height);
    bytes_.resize(static_cast<size_t>(out.tile_width_bytes) * map.tile_height);
    AddTile();  // the blank tile: all pen 0
  }

  // The CPC tile number of a gid met lately, from a small table of recent
  // ones (where most cells find theirs); -1 when it is not there.
  int32_t Recent(uint32_t gid) const {
    const Known& cached = recent_[Slot(gid)];
    return cached.gid == gid ? static_cast<int32_t>(cached.number) : -1;
  }

  // The CPC tile number of a cell holding gid (0 for an empty cell).
  Checked<uint32_t> Number(uint32_t gid, const std::string& layer, size_t index) {
    Known& cached = recent_[Slot(gid)];
    if (cached.gid == gid) return cached.number;
    const auto known = numbers_.find(gid);
    if (known != numbers_.end()) return Remember(cached, gid, known->second);
    const std::string where = CellText(layer, index, map_.width);
    if (gid & kHexagonalRotation)
      return Checked<uint32_t>::Refused(where + " has the hexagonal rotation flag");
    if ((gid & kFlipDiagonal) && map_.tile_width != map_.tile_height) {
      return Checked<uint32_t>::Refused(where + " is flipped diagonally, which tiles of " +
                                        PlainDecimal(map_.tile_width) + " x " +
                                        PlainDecimal(map_.tile_height) + " pixels can not be");
    }
    if (Refusal bad = CutTile(gid, where)) return Checked<uint32_t>::Refused(*bad);
    const uint32_t number = NumberOfCut();
    if (number >= kMaxCpcTiles) {
      return Checked<uint32_t>::Refused("more than " + PlainDecimal(static_cast<int64_t>(kMaxCpcTiles)) +
                                        " distinct tiles, more than two bytes a cell can number");
    }
    numbers_.emplace(gid, number);
    return Remember(cached, gid, number);
  }

 private:
  // A large map holds millions of cells and few distinct ids: most cells
  // find theirs in a small table of recent ones, before the hash map. An
  // unused entry says gid 0 is tile 0, which is true.
  struct Known {
    uint32_t gid = 0;
    uint32_t number = 0;
  };
  static constexpr int kRecentBits = 12;
  static size_t Slot(uint32_t gid) { return (gid * 2654435761u) >> (32 - kRecentBits); }

  static uint32_t Remember(Known& cached, uint32_t gid, uint32_t number) {
    cached = {gid, number};
    return number;
  }

  const TileGrid* GridHolding(uint32_t id) const {
    const TileGrid* holder = nullptr;
    for (const TileGrid& grid : grids_) {
      if (grid.tileset->first_gid <= id) holder = &grid;
    }
    return holder;
  }

  // The tile's pens into pens_, its flips applied as Tiled applies them:
  // the diagonal flip (x and y swapped) first, then horizontal, then vertical.
  Refusal CutTile(uint32_t gid, const std::string& where) {
    const uint32_t id = gid & ~kGidFlags;
    const TileGrid* grid = GridHolding(id);
    if (grid == nullptr || id - grid->tileset->first_gid >= grid->tile_count)
      return where + " : gid " + PlainDecimal(id) + " has no tileset";
    const TiledTileset& set = *grid->tileset;
    const int64_t local = id - set.first_gid;
    if (grid->columns <= 0) return OutsideText(set, local);
    const int64_t left = set.margin + local % grid->columns * (set.tile_width + set.spacing);
    const int64_t top = set.margin + local / grid->columns * (set.tile_height + set.spacing);
    const int w = map_.tile_width;
    const int h = map_.tile_height;
    if (left + w > grid->image->width || top + h > grid->image->height) return OutsideText(set, local);
    const bool flip_x = gid & kFlipHorizontal;
    const bool flip_y = gid & kFlipVertical;
    const bool swap = gid & kFlipDiagonal;
    const int pen_limit = ModePens(mode_);
    for (int y = 0; y < h; ++y) {
      for (int x = 0; x < w; ++x) {
        const int sx = flip_x ? w - 1 - x : x;
        const int sy = flip_y ? h - 1 - y : y;
        const uint8_t pen = swap ? grid->image->At(static_cast<int>(left) + sy, static_cast<int>(top) + sx)
                                 : grid->image->At(static_cast<int>(left) + sx, static_cast<int>(top) + sy);
        if (pen >= pen_limit) {
          return set.image_path + " : tile " + PlainDecimal(local) + " has pen " + PlainDecimal(pen) +
                 ", beyond the " + PlainDecimal(pen_limit) + " pens of mode " + PlainDecimal(mode_);
        }
        pens_[static_cast<size_t>(y) * w + x] = pen;
      }
    }
    return std::nullopt;
  }

  void PackCut() {
    const int w = map_.tile_width;
    for (int y = 0; y < map_.tile_height; ++y) {
      const uint8_t* row = pens_.data() + static_cast<size_t>(y) * w;
      uint8_t* out = bytes_.data() + static_cast<size_t>(y) * out_.tile_width_bytes;
      if (mode_ == 0) PackMode0Row(row, w, out);
      if (mode_ == 1) PackMode1Row(row, w, out);
      if (mode_ == 2) PackMode2Row(row, w, out);
    }
  }

  // Cells showing the same pixels share a tile, whatever tile and flips show them.
  uint32_t NumberOfCut() {
    PackCut();
    const std::string key(bytes_.begin(), bytes_.end());
    const auto found = tiles_.find(key);
    if (found != tiles_.end()) return found->second;
    return AddTile();
  }

  uint32_t AddTile() {
    PackCut();
    const uint32_t number = static_cast<uint32_t>(tiles_.size());
    tiles_.emplace(std::string(bytes_.begin(), bytes_.end()), number);
    out_.tile_bytes.insert(out_.tile_bytes.end(), bytes_.begin(), bytes_.end());
    out_.tile_pens.insert(out_.tile_pens.end(), pens_.begin(), pens_.end());
    out_.tile_count = tiles_.size();
    return number;
  }

  const TiledMap& map_;
  const int mode_;
  CpcMapTiles& out_;
  std::vector<TileGrid> grids_;
  std::vector<uint8_t> pens_;
  std::vector<uint8_t> bytes_;
  std::unordered_map<uint32_t, uint32_t> numbers_;
  std::unordered_map<std::string, uint32_t> tiles_;
  std::vector<Known> recent_ = std::vector<Known>(size_t{1} << kRecentBits);
};

Refusal CheckTileSizes(const TiledMap& map, int mode) {
  for (const TiledTileset& set : map.tilesets) {
    if (set.tile_width != map.tile_width || set.tile_height != map.tile_height) {
      return "tileset " + set.name + " has tiles of " + PlainDecimal(set.tile_width) + " x " +
             PlainDecimal(set.tile_height) + " pixels, the map " + PlainDecimal(map.tile_width) + " x " +
             PlainDecimal(map.tile_height);
    }
  }
  if (map.tile_width % ModePixelsPerByte(mode) != 0) {
    return "tiles of " + PlainDecimal(map.tile_width) + " pixels wide do not fill whole mode " +
           PlainDecimal(mode) + " bytes of " + PlainDecimal(ModePixelsPerByte(mode)) + " pixels";
  }
  return std::nullopt;
}

Refusal NumberLayer(const TiledLayer& layer, TileCutter& cutter, CpcMapLayer& out) {
  out.name = layer.name;
  const size_t count = layer.cells.size();
  ReserveLarge(out.cells, count);
  out.cells.resize(count);
  const uint32_t* gids = layer.cells.data();
  uint16_t* numbers = out.cells.data();
  // A run of one id (the gaps of a sparse layer, a stretch of floor) is
  // looked up once.
  uint32_t run_gid = 0;
  uint16_t run_number = 0;
  for (size_t k = 0; k < count; ++k) {
    const uint32_t gid = gids[k];
    if (gid != run_gid) {
      int32_t number = gid == 0 ? 0 : cutter.Recent(gid);
      if (number < 0) {
        const Checked<uint32_t> found = cutter.Number(gid, layer.name, k);
        if (!found) return found.refusal();
        number = static_cast<int32_t>(*found);
      }
      run_gid = gid;
      run_number = static_cast<uint16_t>(number);
    }
    numbers[k] = run_number;
  }
  return std::nullopt;
}

}  // namespace

int ModePens(int mode) { return mode == 0 ? 16 : mode == 1 ? 4 : 2; }
int ModePixelsPerByte(int mode) { return mode == 0 ? 2 : mode == 1 ? 4 : 8; }

Checked<CpcMapTiles> BuildCpcMapTiles(TiledMap& map, std::span<const Picture> images, int mode) {
  if (Refusal bad = CheckTileSizes(map, mode)) return TilesResult::Refused(*bad);
  CpcMapTiles tiles;
  tiles.mode = mode;
  tiles.tile_width_px = map.tile_width;
  tiles.tile_height = map.tile_height;
  tiles.tile_width_bytes = map.tile_width / ModePixelsPerByte(mode);
  TileCutter cutter(map, images, mode, tiles);
  for (TiledLayer& layer : map.layers) {
    if (!layer.is_visible) continue;
    CpcMapLayer out;
    if (Refusal bad = NumberLayer(layer, cutter, out)) return TilesResult::Refused(*bad);
    tiles.layers.push_back(std::move(out));
    std::vector<uint32_t>().swap(layer.cells);
  }
  return tiles;
}

Picture DrawMapPicture(const CpcMapTiles& tiles, int map_width, int map_height, const Palette& palette) {
  const int tw = tiles.tile_width_px;
  const int th = tiles.tile_height;
  Picture picture = NewPicture(map_width * tw, map_height * th);
  picture.palette = palette;
  const size_t tile_pixels = static_cast<size_t>(tw) * th;
  for (const CpcMapLayer& layer : tiles.layers) {
    for (size_t k = 0; k < layer.cells.size(); ++k) {
      if (layer.cells[k] == 0) continue;
      const uint8_t* pens = tiles.tile_pens.data() + layer.cells[k] * tile_pixels;
      const int left = static_cast<int>(k % map_width) * tw;
      const int top = static_cast<int>(k / map_width) * th;
      for (int y = 0; y < th; ++y) std::memcpy(picture.Row(top + y) + left, pens + y * tw, tw);
    }
  }
  return picture;
}
