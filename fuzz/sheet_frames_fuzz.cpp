// Any options text and any small sheet through the sheet words' cores: the
// options parser never fails hard, the packing finds exactly the bands that
// hold a pen beyond the mode's, a masked data byte never sets a bit of its
// mask, and the source names every frame.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "fuzz/fuzz_support.h"
#include "toolkit/sheets/software_sprites.h"

namespace {

void Require(bool is_true) {
  if (!is_true) __builtin_trap();
}

constexpr size_t kHeaderBytes = 6;

// Header: mode, frame width in bytes, frame height, sheet width and height
// in frames plus a margin, flags; the option text follows the pens.
std::vector<std::string> OptionsOf(const uint8_t* data, size_t size, int mode) {
  const uint8_t flags = data[5];
  std::vector<std::string> options;
  if (flags & 1) options.push_back("--mask=" + std::to_string((flags >> 4) % (mode == 0 ? 17 : 5)));
  if (flags & 2) options.emplace_back("--mirror");
  if (flags & 4) options.push_back("--count=" + std::to_string(flags >> 3));
  if (flags & 8) options.emplace_back(reinterpret_cast<const char*>(data), size);
  return options;
}

void CheckBands(const Picture& sheet, const SheetCut& cut, const SheetOptions& options) {
  const int pens = cut.mode == 0 ? 16 : cut.mode == 1 ? 4 : 2;
  for (int64_t band = 0; band < SheetBandCount(cut); ++band) {
    std::vector<uint8_t> bytes(SheetBandBytes(cut, options, band));
    const uint8_t seen = PackSheetBand(sheet, cut, options, band, bytes.data());
    Require((seen >= pens) == BandPenRefusal(sheet, cut, band).has_value());
    if (!options.has_mask || seen >= pens) continue;
    for (size_t k = 0; k + 1 < bytes.size(); k += 2) Require((bytes[k] & bytes[k + 1]) == 0);
  }
  SourceText text =
      StartSource("s_spr.asm", SourceContent::kData, SourceSyntax::kWinApe, SourceOptions{true});
  DescribeSheet(text, {"s", "s.spr", cut, options}, {});
  size_t lines = 0;
  for (const char c : text.text) lines += c == '\n';
  const int64_t table_lines = (cut.frame_count + 7) / 8;
  Require(lines >= static_cast<size_t>(cut.frame_count + table_lines));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  SilenceConsole();
  if (size < kHeaderBytes) return 0;
  const int mode = data[0] % 3;
  const int width_px = (data[1] % 4 + 1) * (2 << mode);
  const int height = data[2] % 8 + 1;
  const int sheet_width = (data[3] % 4) * width_px + data[3] / 64;
  const int sheet_height = (data[4] % 4) * height + data[4] / 64;
  const Checked<SheetOptions> options = ReadSheetOptions(OptionsOf(data, size, mode), mode);
  if (!options || sheet_width <= 0 || sheet_height <= 0) return 0;
  std::vector<uint8_t> pens(static_cast<size_t>(sheet_width * sheet_height));
  for (size_t k = 0; k < pens.size() && kHeaderBytes + k < size; ++k) pens[k] = data[kHeaderBytes + k];
  const Picture sheet = PictureFromPens(sheet_width, sheet_height, pens.data());
  const Checked<SheetCut> cut = PlanSheetCut(sheet_width, sheet_height, mode, width_px, height, *options);
  if (cut) CheckBands(sheet, *cut, *options);
  return 0;
}
