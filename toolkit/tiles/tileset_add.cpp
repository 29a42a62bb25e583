#include "toolkit/tiles/tileset_add.h"

#include <FreeImage.h>

#include <cstring>

#include "common/file_lock.h"
#include "common/line_output.h"
#include "common/number_text.h"
#include "toolkit/source_image.h"

namespace {

constexpr char kPrefix[] = "AddToTileset : ";
constexpr int kRequiredBitsPerPixel = 8;
// Mode 0 has 16 pens; anything above is not a CPC colour and becomes pen 0.
constexpr uint8_t kHighestPen = 15;

uint64_t Load64(const uint8_t* bytes) {
  uint64_t value = 0;
  std::memcpy(&value, bytes, sizeof value);
  return value;
}

size_t HashTile(const uint8_t* tile) {
  uint64_t hash = 0x9E3779B97F4A7C15ull;
  for (int k = 0; k < kTileRecordBytes; k += 8) {
    hash = (hash ^ Load64(tile + k)) * 0xFF51AFD7ED558CCDull;
    hash ^= hash >> 32;
  }
  return static_cast<size_t>(hash);
}

bool IsSameTile(const uint8_t* a, const uint8_t* b) { return std::memcmp(a, b, kTileRecordBytes) == 0; }

// Record line 0 is the tile's bottom row, which in FreeImage's order is the
// first of the tile's eight scan lines: the lines are copied as they lie.
void CutTile(const ScanLines& lines, int tile_row, int tile_column, uint8_t* candidate) {
  for (int line = 0; line < kTileHeightPx; ++line) {
    const uint8_t* pens = lines.Line(tile_row * kTileHeightPx + line) + tile_column * kTileWidthPx;
    for (int column = 0; column < kTileWidthPx; ++column) {
      const uint8_t pen = pens[column];
      candidate[line * kTileWidthPx + column] = pen > kHighestPen ? 0 : pen;
    }
  }
}

struct PictureFacts {
  int width = 0;
  int height = 0;
  int bits_per_pixel = 0;
};

PictureFacts FactsOf(FIBITMAP* image) {
  return {static_cast<int>(FreeImage_GetWidth(image)), static_cast<int>(FreeImage_GetHeight(image)),
          static_cast<int>(FreeImage_GetBPP(image))};
}

void PrintPictureLines(const std::string& image_path, const PictureFacts& facts) {
  const int across = facts.width / kTileWidthPx;
  const int down = facts.height / kTileHeightPx;
  PrintLine("source : " + image_path);
  PrintLine(SpacedDecimal(facts.width) + "/" + SpacedDecimal(facts.height) + " @" +
            SpacedDecimal(facts.bits_per_pixel));
  PrintLine(SpacedDecimal(across) + "/" + SpacedDecimal(down) + "(" +
            SpacedDecimal(static_cast<int64_t>(across) * down) + ")" + " tiles");
}

// The line that refuses the picture, or nullptr when it can be cut into tiles.
const char* PictureRefusal(FIBITMAP* image, const PictureFacts& facts) {
  if (facts.bits_per_pixel != kRequiredBitsPerPixel) return "Source must be 8 bits";
  if (facts.width % kTileWidthPx != 0 || facts.height % kTileHeightPx != 0) {
    return "Source must be composed of (4*8)pixels tiles";
  }
  if (FreeImage_GetBits(image) == nullptr) return "Can not access source data";
  if (FreeImage_GetPalette(image) == nullptr) return "Can not access source palette";
  return nullptr;
}

// A new set takes the picture's palette and starts with the blank tile (all
// pen 0) in slot 0, so tile number 0 is always the empty tile.
Tileset NewTileset(FIBITMAP* image) {
  Tileset tileset;
  tileset.tile_count = 1;
  const unsigned colours = FreeImage_GetColorsUsed(image);
  const size_t entries = colours < kPaletteEntries ? colours : kPaletteEntries;
  std::memcpy(tileset.palette.data(), FreeImage_GetPalette(image), entries * sizeof(RGBQUAD));
  return tileset;
}

ScanLines ScanLinesOf(FIBITMAP* image) {
  return {FreeImage_GetBits(image), static_cast<ptrdiff_t>(FreeImage_GetPitch(image)),
          static_cast<int>(FreeImage_GetWidth(image)), static_cast<int>(FreeImage_GetHeight(image))};
}

}  // namespace

