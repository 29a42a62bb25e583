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

std::string WrongSizeText(const std::string& path, uint64_t size_bytes) {
  return path + " is not a tileset file: " + PlainDecimal(static_cast<int64_t>(size_bytes)) +
         " bytes instead of " + PlainDecimal(kTilesetFileBytes);
}

}  // namespace

Checked<Tileset> ParseTilesetBytes(std::span<const uint8_t> bytes, const std::string& path) {
  if (bytes.size() != kTilesetFileBytes) return Checked<Tileset>::Refused(WrongSizeText(path, bytes.size()));
  const int32_t stored_count = ReadSigned32(bytes.data() + kCountOffset);
  if (stored_count < 0 || stored_count > kMaxTiles) {
    return Checked<Tileset>::Refused(path + " is not a tileset file: tile count " +
                                     PlainDecimal(stored_count) + " outside 0 to " + PlainDecimal(kMaxTiles));
  }
  Tileset tileset;
  tileset.tile_count = stored_count;
  std::memcpy(tileset.palette.data(), bytes.data() + kPaletteOffset, kPaletteBytes);
  std::memcpy(tileset.tiles.data(), bytes.data() + kTilesOffset, tileset.tiles.size());
  return tileset;
}

Checked<std::optional<Tileset>> ReadTilesetFile(const std::string& path) {
  using Result = Checked<std::optional<Tileset>>;
  // Opened without waiting: a FIFO in the set's place is refused, not read.
  const Checked<InputFile> input = OpenInputFile(path);
  if (input.kind() == RefusalKind::kMissing) return std::optional<Tileset>();
  if (!input) return Result::Refused(CannotReadText(path));
  if (input->size_bytes != kTilesetFileBytes) return Result::Refused(WrongSizeText(path, input->size_bytes));
  // One byte more than a tileset holds, so that a file that grew since fstat shows.
  std::vector<uint8_t> bytes(kTilesetFileBytes + 1);
  const size_t got = std::fread(bytes.data(), 1, bytes.size(), input->file.get());
  if (std::ferror(input->file.get()) != 0) return Result::Refused("Can not read " + path);
  bytes.resize(got);
  Checked<Tileset> tileset = ParseTilesetBytes(bytes, path);
  if (!tileset) return Result::Refused(tileset.refusal());
  return std::optional<Tileset>(std::move(*tileset));
}

std::vector<uint8_t> TilesetFileBytes(const Tileset& tileset) {
  std::vector<uint8_t> bytes;
  bytes.reserve(kTilesetFileBytes);
  AppendLe32(bytes, static_cast<uint32_t>(tileset.tile_count));
  bytes.insert(bytes.end(), tileset.palette.begin(), tileset.palette.end());
  bytes.insert(bytes.end(), tileset.tiles.begin(), tileset.tiles.end());
  return bytes;
}
