#include "toolkit/maps/tiled_map_conversion.h"

#include <algorithm>
#include <memory>
#include <optional>
#include <set>
#include <utility>

#include "common/file_path.h"
#include "common/assembler_label.h"
#include "common/image_io/picture_file.h"
#include "common/input_file.h"
#include "common/large_buffer.h"
#include "common/line_output.h"
#include "common/number_text.h"
#include "common/refusal.h"
#include "common/source_dialect.h"
#include "toolkit/maps/cpc_map_tiles.h"
#include "toolkit/maps/map_source.h"
#include "toolkit/maps/tiled_map.h"

namespace {

constexpr char kPrefix[] = "ConvertTiledMap : ";
constexpr uint64_t kMaxMapFileBytes = uint64_t{1} << 30;
constexpr uint64_t kMaxTilesetFileBytes = uint64_t{16} << 20;
constexpr size_t kByteCellTiles = 256;
// The preview holds one byte a pixel, as a decoded picture may.
constexpr uint64_t kMaxPreviewPixels = uint64_t{1} << 28;

// One binary output: where it goes and all of its bytes.
struct OutputBytes {
  std::string path;
  std::vector<uint8_t> bytes;
};

struct MapOptions {
  int mode = 0;
  bool is_by_columns = false;
  bool is_wide = false;
  bool has_preview = true;
};

Checked<MapOptions> ParseOptions(const std::vector<std::string>& options) {
  MapOptions parsed;
  for (const std::string& option : options) {
    const size_t equals = option.find('=');
    const std::string key = option.substr(0, equals);
    const std::string value = equals == std::string::npos ? "" : option.substr(equals + 1);
    const bool has_value = equals != std::string::npos;
    const bool is_bad = (key == "--wide" && has_value) ||
                        (key == "--mode" && value != "0" && value != "1" && value != "2") ||
                        (key == "--order" && value != "rows" && value != "columns") ||
                        (key == "--preview" && value != "no" && value != "yes");
    if (key != "--wide" && key != "--mode" && key != "--order" && key != "--preview")
      return Checked<MapOptions>::Refused("unknown option " + option);
    if (is_bad) return Checked<MapOptions>::Refused("bad value in " + option);
    if (key == "--wide") parsed.is_wide = true;
    if (key == "--mode") parsed.mode = value[0] - '0';
    if (key == "--order") parsed.is_by_columns = value == "columns";
    if (key == "--preview") parsed.has_preview = value == "yes";
  }
  return parsed;
}

Checked<std::vector<uint8_t>> ReadTilesetFile(const std::string& path) {
  Checked<std::vector<uint8_t>> input = ReadInputFile(path, kMaxTilesetFileBytes);
  if (input.kind() == RefusalKind::kTooLarge)
    return Checked<std::vector<uint8_t>>::Refused(path + " is too large for a tileset");
  return input;
}

std::string ColourText(const Rgb& colour) {
  return "#" + Hex(colour.red, 2) + Hex(colour.green, 2) + Hex(colour.blue, 2);
}

struct TilesetPictures {
  std::vector<Picture> pictures;
  Palette palette{};  // pen colours: the first picture's, then those of pens only later ones give
};

// Pens are pens: a pen that two pictures both give must be the same colour
// in both, or the map would not look as drawn.
Checked<TilesetPictures> LoadTilesetPictures(const TiledMap& map, int mode) {
  using Result = Checked<TilesetPictures>;
  TilesetPictures loaded;
  int pens_given = 0;
  for (const TiledTileset& tileset : map.tilesets) {
    Checked<PalettedPicture> picture = LoadPalettedPicture(tileset.image_path);
    if (!picture) return Result::Refused(picture.refusal());
    const int pens = std::min(picture->colours_used, ModePens(mode));
    for (int pen = 0; pen < std::min(pens, pens_given); ++pen) {
      if (picture->picture.palette[pen] == loaded.palette[pen]) continue;
      return Result::Refused(tileset.image_path + " : pen " + PlainDecimal(pen) + " is " +
                             ColourText(picture->picture.palette[pen]) + ", not " +
                             ColourText(loaded.palette[pen]) + " as in " + map.tilesets[0].image_path);
    }
    for (int pen = pens_given; pen < pens; ++pen) loaded.palette[pen] = picture->picture.palette[pen];
    pens_given = std::max(pens_given, pens);
    loaded.pictures.push_back(std::move(picture->picture));
  }
  return loaded;
}

// The file-name and label part of a layer's name.
std::string LayerPart(const std::string& layer_name) {
  const std::string part = LabelNamePart(layer_name);
  return part.empty() ? "layer" : part;
}

std::vector<uint8_t> MapBytes(const std::vector<uint16_t>& cells, int width, int height,
                              const MapOptions& option) {
  const size_t step = option.is_wide ? 2 : 1;
  std::vector<uint8_t> bytes;
  ReserveLarge(bytes, cells.size() * step);
  bytes.resize(cells.size() * step);
  if (!option.is_wide && !option.is_by_columns) {
    // The usual map, in one pass the compiler makes wide.
    for (size_t k = 0; k < cells.size(); ++k) bytes[k] = static_cast<uint8_t>(cells[k] & 0xFF);
    return bytes;
  }
  size_t at = 0;
  const int outer = option.is_by_columns ? width : height;
  const int inner = option.is_by_columns ? height : width;
  const size_t inner_stride = option.is_by_columns ? static_cast<size_t>(width) : 1;
  const size_t outer_stride = option.is_by_columns ? 1 : static_cast<size_t>(width);
  for (int a = 0; a < outer; ++a) {
    const uint16_t* cell = cells.data() + a * outer_stride;
    for (int b = 0; b < inner; ++b, cell += inner_stride, at += step) {
      bytes[at] = static_cast<uint8_t>(*cell & 0xFF);
      if (option.is_wide) bytes[at + 1] = static_cast<uint8_t>(*cell >> 8);
    }
  }
  return bytes;
}

struct Conversion {
  std::string map_path;
  std::string name;
  MapOptions option;
  SourceSyntax syntax = SourceSyntax::kWinApe;
  TiledMap map;
  CpcMapTiles tiles;
  Palette palette{};
};

// What the run writes: the tiles and maps and the preview (when asked for)
// in memory; the source files are written as they are made, from the tiles
// and maps.
struct Outputs {
  SourceNames source;
  std::vector<OutputBytes> binaries;
  std::vector<OutputBytes> preview;
};

std::string Path(const Conversion& run, const std::string& suffix) { return run.name + suffix; }

std::vector<OutputBytes> BinaryOutputs(const Conversion& run) {
  std::vector<OutputBytes> outputs;
  outputs.push_back({Path(run, "_tiles.bin"), run.tiles.tile_bytes});
  for (const CpcMapLayer& layer : run.tiles.layers) {
    outputs.push_back({Path(run, "_" + LayerPart(layer.name) + ".map"),
                       MapBytes(layer.cells, run.map.width, run.map.height, run.option)});
  }
  return outputs;
}

MapSource SourceOf(const Conversion& run, const std::vector<OutputBytes>& binaries) {
  const std::string label = LabelNamePart(run.name);
  MapSource source{Path(run, ".asm"),
                   NameOf(run.name),
                   label,
                   run.option.mode,
                   static_cast<int64_t>(run.tiles.tile_count),
                   run.tiles.tile_width_bytes,
                   run.tiles.tile_height,
                   run.map.width,
                   run.map.height,
                   run.option.is_wide,
                   run.option.is_by_columns,
                   {label + "_tiles", binaries[0].bytes},
                   {}};
  for (size_t k = 0; k < run.tiles.layers.size(); ++k)
    source.maps.push_back({label + "_layer_" + LayerPart(run.tiles.layers[k].name), binaries[k + 1].bytes});
  return source;
}

// The failure's text when the preview can not be made.
Checked<Outputs> BuildOutputs(const Conversion& run) {
  Outputs outputs;
  outputs.source = SourceOutputNames(Path(run, ".asm"), SourceContent::kData, run.syntax);
  outputs.binaries = BinaryOutputs(run);
  if (!run.option.has_preview) return outputs;
  const Picture picture = DrawMapPicture(run.tiles, run.map.width, run.map.height, run.palette);
  // Each CPC pixel drawn in its shape on the monitor, as the ink words' previews.
  const int scale_x = run.option.mode == 0 ? 4 : run.option.mode == 1 ? 2 : 1;
  Checked<std::vector<uint8_t>> png = EncodeScaledPngPicture(picture, scale_x, 2);
  const std::string preview_path = Path(run, "_preview.png");
  if (!png) return Checked<Outputs>::Refused(CannotWriteText(preview_path));
  outputs.preview.push_back({preview_path, std::move(*png)});
  return outputs;
}

std::vector<std::string> OutputPaths(const Outputs& outputs) {
  std::vector<std::string> paths;
  for (const OutputBytes& output : outputs.binaries) paths.push_back(output.path);
  paths.push_back(outputs.source.source_path);
  if (!outputs.source.header_path.empty()) paths.push_back(outputs.source.header_path);
  for (const OutputBytes& output : outputs.preview) paths.push_back(output.path);
  return paths;
}

// Every file goes aside first, the source as it is made, and all join one
// group: every output is replaced, or none.
Refusal WriteOutputs(const Conversion& run, const Outputs& outputs) {
  std::vector<std::unique_ptr<AsideFile>> files;
  files.push_back(std::make_unique<AsideFile>(outputs.source.source_path));
  const std::vector<SourceFile> header =
      WriteMapSource(SourceOf(run, outputs.binaries), run.syntax, *files[0]);
  for (const SourceFile& file : header) {
    files.push_back(std::make_unique<AsideFile>(file.path));
    files.back()->Write(std::string_view(file.text));
  }
  for (const std::vector<OutputBytes>* group : {&outputs.binaries, &outputs.preview}) {
    for (const OutputBytes& output : *group) {
      files.push_back(std::make_unique<AsideFile>(output.path));
      files.back()->Write(output.bytes);
    }
  }
  std::vector<AsideFile*> group;
  for (const std::unique_ptr<AsideFile>& file : files) group.push_back(file.get());
  return WriteSourceFiles({}, group);
}

// Two layers whose names make the same file part would write one file twice.
Refusal CheckLayerNames(const Conversion& run) {
  std::set<std::string> parts;
  for (const TiledLayer& layer : run.map.layers) {
    if (!layer.is_visible) continue;
    if (!parts.insert(LayerPart(layer.name)).second) {
      return run.map_path + " : two visible layers make " + Path(run, "_" + LayerPart(layer.name) + ".map") +
             " : rename one in Tiled";
    }
  }
  if (parts.empty()) return run.map_path + " has no visible tile layer";
  return std::nullopt;
}

Refusal CheckTileCount(const Conversion& run) {
  const size_t count = run.tiles.tile_count;
  if (!run.option.is_wide && count > kByteCellTiles) {
    return PlainDecimal(static_cast<int64_t>(count)) + " distinct tiles, more than the " +
           PlainDecimal(kByteCellTiles) + " one byte a cell can number : --wide gives two bytes a cell";
  }
  return std::nullopt;
}

Refusal CheckPreviewSize(const Conversion& run) {
  if (!run.option.has_preview) return std::nullopt;
  const int scale_x = run.option.mode == 0 ? 4 : run.option.mode == 1 ? 2 : 1;
  const uint64_t pixels = uint64_t{static_cast<uint32_t>(run.map.width * run.map.tile_width)} * scale_x *
                          static_cast<uint32_t>(run.map.height * run.map.tile_height) * 2;
  if (pixels <= kMaxPreviewPixels) return std::nullopt;
  return "the preview of " + run.map_path + " would have " + PlainDecimal(static_cast<int64_t>(pixels)) +
         " pixels, more than " + PlainDecimal(static_cast<int64_t>(kMaxPreviewPixels)) + " : --preview=no";
}

// No output may replace the map, a tileset file or a tileset picture.
Refusal CheckOutputsApart(const Conversion& run, const std::vector<std::string>& outputs) {
  std::vector<std::string> inputs{run.map_path};
  for (const TiledTileset& tileset : run.map.tilesets) {
    inputs.push_back(tileset.file);
    inputs.push_back(tileset.image_path);
  }
  for (const std::string& output : outputs) {
    for (const std::string& input : inputs) {
      if (IsSameFile(input, output)) return output + " would replace the input " + input;
    }
  }
  return std::nullopt;
}

Checked<TiledMap> LoadMap(const std::string& map_path) {
  Checked<std::vector<uint8_t>> input = ReadInputFile(map_path, kMaxMapFileBytes);
  if (input.kind() == RefusalKind::kTooLarge)
    return Checked<TiledMap>::Refused(map_path + " is too large for a map");
  if (!input) return Checked<TiledMap>::Refused(input);
  return ReadTiledMap(*input, map_path, ReadTilesetFile);
}

// Reads and checks every input, and builds the tiles and maps.
Refusal Prepare(Conversion& run) {
  if (run.name.empty()) return "the output name is empty";
  if (Refusal bad = SourceNameRefusal(Path(run, ".asm"), SourceContent::kData, run.syntax)) return bad;
  Checked<TiledMap> map = LoadMap(run.map_path);
  if (!map) return map.refusal();
  run.map = std::move(*map);
  if (Refusal bad = CheckLayerNames(run)) return bad;
  if (Refusal bad = CheckPreviewSize(run)) return bad;
  Checked<TilesetPictures> pictures = LoadTilesetPictures(run.map, run.option.mode);
  if (!pictures) return pictures.refusal();
  run.palette = pictures->palette;
  Checked<CpcMapTiles> tiles = BuildCpcMapTiles(run.map, pictures->pictures, run.option.mode);
  if (!tiles) return run.map_path + " : " + tiles.refusal();
  run.tiles = std::move(*tiles);
  return CheckTileCount(run);
}

void PrintSummary(const Conversion& run, const std::vector<std::string>& outputs) {
  PrintLine(kPrefix + ("map " + run.map_path + " : " + PlainDecimal(run.map.width) + " x " +
                       PlainDecimal(run.map.height) + " cells of " + PlainDecimal(run.map.tile_width) +
                       " x " + PlainDecimal(run.map.tile_height) + " pixels, " +
                       PlainDecimal(static_cast<int64_t>(run.map.tilesets.size())) +
                       (run.map.tilesets.size() == 1 ? " tileset" : " tilesets")));
  for (const TiledLayer& layer : run.map.layers) {
    if (!layer.is_visible) PrintLine(kPrefix + ("layer " + layer.name + " is hidden : passed over"));
  }
  PrintLine(kPrefix +
            (PlainDecimal(static_cast<int64_t>(run.tiles.tile_count)) + " mode " +
             PlainDecimal(run.option.mode) + " tiles of " + PlainDecimal(run.tiles.tile_width_bytes) + " x " +
             PlainDecimal(run.tiles.tile_height) + " bytes, tile 0 blank"));
  std::string written;
  for (const std::string& output : outputs) written += (written.empty() ? "" : ", ") + output;
  PrintLine(kPrefix + ("wrote " + written));
}

}  // namespace

bool ConvertTiledMap(const std::string& map_path, const std::string& name,
                     const std::vector<std::string>& options) {
  auto refuse = [](const std::string& text) {
    PrintLine(kPrefix + text);
    return false;
  };
  KeepFreedMemory();
  const Checked<MapOptions> parsed = ParseOptions(options);
  if (!parsed) return refuse(parsed.refusal());
  Conversion run{map_path, name, *parsed, ChosenSyntax(), {}, {}, {}};
  if (Refusal bad = Prepare(run)) return refuse(*bad);
  const Checked<Outputs> outputs = BuildOutputs(run);
  if (!outputs) return refuse(outputs.refusal());
  const std::vector<std::string> paths = OutputPaths(*outputs);
  if (Refusal bad = CheckOutputsApart(run, paths)) return refuse(*bad);
  if (Refusal bad = WriteOutputs(run, *outputs)) return refuse(*bad);
  PrintSummary(run, paths);
  return true;
}