TileIndex::TileIndex(const Tileset& tileset) : tileset_(tileset) {
  buckets_.fill(-1);
  for (int slot = 0; slot < tileset.tile_count; ++slot) Add(slot);
}

int TileIndex::Find(const uint8_t* candidate) const {
  for (size_t bucket = HashTile(candidate) % kBuckets;; bucket = (bucket + 1) % kBuckets) {
    const int slot = buckets_[bucket];
    if (slot < 0 || IsSameTile(tileset_.Tile(slot), candidate)) return slot;
  }
}

void TileIndex::Add(int slot) {
  const uint8_t* tile = tileset_.Tile(slot);
  for (size_t bucket = HashTile(tile) % kBuckets;; bucket = (bucket + 1) % kBuckets) {
    const int held = buckets_[bucket];
    if (held < 0) {
      buckets_[bucket] = static_cast<int16_t>(slot);
      return;
    }
    // A stored set may hold the same tile twice; the lower slot answers.
    if (IsSameTile(tileset_.Tile(held), tile)) return;
  }
}

TileAddResult AddPictureTiles(Tileset& tileset, const ScanLines& lines) {
  TileAddResult result;
  TileIndex index(tileset);
  const int across = lines.width / kTileWidthPx;
  const int down = lines.height / kTileHeightPx;
  std::array<uint8_t, kTileRecordBytes> candidate{};
  for (int tile_row = 0; tile_row < down; ++tile_row) {
    for (int tile_column = 0; tile_column < across; ++tile_column) {
      CutTile(lines, tile_row, tile_column, candidate.data());
      if (index.Find(candidate.data()) >= 0) continue;
      if (tileset.tile_count >= kMaxTiles) {
        ++result.dropped;
        continue;
      }
      std::memcpy(tileset.Tile(tileset.tile_count), candidate.data(), kTileRecordBytes);
      index.Add(tileset.tile_count);
      ++tileset.tile_count;
      ++result.added;
    }
  }
  return result;
}

bool AddToTileset(const std::string& image_path, const std::string& tileset_path) {
  // The tiles are cut in FreeImage's own bottom-up order, so the picture is
  // loaded here as it lies, without the upright flip of the image commands.
  const ImagePtr image = LoadBmpSafely(image_path);
  if (!image) return false;
  const PictureFacts facts = FactsOf(image.get());
  PrintPictureLines(image_path, facts);
  if (const char* refusal = PictureRefusal(image.get(), facts)) {
    PrintLine(refusal);
    return false;
  }
  // Runs adding to one set take turns from reading it to replacing it, so
  // that none builds on a set another is about to replace.
  const TargetLock lock(tileset_path);
  // Only a set that is not there at all is started afresh: one that exists
  // but can not be read, or is damaged, holds the user's work and is refused.
  TilesetRead read = ReadTilesetFile(tileset_path);
  if (read.status == TilesetStatus::kNotFound) {
    PrintLine(tileset_path + " does not exist, creating...");
    read.tileset = NewTileset(image.get());
  } else if (read.status != TilesetStatus::kOk) {
    PrintLine(kPrefix + TilesetRefusalText(read, tileset_path));
    return false;
  } else {
    PrintLine("loading " + tileset_path);
  }
  const TileAddResult result = AddPictureTiles(read.tileset, ScanLinesOf(image.get()));
  for (int k = 0; k < result.dropped; ++k) PrintLine("WARNING ! Reached max tiles for this system (255)");
  // Written aside and moved over the old set, so an interrupted run keeps the
  // previous set; the counts are printed once the new one is in place.
  // The set holds the work of many runs: it reaches the disk before it
  // replaces the old one.
  const WriteStatus status = WriteBinaryFile(tileset_path, TilesetFileBytes(read.tileset), Durability::kSynced);
  if (status != WriteStatus::kOk) {
    PrintLine(kPrefix + WriteFailureText(status, tileset_path));
    return false;
  }
  PrintLine("Added " + SpacedDecimal(result.added) + " tiles");
  PrintLine("Total tileset " + SpacedDecimal(read.tileset.tile_count));
  return true;
}
