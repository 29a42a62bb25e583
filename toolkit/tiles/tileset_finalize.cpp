#include "toolkit/tiles/tileset_finalize.h"

#include <cstring>
#include <memory>
#include <optional>

#include "common/cpc_pixels.h"
#include "common/image_io/picture_file.h"
#include "common/input_file.h"
#include "common/line_output.h"
#include "common/number_text.h"

namespace {

constexpr char kPrefix[] = "FinalizeTileset : ";
constexpr int kPixelWidth = kPreviewWidthPx / kTileWidthPx;  // mode 0 pixels are twice as wide as high

// The set's palette entries are blue, green, red, reserved, as in a BMP file.
Palette TilesetPalette(const Tileset& tileset) {
  Palette palette{};
  for (int k = 0; k < kPaletteEntries; ++k) {
    palette[k] = {tileset.palette[4 * k + 2], tileset.palette[4 * k + 1], tileset.palette[4 * k]};
  }
  return palette;
}

Refusal WritePreview(const Tileset& tileset, const std::string& path) {
  const std::vector<uint8_t> pens = PreviewPens(tileset);
  const Picture preview =
      PictureFromPens(kPreviewWidthPx, kPreviewHeightPx, pens.data(), TilesetPalette(tileset));
  if (const Refusal refused = WriteBmpPicture(preview, path)) return kPrefix + *refused;
  return std::nullopt;
}

}  // namespace

std::vector<uint8_t> EncodeCpcTiles(const Tileset& tileset) {
  std::vector<uint8_t> bytes;
  bytes.reserve(static_cast<size_t>(kTileSlots) * kCpcTileBytes);
  for (int slot = 0; slot < kTileSlots; ++slot) {
    const uint8_t* tile = tileset.Tile(slot);
    // The record keeps the bottom row first; the CPC draws from the top.
    for (int line = kTileHeightPx - 1; line >= 0; --line) {
      const uint8_t* pens = tile + line * kTileWidthPx;
      bytes.push_back(EncodeMode0Byte(pens[0], pens[1]));
      bytes.push_back(EncodeMode0Byte(pens[2], pens[3]));
    }
  }
  return bytes;
}

std::vector<uint8_t> PreviewPens(const Tileset& tileset) {
  std::vector<uint8_t> pens(static_cast<size_t>(kPreviewWidthPx) * kPreviewHeightPx);
  for (int slot = 0; slot < kTileSlots; ++slot) {
    for (int line = 0; line < kTileHeightPx; ++line) {
      const int row = slot * kTileHeightPx + (kTileHeightPx - 1 - line);
      for (int column = 0; column < kTileWidthPx; ++column) {
        const uint8_t pen = tileset.Tile(slot)[line * kTileWidthPx + column];
        for (int k = 0; k < kPixelWidth; ++k) {
          pens[static_cast<size_t>(row) * kPreviewWidthPx + column * kPixelWidth + k] = pen;
        }
      }
    }
  }
  return pens;
}

bool FinalizeTileset(const std::string& name) {
  const std::string tileset_path = name + ".set";
  const RefusalKind there = OpenInputFile(tileset_path).kind();
  if (there == RefusalKind::kMissing || there == RefusalKind::kCannotRead) {
    PrintLine(tileset_path + " tileset not found");
    return false;
  }
  const Checked<std::optional<Tileset>> read = ReadTilesetFile(tileset_path);
  if (!read || !*read) {
    PrintLine(read ? tileset_path + " tileset not found" : kPrefix + read.refusal());
    return false;
  }
  const Tileset& tileset = **read;
  PrintLine(SpacedDecimal(tileset.tile_count) + " tiles defined");
  PrintLine("Creating CPC tiles set...");
  // A tile file that can not be written does not stop the preview.
  const bool has_tiles = !WriteBinaryFile("tileset_" + name + ".til", EncodeCpcTiles(tileset));
  if (!has_tiles) PrintLine("can not open new tiles file");
  PrintLine("Creating PC tiles set");
  if (const Refusal refused = WritePreview(tileset, "tileset_" + name + ".bmp")) {
    PrintLine(*refused);
    return false;
  }
  PrintLine("job done !");
  return has_tiles;
}
