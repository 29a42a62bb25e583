#include "toolkit/tiles/tileset_add.h"

#include <array>
#include <bit>
#include <cstring>

#include "common/file_lock.h"
#include "common/image_io/picture_file.h"
#include "common/line_output.h"
#include "common/number_text.h"

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

uint32_t Load32(const uint8_t* bytes) {
  uint32_t value = 0;
  std::memcpy(&value, bytes, sizeof value);
  return value;
}

// A tile as four 64-bit words, two record lines each, in the record's byte
// order: half a million tiles are cut, hashed and compared in a big picture,
// and kept in registers they cost a few dozen instructions each.
constexpr int kTileWords = kTileRecordBytes / 8;
static_assert(kTileWidthPx == 4 && kTileHeightPx == 2 * kTileWords, "a word holds two lines of four pens");
static_assert(std::endian::native == std::endian::little, "a word holds its record's bytes in order");
using TileWords = TileIndex::Words;

TileWords LoadTile(const uint8_t* record) {
  TileWords words;
  for (int k = 0; k < kTileWords; ++k) words[k] = Load64(record + 8 * k);
  return words;
}

// The top bits of four independent products: each depends on every bit of
// its word, and the products do not wait on each other.
size_t TileBucket(const TileWords& words, size_t bucket_bits) {
  const uint64_t mixed = words[0] * 0x9E3779B97F4A7C15ull ^ words[1] * 0xC2B2AE3D27D4EB4Full ^
                         words[2] * 0x165667B19E3779F9ull ^ words[3] * 0xFF51AFD7ED558CCDull;
  return static_cast<size_t>(mixed >> (64 - bucket_bits));
}

bool IsSameTile(const TileWords& a, const TileWords& b) {
  uint64_t differ = 0;
  for (int k = 0; k < kTileWords; ++k) differ |= a[k] ^ b[k];
  return differ == 0;
}

// Tile rows are counted from the bottom of the picture, and record line 0 is
// the tile's bottom row: the tileset has always been cut in the bottom-up order
// in which BMP files store their scan lines. Pens above 15 are rare, so they
// are looked for a word at a time and only then cleared one by one.
TileWords CutTile(const Picture& picture, int tile_row, int tile_column) {
  const uint8_t* pens =
      picture.Row(picture.height - 1 - tile_row * kTileHeightPx) + tile_column * kTileWidthPx;
  TileWords words;
  for (int k = 0; k < kTileWords; ++k) {
    const uint64_t low = Load32(pens - picture.stride * (2 * k));
    const uint64_t high = Load32(pens - picture.stride * (2 * k + 1));
    words[k] = low | high << 32;
  }
  constexpr uint64_t kHighNibbles = 0xF0F0F0F0F0F0F0F0ull;
  uint64_t high_pens = 0;
  for (const uint64_t word : words) high_pens |= word & kHighNibbles;
  if (high_pens == 0) return words;
  std::array<uint8_t, kTileRecordBytes> record;
  std::memcpy(record.data(), words.data(), kTileRecordBytes);
  for (uint8_t& pen : record) {
    if (pen > kHighestPen) pen = 0;
  }
  return LoadTile(record.data());
}

void PrintPictureLines(const std::string& image_path, const BmpContents& facts) {
  const int across = facts.width / kTileWidthPx;
  const int down = facts.height / kTileHeightPx;
  PrintLine("source : " + image_path);
  PrintLine(SpacedDecimal(facts.width) + "/" + SpacedDecimal(facts.height) + " @" +
            SpacedDecimal(facts.bits_per_pixel));
  PrintLine(SpacedDecimal(across) + "/" + SpacedDecimal(down) + "(" +
            SpacedDecimal(static_cast<int64_t>(across) * down) + ")" + " tiles");
}

Refusal PictureRefusal(const BmpContents& facts) {
  if (facts.bits_per_pixel != kRequiredBitsPerPixel) return "Source must be 8 bits";
  if (facts.width % kTileWidthPx != 0 || facts.height % kTileHeightPx != 0) {
    return "Source must be composed of (4*8)pixels tiles";
  }
  if (!facts.has_pens) return "Can not access source data";
  return std::nullopt;
}

