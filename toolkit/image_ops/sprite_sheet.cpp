#include "toolkit/image_ops/sprite_sheet.h"

#include <array>
#include <cstdint>
#include <cstring>

#include "common/line_output.h"
#include "common/number_text.h"
#include "common/image_io/bmp_file.h"
#include "toolkit/source_image.h"

namespace {

constexpr char kPrefix[] = "SplitSprite : ";
constexpr int kPaletteEntries = 256;
// The CPC+ hardware sprites, and so the sprite commands, work on 16 x 16 pixels.
constexpr int kCellSide = 16;
using CellPens = std::array<uint8_t, kCellSide * kCellSide>;

// The pens of cell (column, row), row 0 of the cell first, every index kept.
CellPens CutSpriteCell(const PixelView& pixels, int column, int row) {
  CellPens pens{};
  for (int y = 0; y < kCellSide; ++y) {
    const uint8_t* source_row = pixels.Row(row * kCellSide + y) + column * kCellSide;
    std::memcpy(pens.data() + y * kCellSide, source_row, kCellSide);
  }
  return pens;
}

// Copies the cell into FreeImage's bottom-up scan lines (the cell's top row
// is the last scan line), so the saved file shows it upright without a flip.
void FillCell(FIBITMAP* cell_image, const CellPens& pens) {
  for (int y = 0; y < kCellSide; ++y) {
    BYTE* line = FreeImage_GetScanLine(cell_image, kCellSide - 1 - y);
    std::memcpy(line, pens.data() + y * kCellSide, kCellSide);
  }
}

// One work image for the whole run, 8 bits, carrying all 256 sheet colours so
// a cell keeps the pens above 15 the artist may have used.
ImagePtr MakeCellImage(const RGBQUAD* sheet_palette) {
  ImagePtr cell_image(FreeImage_Allocate(kCellSide, kCellSide, 8, 0xFF0000, 0x00FF00, 0x0000FF));
  if (!cell_image) {
    PrintLine(std::string(kPrefix) + "can not create new image");
    return nullptr;
  }
  if (FreeImage_GetBits(cell_image.get()) == nullptr) {
    PrintLine(std::string(kPrefix) + "can not access new image data");
    return nullptr;
  }
  RGBQUAD* cell_palette = FreeImage_GetPalette(cell_image.get());
  if (cell_palette == nullptr) {
    PrintLine(std::string(kPrefix) + "can not access new palette");
    return nullptr;
  }
  std::memcpy(cell_palette, sheet_palette, sizeof(RGBQUAD) * kPaletteEntries);
  return cell_image;
}

bool SaveCell(FIBITMAP* cell_image, const std::string& file_name) {
  PrintLine(kPrefix + ("Saving " + file_name));
  const WriteStatus status = WriteBmpFile(cell_image, file_name);
  if (status != WriteStatus::kOk) {
    PrintLine(kPrefix + WriteFailureText(status, file_name));
    return false;
  }
  return true;
}

}  // namespace

std::string SplitSpriteFileName(const std::string& name, int column, int row) {
  return "split_" + name + Hex(static_cast<uint64_t>(column)) + "-" + Hex(static_cast<uint64_t>(row)) +
         ".bmp";
}

bool SplitSprite(const std::string& source_path, const std::string& name) {
  PrintLine(kPrefix + source_path);
  const std::optional<SourceImage> sheet = LoadSourceImage(source_path, kCellSide);
  if (!sheet) return false;
  const RGBQUAD* sheet_palette = FreeImage_GetPalette(sheet->image.get());
  if (sheet_palette == nullptr) {
    PrintLine("can not access image palette !");
    return false;
  }
  const int columns = sheet->pixels.width / kCellSide;
  const int rows = sheet->pixels.height / kCellSide;
  PrintLine(kPrefix + ("Processing " + SpacedDecimal(static_cast<int64_t>(columns) * rows) + " sprites"));
  const ImagePtr cell_image = MakeCellImage(sheet_palette);
  if (!cell_image) return false;
  bool is_all_saved = true;
  for (int r = 0; r < rows; ++r) {
    for (int c = 0; c < columns; ++c) {
      FillCell(cell_image.get(), CutSpriteCell(sheet->pixels, c, r));
      is_all_saved = SaveCell(cell_image.get(), SplitSpriteFileName(name, c, r)) && is_all_saved;
    }
  }
  return is_all_saved;
}
