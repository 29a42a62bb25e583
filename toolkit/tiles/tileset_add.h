// gravik add0: cuts a mode 0 picture into 4 x 8 pixel tiles and appends the
// tiles a tileset file does not hold yet.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>

#include "common/picture.h"
#include "toolkit/tiles/tileset_file.h"

// Finds stored tiles by their 32 bytes without walking the whole set. Find
// returns the lowest slot holding the candidate among those added, which is
// the slot a scan of the slots in order would stop at, or -1.
class TileIndex {
 public:
  // A tile as four 64-bit words, two record lines each, in the record's byte
  // order.
  using Words = std::array<uint64_t, kTileRecordBytes / 8>;

  // Indexes slots 0 to tile_count - 1 of tileset, which must outlive the index.
  explicit TileIndex(const Tileset& tileset);
  int Find(const uint8_t* candidate) const;
  int Find(const Words& candidate) const;
  // Makes slot findable; a slot equal to one already indexed stays hidden.
  void Add(int slot);

 private:
  static constexpr size_t kBucketBits = 12;
  // Sixteen buckets a slot: a probe rarely meets another tile, whose
  // comparison would be a branch no predictor follows.
  static constexpr size_t kBuckets = size_t{1} << kBucketBits;
  const Tileset& tileset_;
  std::array<int16_t, kBuckets> buckets_;
};

struct TileAddResult {
  int added = 0;
  int dropped = 0;  // new tiles met once the set was full, each a warning
};

// Scans the picture's tiles bottom tile row first, left to right, and puts
// every tile not yet in tileset into the next free slot, up to 255 tiles.
// Pens above 15 count as pen 0. Width and height must be multiples of 4 and 8.
TileAddResult AddPictureTiles(Tileset& tileset, const Picture& picture);

// gravik add0: image_path (8-bit BMP) into tileset_path, which is created when
// missing and otherwise rewritten whole once everything has been checked. A
// damaged or unreadable tileset file is refused and left as it was. Returns
// true when the tileset file was written with every new tile; false when it
// was refused or not written, and false too when it was written but new
// tiles were dropped because the set was full (each one a warning line).
bool AddToTileset(const std::string& image_path, const std::string& tileset_path);