// A new set takes the picture's palette and starts with the blank tile (all
// pen 0) in slot 0, so tile number 0 is always the empty tile.
Tileset NewTileset(const Picture& picture) {
  Tileset tileset;
  tileset.tile_count = 1;
  for (int k = 0; k < kPaletteEntries; ++k) {
    // Blue, green, red, reserved: the entry layout of BMP files and of the set.
    tileset.palette[4 * k] = picture.palette[k].blue;
    tileset.palette[4 * k + 1] = picture.palette[k].green;
    tileset.palette[4 * k + 2] = picture.palette[k].red;
  }
  return tileset;
}

}  // namespace

TileIndex::TileIndex(const Tileset& tileset) : tileset_(tileset) {
  buckets_.fill(-1);
  for (int slot = 0; slot < tileset.tile_count; ++slot) Add(slot);
}

int TileIndex::Find(const uint8_t* candidate) const { return Find(LoadTile(candidate)); }

int TileIndex::Find(const TileWords& candidate) const {
  for (size_t bucket = TileBucket(candidate, kBucketBits);; bucket = (bucket + 1) % kBuckets) {
    const int slot = buckets_[bucket];
    if (slot < 0 || IsSameTile(LoadTile(tileset_.Tile(slot)), candidate)) return slot;
  }
}

void TileIndex::Add(int slot) {
  const TileWords tile = LoadTile(tileset_.Tile(slot));
  for (size_t bucket = TileBucket(tile, kBucketBits);; bucket = (bucket + 1) % kBuckets) {
    const int held = buckets_[bucket];
    if (held < 0) {
      buckets_[bucket] = static_cast<int16_t>(slot);
      return;
    }
    // A stored set may hold the same tile twice; the lower slot answers.
    if (IsSameTile(LoadTile(tileset_.Tile(held)), tile)) return;
  }
}

TileAddResult AddPictureTiles(Tileset& tileset, const Picture& picture) {
  TileAddResult result;
  TileIndex index(tileset);
  const int across = picture.width / kTileWidthPx;
  const int down = picture.height / kTileHeightPx;
  for (int tile_row = 0; tile_row < down; ++tile_row) {
    for (int tile_column = 0; tile_column < across; ++tile_column) {
      const TileWords candidate = CutTile(picture, tile_row, tile_column);
      if (index.Find(candidate) >= 0) continue;
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
namespace {

// The operation's one refusal line.
bool Refuse(const std::string& line) {
  PrintLine(line);
  return false;
}

}  // namespace

bool AddToTileset(const std::string& image_path, const std::string& tileset_path) {
  // add0 has its own loading lines (a third line counts the tiles), so it
  // does not go through the image commands' source loader.
  const Checked<BmpContents> image = LoadBmpPicture(image_path);
  if (!image) return Refuse(image.refusal());
  PrintPictureLines(image_path, *image);
  if (const Refusal refusal = PictureRefusal(*image)) return Refuse(*refusal);
  // Runs adding to one set take turns from reading it to replacing it, so
  // that none builds on a set another is about to replace.
  // Without the turn one run's tiles would be lost, so no turn, no run.
  const Checked<TargetLock> lock = TakeTargetLock(tileset_path);
  if (!lock) return Refuse(kPrefix + lock.refusal());
  // Only a set that is not there at all is started afresh: one that exists
  // but can not be read, or is damaged, holds the user's work and is refused.
  Checked<std::optional<Tileset>> read = ReadTilesetFile(tileset_path);
  if (!read) return Refuse(kPrefix + read.refusal());
  PrintLine(*read ? "loading " + tileset_path : tileset_path + " does not exist, creating...");
  Tileset& tileset = *read ? **read : read->emplace(NewTileset(image->picture));
  const TileAddResult result = AddPictureTiles(tileset, image->picture);
  for (int k = 0; k < result.dropped; ++k) PrintLine("WARNING ! Reached max tiles for this system (255)");
  // Written aside and moved over the old set, so an interrupted run keeps the
  // previous set; the counts are printed once the new one is in place. The
  // set holds the work of many runs: it reaches the disk before it replaces
  // the old one.
  if (const Refusal refused = WriteBinaryFile(tileset_path, TilesetFileBytes(tileset), Durability::kSynced))
    return Refuse(kPrefix + *refused);
  PrintLine("Added " + SpacedDecimal(result.added) + " tiles");
  PrintLine("Total tileset " + SpacedDecimal(tileset.tile_count));
  // The set was written, but without the tiles that did not fit: not all
  // that was asked, which a build script must be able to tell.
  return result.dropped == 0;
}
