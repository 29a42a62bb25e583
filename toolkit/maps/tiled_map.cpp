#include "toolkit/maps/tiled_map.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <pugixml.hpp>

#include "common/file_path.h"
#include "common/number_text.h"
#include "toolkit/maps/layer_data.h"

namespace {

using MapResult = Checked<TiledMap>;

// Groups inside groups are walked by recursion: a file nesting them deeper
// than any editor would is refused before the stack could run out.
constexpr int kMaxGroupDepth = 64;
constexpr int kMaxTileSide = 1024;
constexpr int kMaxMapSide = 65535;
// Flags take the top four bits of an id.
constexpr int64_t kMaxFirstGid = (int64_t{1} << 28) - 1;

// An integer attribute within [lowest, highest]. Absent, it is absent_value,
// or none when that is out of the range (a required attribute); anything but
// plain decimal digits (with an optional '-') is none.
std::optional<int64_t> NumberAttribute(const pugi::xml_node& node, const char* name, int64_t lowest,
                                       int64_t highest, int64_t absent_value) {
  const pugi::xml_attribute attribute = node.attribute(name);
  if (!attribute) {
    if (absent_value < lowest || absent_value > highest) return std::nullopt;
    return absent_value;
  }
  const char* text = attribute.value();
  if (*text == '\0' || std::strchr(text, ' ') != nullptr) return std::nullopt;
  char* end = nullptr;
  errno = 0;
  const long long value = std::strtoll(text, &end, 10);
  if (errno != 0 || *end != '\0' || value < lowest || value > highest) return std::nullopt;
  return value;
}

// A path a file names, as seen from the folder the program runs in.
std::string BesideFile(const std::string& naming_file, const std::string& named) {
  if (!named.empty() && named[0] == '/') return named;
  return FolderOf(naming_file) + named;
}

struct SizeField {
  const char* name;
  int lowest;
  int highest;
  int absent;
  int* target;
};

// Reads each field into its target; the name of the first that is missing or
// out of range otherwise.
std::optional<std::string> ReadSizes(const pugi::xml_node& node, std::span<const SizeField> fields) {
  for (const SizeField& field : fields) {
    const std::optional<int64_t> value =
        NumberAttribute(node, field.name, field.lowest, field.highest, field.absent);
    if (!value) return std::string(field.name);
    *field.target = static_cast<int>(*value);
  }
  return std::nullopt;
}

// The tileset's own fields from its <tileset> element (the map's, or the
// .tsx file's root); file is the file holding the element.
Refusal ReadTilesetElement(const pugi::xml_node& node, const std::string& file, TiledTileset& tileset) {
  tileset.name = node.attribute("name").value();
  tileset.file = file;
  const SizeField fields[] = {
      {"tilewidth", 1, kMaxTileSide, -1, &tileset.tile_width},
      {"tileheight", 1, kMaxTileSide, -1, &tileset.tile_height},
      {"spacing", 0, kMaxTileSide, 0, &tileset.spacing},
      {"margin", 0, kMaxTileSide, 0, &tileset.margin},
      {"tilecount", 0, INT32_MAX, 0, &tileset.tile_count},
      {"columns", 0, INT32_MAX, 0, &tileset.columns},
  };
  if (const std::optional<std::string> bad = ReadSizes(node, fields))
    return file + " : tileset " + tileset.name + " has no usable " + *bad;
  const pugi::xml_node image = node.child("image");
  if (!image) {
    if (node.find_child([](const pugi::xml_node& tile) { return tile.child("image"); }))
      return file + " : tileset " + tileset.name + " is a collection of images, not one tileset image";
    return file + " : tileset " + tileset.name + " has no image";
  }
  const std::string source = image.attribute("source").value();
  if (source.empty()) return file + " : tileset " + tileset.name + " has an image without a source";
  tileset.image_path = BesideFile(file, source);
  return std::nullopt;
}

constexpr unsigned kParseOptions = pugi::parse_default | pugi::parse_doctype;

// Parses xml into document, in place: the document's texts point into xml,
// which must outlive it. pugixml never reads anything but the buffer, and
// never expands an entity the document declares: a declaration is refused
// rather than left unexpanded.
Refusal ParseXml(std::span<uint8_t> xml, const std::string& file, pugi::xml_document& document) {
  const pugi::xml_parse_result parsed = document.load_buffer_inplace(xml.data(), xml.size(), kParseOptions);
  if (!parsed) {
    return file + " : malformed XML (" + parsed.description() + " at byte " +
           PlainDecimal(static_cast<int64_t>(parsed.offset)) + ")";
  }
  for (const pugi::xml_node& node : document.children()) {
    if (node.type() == pugi::node_doctype && std::strstr(node.value(), "ENTITY") != nullptr)
      return file + " : XML entity declarations are not read";
  }
  return std::nullopt;
}

Refusal ReadTileset(const pugi::xml_node& node, const std::string& map_path,
                    const TilesetFileReader& read_file, TiledTileset& tileset) {
  const std::optional<int64_t> first_gid = NumberAttribute(node, "firstgid", 1, kMaxFirstGid, -1);
  if (!first_gid || *first_gid < 1) return map_path + " : a tileset has no usable firstgid";
  tileset.first_gid = static_cast<uint32_t>(*first_gid);
  const std::string source = node.attribute("source").value();
  if (source.empty()) return ReadTilesetElement(node, map_path, tileset);
  const std::string tsx_path = BesideFile(map_path, source);
  Checked<std::vector<uint8_t>> bytes = read_file(tsx_path);
  if (!bytes) return bytes.refusal();
  pugi::xml_document document;
  if (Refusal bad = ParseXml(*bytes, tsx_path, document)) return bad;
  const pugi::xml_node root = document.child("tileset");
  if (!root) return tsx_path + " is not a Tiled tileset";
  return ReadTilesetElement(root, tsx_path, tileset);
}

LayerCompression CompressionOf(std::string_view name, bool& is_known) {
  is_known = true;
  if (name.empty()) return LayerCompression::kNone;
  if (name == "zlib") return LayerCompression::kZlib;
  if (name == "gzip") return LayerCompression::kGzip;
  if (name == "zstd") return LayerCompression::kZstd;
  is_known = false;
  return LayerCompression::kNone;
}

// The ids of <data> with one <tile gid=".."/> a cell (a missing gid is 0).
Checked<std::vector<uint32_t>> XmlTileCells(const pugi::xml_node& data, size_t cell_count) {
  using Result = Checked<std::vector<uint32_t>>;
  std::vector<uint32_t> cells;
  cells.reserve(cell_count);
  for (const pugi::xml_node& tile : data.children("tile")) {
    if (cells.size() == cell_count) return Result::Refused("holds more ids than the layer has cells");
    const std::optional<int64_t> gid = NumberAttribute(tile, "gid", 0, UINT32_MAX, 0);
    if (!gid) return Result::Refused("holds a tile whose gid is not a number below 2^32");
    cells.push_back(static_cast<uint32_t>(*gid));
  }
  if (cells.size() != cell_count) {
    return Result::Refused("holds " + PlainDecimal(static_cast<int64_t>(cells.size())) + " ids, not the " +
                           PlainDecimal(static_cast<int64_t>(cell_count)) + " cells of the layer");
  }
  return cells;
}

Checked<std::vector<uint32_t>> LayerCells(const pugi::xml_node& data, size_t cell_count) {
  using Result = Checked<std::vector<uint32_t>>;
  if (!data) return Result::Refused("is missing");
  if (data.child("chunk")) return Result::Refused("is in chunks, as only an infinite map has");
  const std::string encoding = data.attribute("encoding").value();
  const std::string compression_name = data.attribute("compression").value();
  bool is_known = false;
  const LayerCompression compression = CompressionOf(compression_name, is_known);
  if (!is_known) return Result::Refused("compression " + compression_name + " is not zlib, gzip or zstd");
  if (encoding.empty()) return XmlTileCells(data, cell_count);
  if (encoding == "csv") return DecodeCsvCells(data.text().get(), cell_count);
  if (encoding == "base64") return DecodeBase64Cells(data.text().get(), compression, cell_count);
  return Result::Refused("encoding " + encoding + " is not csv or base64");
}

struct LayerWalk {
  const std::string& map_path;
  size_t cell_count;
  std::vector<TiledLayer>& layers;
};

Refusal ReadLayers(const pugi::xml_node& parent, bool is_shown, int depth, const LayerWalk& walk) {
  if (depth > kMaxGroupDepth)
    return walk.map_path + " : groups nest deeper than " + PlainDecimal(kMaxGroupDepth);
  for (const pugi::xml_node& node : parent.children()) {
    const std::string_view kind = node.name();
    const bool is_visible = is_shown && std::strcmp(node.attribute("visible").as_string("1"), "0") != 0;
    if (kind == "group") {
      if (Refusal bad = ReadLayers(node, is_visible, depth + 1, walk)) return bad;
      continue;
    }
    if (kind != "layer") continue;
    TiledLayer layer;
    layer.name = node.attribute("name").value();
    layer.is_visible = is_visible;
    if (is_visible) {
      Checked<std::vector<uint32_t>> cells = LayerCells(node.child("data"), walk.cell_count);
      if (!cells) return walk.map_path + " : layer " + layer.name + " : data " + cells.refusal();
      layer.cells = std::move(*cells);
    }
    walk.layers.push_back(std::move(layer));
  }
  return std::nullopt;
}

Refusal ReadGrid(const pugi::xml_node& root, const std::string& map_path, TiledMap& map) {
  const std::string orientation = root.attribute("orientation").value();
  if (orientation != "orthogonal") return map_path + " is " + orientation + ", not orthogonal";
  if (std::strcmp(root.attribute("infinite").as_string("0"), "0") != 0) return map_path + " is infinite";
  const SizeField fields[] = {
      {"width", 1, kMaxMapSide, -1, &map.width},
      {"height", 1, kMaxMapSide, -1, &map.height},
      {"tilewidth", 1, kMaxTileSide, -1, &map.tile_width},
      {"tileheight", 1, kMaxTileSide, -1, &map.tile_height},
  };
  if (const std::optional<std::string> bad = ReadSizes(root, fields))
    return map_path + " : the map has no usable " + *bad;
  if (static_cast<size_t>(map.width) * static_cast<size_t>(map.height) > kMaxMapCells) {
    return map_path + " : " + PlainDecimal(map.width) + " x " + PlainDecimal(map.height) +
           " cells, more than the " + PlainDecimal(static_cast<int64_t>(kMaxMapCells)) + " a map may have";
  }
  return std::nullopt;
}

}  // namespace

Checked<TiledMap> ReadTiledMap(std::span<uint8_t> xml, const std::string& map_path,
                               const TilesetFileReader& read_file) {
  pugi::xml_document document;
  if (Refusal bad = ParseXml(xml, map_path, document)) return MapResult::Refused(*bad);
  const pugi::xml_node root = document.child("map");
  if (!root) return MapResult::Refused(map_path + " is not a Tiled map");
  TiledMap map;
  if (Refusal bad = ReadGrid(root, map_path, map)) return MapResult::Refused(*bad);
  for (const pugi::xml_node& node : root.children("tileset")) {
    TiledTileset tileset;
    if (Refusal bad = ReadTileset(node, map_path, read_file, tileset)) return MapResult::Refused(*bad);
    map.tilesets.push_back(std::move(tileset));
  }
  std::stable_sort(map.tilesets.begin(), map.tilesets.end(),
                   [](const TiledTileset& a, const TiledTileset& b) { return a.first_gid < b.first_gid; });
  const size_t cell_count = static_cast<size_t>(map.width) * static_cast<size_t>(map.height);
  if (Refusal bad = ReadLayers(root, true, 0, LayerWalk{map_path, cell_count, map.layers}))
    return MapResult::Refused(*bad);
  return map;
}
