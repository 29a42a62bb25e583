#include "toolkit/maps/map_source.h"

#include <algorithm>

#include "common/number_text.h"

namespace {

std::string Equate(const std::string& label, const char* what, int64_t value) {
  return label + "_" + what + " equ " + PlainDecimal(value);
}

constexpr size_t kBytesPerLine = 16;

// " db #12,#34,...": hex text of every byte value made once, as a large
// level's source holds millions of them.
void AppendDataLines(std::span<const uint8_t> bytes, std::vector<std::string>& lines) {
  static const std::vector<std::string> kByteText = [] {
    std::vector<std::string> texts;
    for (int value = 0; value < 256; ++value) texts.push_back("#" + Hex(static_cast<uint64_t>(value), 2));
    return texts;
  }();
  for (size_t start = 0; start < bytes.size(); start += kBytesPerLine) {
    std::string line = " db ";
    const size_t end = std::min(bytes.size(), start + kBytesPerLine);
    for (size_t k = start; k < end; ++k) {
      if (k != start) line += ',';
      line += kByteText[bytes[k]];
    }
    lines.push_back(std::move(line));
  }
}

}  // namespace

std::vector<std::string> MapSourceLines(const MapSource& source) {
  const std::string& label = source.label;
  std::vector<std::string> lines;
  lines.push_back("; " + source.title + " : " + PlainDecimal(source.tile_count) + " mode " +
                  PlainDecimal(source.mode) + " tiles of " + PlainDecimal(source.tile_width_bytes) + " x " +
                  PlainDecimal(source.tile_height) + " bytes, rows from the top (gravik tmx)");
  lines.push_back("; maps of " + PlainDecimal(source.map_width) + " x " + PlainDecimal(source.map_height) +
                  " cells, " + (source.is_wide ? "two bytes a cell (low byte first)" : "one byte a cell") +
                  ", " + (source.is_by_columns ? "columns from the left" : "rows from the top") +
                  "; tile 0 is blank");
  lines.push_back(Equate(label, "tile_count", source.tile_count));
  lines.push_back(Equate(label, "tile_width", source.tile_width_bytes));
  lines.push_back(Equate(label, "tile_height", source.tile_height));
  lines.push_back(Equate(label, "map_width", source.map_width));
  lines.push_back(Equate(label, "map_height", source.map_height));
  lines.push_back(source.tiles.label + ":");
  AppendDataLines(source.tiles.bytes, lines);
  for (const MapSourceData& map : source.maps) {
    lines.push_back(map.label + ":");
    AppendDataLines(map.bytes, lines);
  }
  return lines;
}
