#include "toolkit/maps/map_source.h"

#include <algorithm>

#include "common/number_text.h"

namespace {

void AddData(SourceText& text, const MapSourceData& data) {
  OpenArray(text, data.label);
  AddBytes(text, data.bytes);
  CloseArray(text);
}

}  // namespace

std::vector<SourceFile> WriteMapSource(const MapSource& source, SourceSyntax syntax, AsideFile& file) {
  SourceText text = StartSource(source.asm_path, SourceContent::kData, syntax, SourceOptions{true});
  // Megabytes of array text: handed to file in pieces as it is made, never held whole.
  StreamSource(text, file);
  AddComment(text, " " + source.title + " : " + PlainDecimal(source.tile_count) + " mode " +
                       PlainDecimal(source.mode) + " tiles of " + PlainDecimal(source.tile_width_bytes) +
                       " x " + PlainDecimal(source.tile_height) + " bytes, rows from the top (gravik tmx)");
  AddComment(text, " maps of " + PlainDecimal(source.map_width) + " x " + PlainDecimal(source.map_height) +
                       " cells, " +
                       (source.is_wide ? "two bytes a cell (low byte first)" : "one byte a cell") + ", " +
                       (source.is_by_columns ? "columns from the left" : "rows from the top") +
                       "; tile 0 is blank");
  const std::string& label = source.label;
  AddEquate(text, label + "_TILE_COUNT", source.tile_count);
  AddEquate(text, label + "_TILE_WIDTH", source.tile_width_bytes);
  AddEquate(text, label + "_TILE_HEIGHT", source.tile_height);
  AddEquate(text, label + "_MAP_WIDTH", source.map_width);
  AddEquate(text, label + "_MAP_HEIGHT", source.map_height);
  AddData(text, source.tiles);
  for (const MapSourceData& map : source.maps) AddData(text, map);
  return FinishSource(text);
}
