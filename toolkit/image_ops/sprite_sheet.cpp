#include "toolkit/image_ops/sprite_sheet.h"

#include <array>
#include <cstdint>
#include <cstring>
#include <optional>
#include <vector>

#include "common/image_io/picture_file.h"
#include "common/line_output.h"
#include "common/number_text.h"
#include "common/refusal.h"
#include "toolkit/source_image.h"

namespace {

constexpr char kPrefix[] = "SplitSprite : ";
constexpr int kCellSide = kSpriteSide;
using CellPens = std::array<uint8_t, kCellSide * kCellSide>;

// The pens of cell (column, row), row 0 of the cell first, every index kept.
CellPens CutSpriteCell(const Picture& pixels, int column, int row) {
  CellPens pens{};
  for (int y = 0; y < kCellSide; ++y) {
    const uint8_t* source_row = pixels.Row(row * kCellSide + y) + column * kCellSide;
    std::memcpy(pens.data() + y * kCellSide, source_row, kCellSide);
  }
  return pens;
}

// The BMP file of a cell, made once through FreeImage: its headers and
// palette are the same for every cell of a sheet, so each cell then only puts
// its own 256 pens in place (a million-cell sheet would otherwise run the
// library's writer a million times).
struct CellFile {
  std::vector<uint8_t> bytes;
  size_t pixels_at = 0;  // where the scan lines start, bottom line first
};

// The BMP file of a cell of pen 0 with the sheet's palette, refused when it is
// not the plain headers + palette + 16 x 16 bytes layout the cells are filled into.
Checked<CellFile> MakeCellFile(const Palette& sheet_palette) {
  constexpr size_t kPixelOffsetField = 10;  // the BMP file header's offset to the pixels
  const Checked<CellFile> refused = Checked<CellFile>::Refused("can not create new image");
  const CellPens blank{};
  Checked<std::vector<uint8_t>> bytes =
      EncodeBmpPicture(PictureFromPens(kCellSide, kCellSide, blank.data(), sheet_palette));
  if (!bytes || bytes->size() < kPixelOffsetField + 4) return refused;
  const size_t pixels_at = ReadLe32(bytes->data() + kPixelOffsetField);
  if (pixels_at > bytes->size() || bytes->size() - pixels_at != sizeof(CellPens)) return refused;
  return CellFile{std::move(*bytes), pixels_at};
}

// Puts the cell's rows in the file, its top row last as BMP keeps scan lines
// bottom-up, so the saved file shows it upright.
void FillCellFile(CellFile& file, const CellPens& pens) {
  for (int y = 0; y < kCellSide; ++y) {
    std::memcpy(file.bytes.data() + file.pixels_at + (kCellSide - 1 - y) * kCellSide,
                pens.data() + y * kCellSide, kCellSide);
  }
}

Refusal SaveCell(const CellFile& file, const std::string& file_name) {
  return WriteBinaryFile(file_name, file.bytes);
}

}  // namespace

std::string SplitSpriteFileName(const std::string& name, int column, int row) {
  return "split_" + name + Hex(static_cast<uint64_t>(column)) + "-" + Hex(static_cast<uint64_t>(row)) +
         ".bmp";
}

bool SplitSprite(const std::string& source_path, const std::string& name) {
  PrintLine(kPrefix + source_path);
  const std::optional<Picture> sheet = LoadSourceImage(source_path, kCellSide);
  if (!sheet) return false;
  const int columns = sheet->width / kCellSide;
  const int rows = sheet->height / kCellSide;
  PrintLine(kPrefix + ("Processing " + SpacedDecimal(static_cast<int64_t>(columns) * rows) + " sprites"));
  Checked<CellFile> cell_file = MakeCellFile(sheet->palette);
  if (!cell_file) {
    PrintLine(kPrefix + cell_file.refusal());
    return false;
  }
  bool is_all_saved = true;
  for (int r = 0; r < rows; ++r) {
    for (int c = 0; c < columns; ++c) {
      FillCellFile(*cell_file, CutSpriteCell(*sheet, c, r));
      const std::string file_name = SplitSpriteFileName(name, c, r);
      PrintLine(kPrefix + ("Saving " + file_name));
      if (const Refusal refused = SaveCell(*cell_file, file_name)) {
        PrintLine(kPrefix + *refused);
        is_all_saved = false;
      }
    }
  }
  return is_all_saved;
}
