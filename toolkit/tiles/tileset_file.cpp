#include "toolkit/tiles/tileset_file.h"

#include <cstdio>
#include <cstring>
#include <memory>

#include "common/input_file.h"
#include "common/line_output.h"
#include "common/number_text.h"

namespace {

constexpr size_t kCountOffset = 0;
constexpr size_t kPaletteOffset = 4;
constexpr size_t kTilesOffset = kPaletteOffset + kPaletteBytes;

int32_t ReadSigned32(const uint8_t* bytes) { return static_cast<int32_t>(ReadLe32(bytes)); }

}  // namespace

TilesetRead ParseTilesetBytes(std::span<const uint8_t> bytes) {
  TilesetRead read;
  read.size_bytes = static_cast<int64_t>(bytes.size());
  if (bytes.size() != kTilesetFileBytes) {
    read.status = TilesetStatus::kWrongSize;
    return read;
  }
  read.stored_count = ReadSigned32(bytes.data() + kCountOffset);
  if (read.stored_count < 0 || read.stored_count > kMaxTiles) {
    read.status = TilesetStatus::kBadCount;
    return read;
  }
  read.tileset.tile_count = read.stored_count;
  std::memcpy(read.tileset.palette.data(), bytes.data() + kPaletteOffset, kPaletteBytes);
  std::memcpy(read.tileset.tiles.data(), bytes.data() + kTilesOffset, read.tileset.tiles.size());
  read.status = TilesetStatus::kOk;
  return read;
}

TilesetRead ReadTilesetFile(const std::string& path) {
  TilesetRead read;
  // Opened without waiting: a FIFO in the set's place is refused, not read.
  const InputFile input = OpenInputFile(path);
  switch (input.status) {
    case InputStatus::kOk:
      break;
    case InputStatus::kMissing:
      read.status = TilesetStatus::kNotFound;
      return read;
    case InputStatus::kCannotRead:
      read.status = TilesetStatus::kCannotOpen;
      return read;
    case InputStatus::kNotRegular:
    case InputStatus::kTooLarge:
      read.status = TilesetStatus::kCannotRead;
      return read;
  }
  if (input.size_bytes != kTilesetFileBytes) {
    read.status = TilesetStatus::kWrongSize;
    read.size_bytes = static_cast<int64_t>(input.size_bytes);
    return read;
  }
  // One byte more than a tileset holds, so a file that grew since fstat shows.
  std::vector<uint8_t> bytes(kTilesetFileBytes + 1);
  const size_t got = std::fread(bytes.data(), 1, bytes.size(), input.file.get());
  if (std::ferror(input.file.get()) != 0) {
    read.status = TilesetStatus::kCannotRead;
    return read;
  }
  bytes.resize(got);
  return ParseTilesetBytes(bytes);
}

std::vector<uint8_t> TilesetFileBytes(const Tileset& tileset) {
  std::vector<uint8_t> bytes;
  bytes.reserve(kTilesetFileBytes);
  AppendLe32(bytes, static_cast<uint32_t>(tileset.tile_count));
  bytes.insert(bytes.end(), tileset.palette.begin(), tileset.palette.end());
  bytes.insert(bytes.end(), tileset.tiles.begin(), tileset.tiles.end());
  return bytes;
}

std::string TilesetRefusalText(const TilesetRead& read, const std::string& path) {
  switch (read.status) {
    case TilesetStatus::kOk:
    case TilesetStatus::kNotFound:
    case TilesetStatus::kCannotOpen:
    case TilesetStatus::kCannotRead:
      break;
    case TilesetStatus::kWrongSize:
      return path + " is not a tileset file: " + PlainDecimal(read.size_bytes) + " bytes instead of " +
             PlainDecimal(kTilesetFileBytes);
    case TilesetStatus::kBadCount:
      return path + " is not a tileset file: tile count " + PlainDecimal(read.stored_count) +
             " outside 0 to " + PlainDecimal(kMaxTiles);
  }
  return "Can not read " + path;
}
