#include "toolkit/image_ops/sprite_sheet.h"

#include <array>
#include <cstdint>
#include <cstring>

#include "common/line_output.h"
#include "common/number_text.h"
#include "common/image_io/picture_file.h"
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

// One 16 x 16 picture a cell, carrying all 256 sheet colours so a cell keeps
// the pens above 15 the artist may have used.
Picture CellPicture(const CellPens& pens, const Palette& sheet_palette) {
  return PictureFromPens(kCellSide, kCellSide, pens.data(), sheet_palette);
}

bool SaveCell(const Picture& cell, const std::string& file_name) {
  PrintLine(kPrefix + ("Saving " + file_name));
  const WriteStatus status = WriteBmpPicture(cell, file_name);
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
  const std::optional<Picture> sheet = LoadSourceImage(source_path, kCellSide);
  if (!sheet) return false;
  const int columns = sheet->width / kCellSide;
  const int rows = sheet->height / kCellSide;
  PrintLine(kPrefix + ("Processing " + SpacedDecimal(static_cast<int64_t>(columns) * rows) + " sprites"));
  bool is_all_saved = true;
  for (int r = 0; r < rows; ++r) {
    for (int c = 0; c < columns; ++c) {
      const Picture cell = CellPicture(CutSpriteCell(*sheet, c, r), sheet->palette);
      is_all_saved = SaveCell(cell, SplitSpriteFileName(name, c, r)) && is_all_saved;
    }
  }
  return is_all_saved;
}
