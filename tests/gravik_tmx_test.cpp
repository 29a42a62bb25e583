// gravik tmx on maps that Tiled 1.8 itself writes: each map is made in
// Tiled's JSON form, turned into TMX by `tiled --export-map` in every layer
// form, and rendered by tmxrasterizer. The render, our preview scaled back and
// the picture rebuilt from NAME_tiles.bin and the maps by a decoder of the
// test's own must be the same pixels.
#include <gtest/gtest.h>
#include <zlib.h>
#include <zstd.h>

#include <array>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "tests/asm_check.h"
#include "tests/sdcc_check.h"
#include "tests/test_support.h"

namespace {

constexpr uint32_t kH = 0x80000000u;
constexpr uint32_t kV = 0x40000000u;
constexpr uint32_t kD = 0x20000000u;

// A tool the test needs, found on PATH; empty when missing (the test then fails).
std::string FindTool(const std::string& name) {
  const char* path = std::getenv("PATH");
  std::string folders = path ? path : "";
  size_t start = 0;
  while (start <= folders.size()) {
    const size_t colon = std::min(folders.find(':', start), folders.size());
    const std::filesystem::path candidate =
        std::filesystem::path(folders.substr(start, colon - start)) / name;
    if (access(candidate.c_str(), X_OK) == 0) return candidate.string();
    start = colon + 1;
  }
  return "";
}

// Tiled is a Qt program: headless, it needs the offscreen platform.
RunResult RunTiledTool(const std::string& tool, const std::vector<std::string>& args, const TempDir& dir) {
  setenv("QT_QPA_PLATFORM", "offscreen", 1);
  const std::string path = FindTool(tool);
  EXPECT_FALSE(path.empty()) << tool << " is not on PATH (Debian package tiled)";
  if (path.empty()) return {};
  return RunProgram(path, args, dir.path());
}

std::vector<PaletteEntry> MapPalette() {
  std::vector<PaletteEntry> palette;
  for (int pen = 0; pen < 16; ++pen)
    palette.push_back({static_cast<uint8_t>(pen * 17), static_cast<uint8_t>(255 - pen * 13),
                       static_cast<uint8_t>((pen * 89) & 0xFF)});
  return palette;
}

bool WritePalettedPng(const std::string& path, int width, int height, const std::vector<uint8_t>& pens,
                      const std::vector<PaletteEntry>& palette = MapPalette()) {
  const ImagePtr image(FreeImage_Allocate(width, height, 8));
  RGBQUAD* entries = FreeImage_GetPalette(image.get());
  for (size_t k = 0; k < 256; ++k) {
    const PaletteEntry e = k < palette.size() ? palette[k] : PaletteEntry{};
    entries[k] = {e.blue, e.green, e.red, 0};
  }
  for (int y = 0; y < height; ++y) {
    std::copy_n(pens.data() + static_cast<size_t>(y) * width, width,
                FreeImage_GetScanLine(image.get(), height - 1 - y));
  }
  return FreeImage_Save(FIF_PNG, image.get(), path.c_str(), 0) != 0;
}

// A tileset picture: `tiles` (w x h pens each) laid out in `columns` with
// margin and spacing, the gaps in pen 1 so that a wrong cut shows.
struct SheetSpec {
  int tile_w = 8;
  int tile_h = 8;
  int columns = 4;
  int margin = 0;
  int spacing = 0;
  std::vector<std::vector<uint8_t>> tiles;
  int Rows() const { return (static_cast<int>(tiles.size()) + columns - 1) / columns; }
  int Width() const { return 2 * margin + columns * tile_w + (columns - 1) * spacing; }
  int Height() const { return 2 * margin + Rows() * tile_h + (Rows() - 1) * spacing; }
};

bool WriteSheet(const std::string& path, const SheetSpec& sheet) {
  std::vector<uint8_t> pens(static_cast<size_t>(sheet.Width()) * sheet.Height(), 1);
  for (size_t t = 0; t < sheet.tiles.size(); ++t) {
    const int left = sheet.margin + static_cast<int>(t) % sheet.columns * (sheet.tile_w + sheet.spacing);
    const int top = sheet.margin + static_cast<int>(t) / sheet.columns * (sheet.tile_h + sheet.spacing);
    for (int y = 0; y < sheet.tile_h; ++y)
      for (int x = 0; x < sheet.tile_w; ++x)
        pens[static_cast<size_t>(top + y) * sheet.Width() + left + x] = sheet.tiles[t][y * sheet.tile_w + x];
  }
  return WritePalettedPng(path, sheet.Width(), sheet.Height(), pens);
}

std::string N(int64_t value) { return std::to_string(value); }

std::string TilesetFields(const std::string& name, const std::string& image, const SheetSpec& s) {
  return "\"name\":\"" + name + "\",\"tilewidth\":" + N(s.tile_w) + ",\"tileheight\":" + N(s.tile_h) +
         ",\"tilecount\":" + N(static_cast<int64_t>(s.tiles.size())) + ",\"columns\":" + N(s.columns) +
         ",\"margin\":" + N(s.margin) + ",\"spacing\":" + N(s.spacing) + ",\"image\":\"" + image +
         "\",\"imagewidth\":" + N(s.Width()) + ",\"imageheight\":" + N(s.Height());
}

std::string Base64(const std::vector<uint8_t>& bytes) {
  static const char kDigits[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  std::string text;
  for (size_t k = 0; k < bytes.size(); k += 3) {
    const size_t n = std::min<size_t>(3, bytes.size() - k);
    const uint32_t group =
        static_cast<uint32_t>(bytes[k] << 16 | (n > 1 ? bytes[k + 1] << 8 : 0) | (n > 2 ? bytes[k + 2] : 0));
    text += kDigits[group >> 18 & 63];
    text += kDigits[group >> 12 & 63];
    text += n > 1 ? kDigits[group >> 6 & 63] : '=';
    text += n > 2 ? kDigits[group & 63] : '=';
  }
  return text;
}

std::vector<uint8_t> Deflate(const std::vector<uint8_t>& bytes, int window_bits) {
  z_stream stream{};
  deflateInit2(&stream, 9, Z_DEFLATED, window_bits, 8, Z_DEFAULT_STRATEGY);
  std::vector<uint8_t> out(deflateBound(&stream, bytes.size()) + 32);
  stream.next_in = const_cast<Bytef*>(bytes.data());
  stream.avail_in = static_cast<uInt>(bytes.size());
  stream.next_out = out.data();
  stream.avail_out = static_cast<uInt>(out.size());
  deflate(&stream, Z_FINISH);
  out.resize(stream.total_out);
  deflateEnd(&stream);
  return out;
}

// A layer's "encoding", "compression" and "data" in Tiled's JSON for form
// csv, base64, zlib, gzip or zstd.
std::string LayerData(const std::vector<uint32_t>& gids, const std::string& form) {
  if (form == "csv") {
    std::string list;
    for (const uint32_t gid : gids) list += (list.empty() ? "" : ",") + N(gid);
    return "\"encoding\":\"csv\",\"data\":[" + list + "]";
  }
  std::vector<uint8_t> bytes;
  for (const uint32_t gid : gids)
    for (int b = 0; b < 4; ++b) bytes.push_back(static_cast<uint8_t>(gid >> (8 * b)));
  if (form == "zlib") bytes = Deflate(bytes, 15);
  if (form == "gzip") bytes = Deflate(bytes, 15 + 16);
  if (form == "zstd") {
    std::vector<uint8_t> packed(ZSTD_compressBound(bytes.size()));
    packed.resize(ZSTD_compress(packed.data(), packed.size(), bytes.data(), bytes.size(), 3));
    bytes = packed;
  }
  const std::string compression = form == "base64" ? "" : form;
  return "\"encoding\":\"base64\",\"compression\":\"" + compression + "\",\"data\":\"" + Base64(bytes) + "\"";
}

struct Grid {
  int width = 0;
  int height = 0;
};

std::string TileLayer(const std::string& name, const Grid& grid, const std::vector<uint32_t>& gids,
                      const std::string& form, bool is_visible = true) {
  static int id = 100;
  return "{\"type\":\"tilelayer\",\"id\":" + N(++id) + ",\"name\":\"" + name +
         "\",\"width\":" + N(grid.width) + ",\"height\":" + N(grid.height) +
         ",\"x\":0,\"y\":0,\"opacity\":1,\"visible\":" + (is_visible ? "true" : "false") + "," +
         LayerData(gids, form) + "}";
}

std::string MapJson(const Grid& grid, int tile_w, int tile_h, const std::vector<std::string>& layers,
                    const std::vector<std::string>& tilesets) {
  std::string layer_list;
  for (const std::string& layer : layers) layer_list += (layer_list.empty() ? "" : ",") + layer;
  std::string set_list;
  for (const std::string& set : tilesets) set_list += (set_list.empty() ? "" : ",") + set;
  return "{\"type\":\"map\",\"version\":\"1.8\",\"tiledversion\":\"1.8.2\",\"orientation\":\"orthogonal\","
         "\"renderorder\":\"right-down\",\"width\":" +
         N(grid.width) + ",\"height\":" + N(grid.height) + ",\"tilewidth\":" + N(tile_w) +
         ",\"tileheight\":" + N(tile_h) +
         ",\"infinite\":false,\"nextlayerid\":500,\"nextobjectid\":1,\"layers\":[" + layer_list +
         "],\"tilesets\":[" + set_list + "]}";
}

// Tiled's own TMX of json, in map.tmx.
bool ExportWithTiled(const TempDir& dir, const std::string& json) {
  if (!WriteFileBytes(dir.File("map.json"), std::vector<uint8_t>(json.begin(), json.end()))) return false;
  std::filesystem::remove(dir.File("map.tmx"));
  const RunResult run = RunTiledTool("tiled", {"--export-map", "tmx", "map.json", "map.tmx"}, dir);
  return run.exit_code == 0 && std::filesystem::exists(dir.File("map.tmx"));
}

struct Rgba {
  int width = 0;
  int height = 0;
  std::vector<std::array<uint8_t, 4>> pixels;
};

Rgba LoadRgba(const std::string& path) {
  Rgba picture;
  const ImagePtr loaded(FreeImage_Load(FIF_PNG, path.c_str(), 0));
  if (!loaded) return picture;
  const ImagePtr image(FreeImage_ConvertTo32Bits(loaded.get()));
  picture.width = static_cast<int>(FreeImage_GetWidth(image.get()));
  picture.height = static_cast<int>(FreeImage_GetHeight(image.get()));
  for (int y = 0; y < picture.height; ++y) {
    const uint8_t* row = FreeImage_GetScanLine(image.get(), picture.height - 1 - y);
    for (int x = 0; x < picture.width; ++x, row += 4)
      picture.pixels.push_back({row[FI_RGBA_RED], row[FI_RGBA_GREEN], row[FI_RGBA_BLUE], row[FI_RGBA_ALPHA]});
  }
  return picture;
}

// The pens of one screen byte, leftmost first, decoded from the CPC's layouts.
std::vector<uint8_t> DecodeScreenByte(int mode, uint8_t b) {
  auto bit = [b](int n) { return (b >> n) & 1; };
  if (mode == 0) {
    return {static_cast<uint8_t>(bit(7) | bit(3) << 1 | bit(5) << 2 | bit(1) << 3),
            static_cast<uint8_t>(bit(6) | bit(2) << 1 | bit(4) << 2 | bit(0) << 3)};
  }
  std::vector<uint8_t> pens;
  if (mode == 1) {
    for (int i = 0; i < 4; ++i) pens.push_back(static_cast<uint8_t>(bit(7 - i) | bit(3 - i) << 1));
  } else {
    for (int i = 0; i < 8; ++i) pens.push_back(static_cast<uint8_t>(bit(7 - i)));
  }
  return pens;
}

struct Output {
  int mode = 0;
  int tile_w = 0;
  int tile_h = 0;
  Grid grid;
  bool is_wide = false;
  bool is_by_columns = false;
};

// The map rebuilt from NAME_tiles.bin and the .map files alone, as pens.
std::vector<uint8_t> RebuildPens(const TempDir& dir, const Output& out, const std::vector<std::string>& maps,
                                 size_t& tile_count) {
  const std::vector<uint8_t> tiles = ReadFileBytes(dir.File("out_tiles.bin"));
  const int width_px = out.grid.width * out.tile_w;
  const int row_bytes = out.tile_w / (out.mode == 0 ? 2 : out.mode == 1 ? 4 : 8);
  const size_t tile_bytes = static_cast<size_t>(row_bytes) * out.tile_h;
  tile_count = tiles.size() / tile_bytes;
  std::vector<uint8_t> pens(static_cast<size_t>(width_px) * out.grid.height * out.tile_h, 0);
  for (const std::string& map : maps) {
    const std::vector<uint8_t> cells = ReadFileBytes(dir.File(map));
    const size_t step = out.is_wide ? 2 : 1;
    EXPECT_EQ(cells.size(), static_cast<size_t>(out.grid.width) * out.grid.height * step) << map;
    for (size_t k = 0; k * step < cells.size(); ++k) {
      const size_t number = out.is_wide ? cells[2 * k] | cells[2 * k + 1] << 8 : cells[k];
      if (number == 0) continue;  // the layers below show through
      EXPECT_LT(number, tile_count);
      if (number >= tile_count) return pens;
      const size_t gx = out.is_by_columns ? k / out.grid.height : k % out.grid.width;
      const size_t gy = out.is_by_columns ? k % out.grid.height : k / out.grid.width;
      for (int y = 0; y < out.tile_h; ++y) {
        for (int b = 0; b < row_bytes; ++b) {
          const std::vector<uint8_t> decoded =
              DecodeScreenByte(out.mode, tiles[number * tile_bytes + y * row_bytes + b]);
          for (size_t p = 0; p < decoded.size(); ++p) {
            const size_t x = gx * out.tile_w + b * decoded.size() + p;
            pens[(gy * out.tile_h + y) * width_px + x] = decoded[p];
          }
        }
      }
    }
  }
  return pens;
}

std::array<uint8_t, 3> ColourOf(uint8_t pen) {
  const PaletteEntry e = MapPalette()[pen];
  return {e.red, e.green, e.blue};
}

// tmxrasterizer's picture of map.tmx, our preview scaled back and the rebuilt
// pens all show the same pixels (an empty spot of the render is pen 0's colour).
void ExpectSamePictures(const TempDir& dir, const Output& out, const std::vector<std::string>& maps,
                        size_t& tile_count) {
  ASSERT_EQ(RunTiledTool("tmxrasterizer", {"map.tmx", "render.png"}, dir).exit_code, 0);
  const Rgba render = LoadRgba(dir.File("render.png"));
  const Rgba preview = LoadRgba(dir.File("out_preview.png"));
  const std::vector<uint8_t> rebuilt = RebuildPens(dir, out, maps, tile_count);
  const int width = out.grid.width * out.tile_w;
  const int height = out.grid.height * out.tile_h;
  const int scale_x = out.mode == 0 ? 4 : out.mode == 1 ? 2 : 1;
  ASSERT_EQ(render.width, width);
  ASSERT_EQ(render.height, height);
  ASSERT_EQ(preview.width, width * scale_x);
  ASSERT_EQ(preview.height, height * 2);
  int faults = 0;
  for (int y = 0; y < height && faults < 5; ++y) {
    for (int x = 0; x < width && faults < 5; ++x) {
      const auto r = render.pixels[static_cast<size_t>(y) * width + x];
      const std::array<uint8_t, 3> shown = r[3] == 0 ? ColourOf(0) : std::array<uint8_t, 3>{r[0], r[1], r[2]};
      const auto p =
          preview.pixels[static_cast<size_t>(2 * y + 1) * preview.width + x * scale_x + scale_x - 1];
      const std::array<uint8_t, 3> ours = ColourOf(rebuilt[static_cast<size_t>(y) * width + x]);
      const bool is_same = shown == ours && std::array<uint8_t, 3>{p[0], p[1], p[2]} == ours;
      faults += is_same ? 0 : 1;
      EXPECT_TRUE(is_same) << "pixel " << x << "," << y;
    }
  }
}

// Distinct pictures among the cells of one rendered layer, the blank one counted.
size_t DistinctCellPictures(const TempDir& dir, const Output& out) {
  const Rgba render = LoadRgba(dir.File("render.png"));
  std::set<std::vector<uint8_t>> seen;
  std::vector<uint8_t> blank;
  for (int k = 0; k < out.tile_w * out.tile_h; ++k) {
    const auto c = ColourOf(0);
    blank.insert(blank.end(), c.begin(), c.end());
  }
  seen.insert(blank);
  for (int gy = 0; gy < out.grid.height; ++gy) {
    for (int gx = 0; gx < out.grid.width; ++gx) {
      std::vector<uint8_t> block;
      for (int y = 0; y < out.tile_h; ++y) {
        for (int x = 0; x < out.tile_w; ++x) {
          const auto r =
              render.pixels[static_cast<size_t>(gy * out.tile_h + y) * render.width + gx * out.tile_w + x];
          const auto c = r[3] == 0 ? ColourOf(0) : std::array<uint8_t, 3>{r[0], r[1], r[2]};
          block.insert(block.end(), c.begin(), c.end());
        }
      }
      seen.insert(block);
    }
  }
  return seen.size();
}

std::vector<uint8_t> RandomTile(int w, int h, uint32_t seed, int pens) {
  return RandomPens(w, h, seed, pens);
}

std::vector<std::string> Gravik(const TempDir& dir, const std::vector<std::string>& args) {
  return AfterStartup(RunProgram(GRAVIK_BIN, args, dir.path()));
}

}  // namespace

namespace {

std::string Text(const std::vector<uint8_t>& bytes) { return std::string(bytes.begin(), bytes.end()); }
std::vector<uint8_t> Bytes(const std::string& text) { return std::vector<uint8_t>(text.begin(), text.end()); }

// The csv layer of a TMX rewritten in the plain XML form: one <tile> a cell.
std::string AsXmlTiles(const std::string& tmx) {
  const size_t open = tmx.find("<data encoding=\"csv\">");
  const size_t close = tmx.find("</data>", open);
  std::string tiles = "<data>\n";
  std::string number;
  for (const char c : tmx.substr(open + 21, close - open - 21) + ",") {
    if (c >= '0' && c <= '9') number += c;
    if (c != ',') continue;
    tiles += number == "0" ? "<tile/>\n" : "<tile gid=\"" + number + "\"/>\n";
    number.clear();
  }
  return tmx.substr(0, open) + tiles + tmx.substr(close);
}

const std::string kWroteOne =
    "ConvertTiledMap : wrote out_tiles.bin, out_Ground.map, out.asm, out_preview.png";

TEST(GravikTmx, EveryFlipInEveryLayerFormLooksAsTiledDrawsIt) {
  TempDir dir;
  SheetSpec sheet;  // 8 x 8 tiles, square, so that diagonal flips apply
  for (uint32_t t = 0; t < 6; ++t) sheet.tiles.push_back(RandomTile(8, 8, 40 + t, 4));
  std::vector<uint8_t> mirrored = RandomTile(8, 8, 99, 4);
  for (int y = 0; y < 8; ++y)
    for (int x = 4; x < 8; ++x) mirrored[y * 8 + x] = mirrored[y * 8 + 7 - x];
  sheet.tiles.push_back(mirrored);
  sheet.tiles.push_back(std::vector<uint8_t>(64, 0));
  ASSERT_TRUE(WriteSheet(dir.File("t.png"), sheet));
  std::vector<uint32_t> gids;
  for (uint32_t t = 1; t <= 8; ++t)
    for (uint32_t flags = 0; flags < 8; ++flags) gids.push_back(t | flags << 29);
  const Grid grid{16, 4};
  const std::string tileset = "{\"firstgid\":1," + TilesetFields("t", "t.png", sheet) + "}";
  const Output out{1, 8, 8, grid};
  for (const std::string form : {"csv", "base64", "zlib", "gzip", "zstd", "xml"}) {
    SCOPED_TRACE(form);
    const std::string layer = TileLayer("Ground", grid, gids, form == "xml" ? "csv" : form);
    ASSERT_TRUE(ExportWithTiled(dir, MapJson(grid, 8, 8, {layer}, {tileset})));
    if (form == std::string("xml")) {
      ASSERT_TRUE(
          WriteFileBytes(dir.File("map.tmx"), Bytes(AsXmlTiles(Text(ReadFileBytes(dir.File("map.tmx")))))));
    }
    const std::vector<std::string> lines = Gravik(dir, {"tmx", "map.tmx", "out", "--mode=1"});
    ASSERT_FALSE(lines.empty());
    EXPECT_EQ(lines.back(), kWroteOne);
    size_t tile_count = 0;
    ExpectSamePictures(dir, out, {"out_Ground.map"}, tile_count);
    // Six tiles in all eight orientations, the mirrored one in four, the blank one as tile 0.
    EXPECT_EQ(tile_count, 6u * 8 + 4 + 1);
    EXPECT_EQ(tile_count, DistinctCellPictures(dir, out));
  }
}

std::string ExternalTileset(const std::string& image, const SheetSpec& s) {
  return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<tileset version=\"1.8\" tiledversion=\"1.8.2\" "
         "name=\"b\" "
         "tilewidth=\"" +
         N(s.tile_w) + "\" tileheight=\"" + N(s.tile_h) + "\" spacing=\"" + N(s.spacing) + "\" margin=\"" +
         N(s.margin) + "\" tilecount=\"" + N(static_cast<int64_t>(s.tiles.size())) + "\" columns=\"" +
         N(s.columns) + "\">\n <image source=\"" + image + "\" width=\"" + N(s.Width()) + "\" height=\"" +
         N(s.Height()) + "\"/>\n</tileset>\n";
}

// Two tilesets (one in sets/b.tsx) with margins and spacing, a layer in a
// group over a ground layer, a hidden layer and an object layer: Tiled's JSON.
std::string TwoTilesetMap(const TempDir& dir, const Grid& grid) {
  SheetSpec a{4, 8, 3, 1, 2, {}};
  for (uint32_t t = 0; t < 6; ++t) a.tiles.push_back(RandomTile(4, 8, 10 + t, 16));
  SheetSpec b{4, 8, 2, 2, 1, {a.tiles[1]}};  // b's first tile is a's second: one CPC tile for both
  for (uint32_t t = 0; t < 3; ++t) b.tiles.push_back(RandomTile(4, 8, 20 + t, 16));
  std::filesystem::create_directory(dir.path() / "sets");
  EXPECT_TRUE(WriteSheet(dir.File("a.png"), a));
  EXPECT_TRUE(WriteSheet(dir.File("sets/b.png"), b));
  const std::string tsx = ExternalTileset("b.png", b);
  EXPECT_TRUE(WriteFileBytes(dir.File("sets/b.tsx"), Bytes(tsx)));
  std::vector<uint32_t> back;
  std::vector<uint32_t> front(84, 0);
  const std::vector<uint8_t> picks = RandomPens(84, 3, 7, 256);
  for (size_t k = 0; k < 84; ++k) {
    const uint32_t gid = picks[k] % 11;  // 0 (empty) to 10: a's six tiles from 1, b's four from 7
    back.push_back(gid == 0 ? 0 : gid | (picks[84 + k] & 3u) << 30);
    if (picks[168 + k] % 5 == 0) front[k] = (2 + picks[168 + k] % 4u) | kV;
  }
  const std::string json = MapJson(
      grid, 4, 8,
      {TileLayer("Back", grid, back, "zlib"),
       "{\"type\":\"group\",\"id\":300,\"name\":\"Over\",\"opacity\":1,\"visible\":true,\"x\":0,\"y\":0,"
       "\"layers\":[" +
           TileLayer("Front detail", grid, front, "gzip") + "]}",
       TileLayer("Notes", grid, std::vector<uint32_t>(84, 3), "csv", false),
       "{\"type\":\"objectgroup\",\"id\":301,\"name\":\"Things\",\"opacity\":1,\"visible\":true,\"x\":0,"
       "\"y\":0,"
       "\"draworder\":\"topdown\",\"objects\":[]}"},
      {"{\"firstgid\":1," + TilesetFields("a", "a.png", a) + "}",
       "{\"firstgid\":7,\"source\":\"sets/b.tsx\"}"});
  return json;
}

// The map's source in sdasz80 and C, built by SDCC's own tools, holds the
// same bytes as the binary files, and its header the sizes.
void ExpectSdccBuildsTheSameBytes(const TempDir& dir, const std::vector<uint8_t>& files, size_t tile_count) {
  for (const std::string syntax : {"sdasz80", "c"}) {
    SCOPED_TRACE(syntax);
    const std::vector<std::string> run =
        Gravik(dir, {"--syntax=" + syntax, "tmx", "map.tmx", "out", "--order=columns"});
    const std::string source = syntax == std::string("c") ? "out.c" : "out.s";
    ASSERT_FALSE(run.empty());
    EXPECT_EQ(run.back(), "ConvertTiledMap : wrote out_tiles.bin, out_Back.map, out_Front_detail.map, " +
                              source + ", out.h, out_preview.png");
    std::filesystem::create_directory(dir.File("work_" + syntax));
    const SdccBuild build = BuildWithSdcc({dir.File(source)}, dir.File("work_" + syntax));
    ASSERT_TRUE(build.is_ok) << build.messages;
    EXPECT_EQ(build.binary, files);
    std::vector<std::string> check{"#include \"" + dir.File("out.h") + "\""};
    const std::vector<std::pair<std::string, int64_t>> values{
        {"out_TILE_COUNT", static_cast<int64_t>(tile_count)},
        {"out_TILE_WIDTH", 2},
        {"out_TILE_HEIGHT", 8},
        {"out_MAP_WIDTH", 12},
        {"out_MAP_HEIGHT", 7},
        {"out_layer_Back_SIZE", 84}};
    for (const auto& [label, value] : values)
      check.push_back("_Static_assert(" + label + " == " + N(value) + ", \"" + label + "\");");
    std::string messages;
    EXPECT_TRUE(CompilesWithSdcc(check, dir.File("check_" + syntax), messages)) << messages;
  }
}

TEST(GravikTmx, SeveralTilesetsGroupsAndHiddenLayersInColumns) {
  TempDir dir;
  const Grid grid{12, 7};
  const std::string json = TwoTilesetMap(dir, grid);
  ASSERT_TRUE(ExportWithTiled(dir, json));
  ASSERT_NE(Text(ReadFileBytes(dir.File("map.tmx"))).find("source=\"sets/b.tsx\""), std::string::npos);
  const std::vector<std::string> lines = Gravik(dir, {"tmx", "map.tmx", "out", "--order=columns"});
  const std::vector<std::string> expected{
      "ConvertTiledMap : map map.tmx : 12 x 7 cells of 4 x 8 pixels, 2 tilesets",
      "ConvertTiledMap : layer Notes is hidden : passed over", "",
      "ConvertTiledMap : wrote out_tiles.bin, out_Back.map, out_Front_detail.map, out.asm, out_preview.png"};
  ASSERT_EQ(lines.size(), 4u);
  EXPECT_EQ(lines[0], expected[0]);
  EXPECT_EQ(lines[1], expected[1]);
  EXPECT_EQ(lines[3], expected[3]);
  size_t tile_count = 0;
  Output out{0, 4, 8, grid};
  out.is_by_columns = true;
  ExpectSamePictures(dir, out, {"out_Back.map", "out_Front_detail.map"}, tile_count);
  EXPECT_EQ(lines[2], "ConvertTiledMap : " + N(static_cast<int64_t>(tile_count)) +
                          " mode 0 tiles of 2 x 8 bytes, tile 0 blank");
  // The source holds the same bytes under its labels, as pasmo assembles it.
  const AssembledSource assembled = AssembleWithPasmo(dir.File("out.asm"));
  ASSERT_TRUE(assembled.is_ok) << assembled.messages;
  std::vector<uint8_t> files = ReadFileBytes(dir.File("out_tiles.bin"));
  for (const std::string map : {"out_Back.map", "out_Front_detail.map"}) {
    const std::vector<uint8_t> cells = ReadFileBytes(dir.File(map));
    files.insert(files.end(), cells.begin(), cells.end());
  }
  EXPECT_EQ(assembled.binary, files);
  EXPECT_EQ(assembled.symbols.at("out_layer_Back"), static_cast<int>(tile_count * 16));
  ExpectSdccBuildsTheSameBytes(dir, files, tile_count);
}

TEST(GravikTmx, MoreThan256TilesNeedTwoBytesACell) {
  TempDir dir;
  SheetSpec sheet{8, 8, 20, 0, 0, {}};
  for (uint32_t t = 0; t < 300; ++t) sheet.tiles.push_back(RandomTile(8, 8, 1000 + t, 2));
  ASSERT_TRUE(WriteSheet(dir.File("t.png"), sheet));
  const Grid grid{20, 15};
  std::vector<uint32_t> gids;
  for (uint32_t k = 1; k <= 300; ++k) gids.push_back(k);
  ASSERT_TRUE(ExportWithTiled(dir, MapJson(grid, 8, 8, {TileLayer("Ground", grid, gids, "zlib")},
                                           {"{\"firstgid\":1," + TilesetFields("t", "t.png", sheet) + "}"})));
  const int before = CountEntries(dir.path());
  EXPECT_EQ(
      Gravik(dir, {"tmx", "map.tmx", "out", "--mode=2"}),
      std::vector<std::string>{"ConvertTiledMap : 301 distinct tiles, more than the 256 one byte a cell "
                               "can number : --wide gives two bytes a cell"});
  EXPECT_EQ(CountEntries(dir.path()), before);
  const std::vector<std::string> lines = Gravik(dir, {"tmx", "map.tmx", "out", "--mode=2", "--wide"});
  ASSERT_FALSE(lines.empty());
  EXPECT_EQ(lines.back(), kWroteOne);
  size_t tile_count = 0;
  Output out{2, 8, 8, grid};
  out.is_wide = true;
  ExpectSamePictures(dir, out, {"out_Ground.map"}, tile_count);
  EXPECT_EQ(tile_count, 301u);
}

TEST(GravikTmx, ALevelOfRealSize) {
  TempDir dir;
  SheetSpec sheet{4, 8, 8, 0, 0, {}};
  for (uint32_t t = 0; t < 48; ++t) sheet.tiles.push_back(RandomTile(4, 8, 500 + t, 16));
  ASSERT_TRUE(WriteSheet(dir.File("t.png"), sheet));
  const Grid grid{256, 64};
  const std::vector<uint8_t> picks = RandomPens(256, 128, 3, 256);
  std::vector<uint32_t> gids;
  for (size_t k = 0; k < 256 * 64; ++k) {
    const uint32_t tile = picks[k] % 50;  // 48 and 49 leave the cell empty
    gids.push_back(tile >= 48 ? 0 : (tile + 1) | (picks[256 * 64 + k] & 3u) << 30);
  }
  ASSERT_TRUE(ExportWithTiled(dir, MapJson(grid, 4, 8, {TileLayer("Ground", grid, gids, "zstd")},
                                           {"{\"firstgid\":1," + TilesetFields("t", "t.png", sheet) + "}"})));
  const std::vector<std::string> lines = Gravik(dir, {"tmx", "map.tmx", "out"});
  ASSERT_FALSE(lines.empty());
  EXPECT_EQ(lines.back(), kWroteOne);
  size_t tile_count = 0;
  const Output out{0, 4, 8, grid};
  ExpectSamePictures(dir, out, {"out_Ground.map"}, tile_count);
  EXPECT_EQ(tile_count, 48u * 4 + 1);
}

}  // namespace

namespace {

std::string TmxMap(const std::string& map_fields, const std::string& tilesets, const std::string& layers) {
  return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<map version=\"1.8\" " + map_fields + ">\n" + tilesets +
         layers + "</map>\n";
}

const std::string kGrid =
    "orientation=\"orthogonal\" width=\"2\" height=\"1\" tilewidth=\"4\" tileheight=\"8\" infinite=\"0\"";
const std::string kSet =
    "<tileset firstgid=\"1\" name=\"t\" tilewidth=\"4\" tileheight=\"8\" tilecount=\"2\" columns=\"2\">"
    "<image source=\"t.png\" width=\"8\" height=\"8\"/></tileset>\n";

std::string CsvLayer(const std::string& ids) {
  return "<layer id=\"1\" name=\"L\" width=\"2\" height=\"1\"><data encoding=\"csv\">" + ids +
         "</data></layer>\n";
}

std::string ZlibLayer(size_t zero_bytes, int window_bits, const std::string& compression) {
  return "<layer id=\"1\" name=\"L\" width=\"2\" height=\"1\"><data encoding=\"base64\" compression=\"" +
         compression + "\">" + Base64(Deflate(std::vector<uint8_t>(zero_bytes, 0), window_bits)) +
         "</data></layer>\n";
}

std::string ZstdLayer(size_t zero_bytes) {
  const std::vector<uint8_t> bytes(zero_bytes, 0);
  std::vector<uint8_t> packed(ZSTD_compressBound(bytes.size()));
  packed.resize(ZSTD_compress(packed.data(), packed.size(), bytes.data(), bytes.size(), 3));
  return "<layer id=\"1\" name=\"L\" width=\"2\" height=\"1\"><data encoding=\"base64\" "
         "compression=\"zstd\">" +
         Base64(packed) + "</data></layer>\n";
}

struct RefusalCase {
  std::string map;
  std::vector<std::string> options;
  std::string line;
};

const std::string kRefused = "ConvertTiledMap : map.tmx";

// Maps, tilesets and pictures the word can not take.
std::vector<RefusalCase> MapRefusals() {
  const std::string& p = kRefused;
  const std::string set_u =
      "<tileset firstgid=\"3\" name=\"u\" tilewidth=\"4\" tileheight=\"8\" tilecount=\"2\" "
      "columns=\"2\"><image source=\"u.png\" width=\"8\" height=\"8\"/></tileset>\n";
  return {
      {TmxMap("orientation=\"isometric\" width=\"2\" height=\"1\" tilewidth=\"4\" tileheight=\"8\"", kSet,
              CsvLayer("1,1")),
       {},
       p + " is isometric, not orthogonal"},
      {TmxMap("orientation=\"orthogonal\" width=\"2\" height=\"1\" tilewidth=\"4\" tileheight=\"8\" "
              "infinite=\"1\"",
              kSet, CsvLayer("1,1")),
       {},
       p + " is infinite"},
      {TmxMap(kGrid,
              "<tileset firstgid=\"1\" name=\"c\" tilewidth=\"4\" tileheight=\"8\"><tile id=\"0\">"
              "<image source=\"t.png\" width=\"8\" height=\"8\"/></tile></tileset>\n",
              CsvLayer("1,1")),
       {},
       p + " : tileset c is a collection of images, not one tileset image"},
      {TmxMap(kGrid, std::string(kSet).replace(kSet.find(" tilewidth=\"4\""), 14, ""), CsvLayer("1,1")),
       {},
       p + " : tileset t has no usable tilewidth"},
      {TmxMap(kGrid, kSet, CsvLayer("1,536870914")),
       {},
       p + " : layer L, cell 1,0 is flipped diagonally, which tiles of 4 x 8 pixels can not be"},
      {TmxMap(kGrid, kSet, CsvLayer("268435457,1")),
       {},
       p + " : layer L, cell 0,0 has the hexagonal rotation flag"},
      {TmxMap(kGrid, kSet, CsvLayer("1,3")), {}, p + " : layer L, cell 1,0 : gid 3 has no tileset"},
      {TmxMap(kGrid, kSet, CsvLayer("1,2")),
       {"--mode=1"},
       p + " : t.png : tile 1 has pen 9, beyond the 4 pens of mode 1"},
      {TmxMap(kGrid, kSet, CsvLayer("1,2")),
       {"--mode=2"},
       p + " : tiles of 4 pixels wide do not fill whole mode 2 bytes of 8 pixels"},
      {TmxMap(kGrid, kSet + set_u, CsvLayer("1,3")),
       {},
       "ConvertTiledMap : u.png : pen 2 is #FFFFFF, not #22E5B2 as in t.png"},
      {TmxMap(kGrid, std::string(kSet).replace(kSet.find("t.png"), 5, "gone.png"), CsvLayer("1,1")),
       {},
       "ConvertTiledMap : Can not find gone.png"},
      {TmxMap(kGrid, std::string(kSet).replace(kSet.find("t.png"), 5, "rgb.png"), CsvLayer("1,1")),
       {},
       "ConvertTiledMap : rgb.png is not a palettised picture"},
  };
}

// Layer data and XML the word can not take, and a bad option.
std::vector<RefusalCase> DataRefusals() {
  const std::string& p = kRefused;
  return {
      {TmxMap(kGrid, kSet, CsvLayer("1,1,1")),
       {},
       p + " : layer L : data holds more ids than the layer has cells"},
      {TmxMap(kGrid, kSet, CsvLayer("1")),
       {},
       p + " : layer L : data holds 1 ids, not the 2 cells of the layer"},
      {TmxMap(kGrid, kSet, ZlibLayer(4, 15, "zlib")),
       {},
       p + " : layer L : data holds 1 ids, not the 2 cells of the layer"},
      {TmxMap(kGrid, kSet, ZlibLayer(1 << 20, 15, "zlib")),
       {},
       p + " : layer L : data inflates past 8 bytes"},
      {TmxMap(kGrid, kSet, ZlibLayer(1 << 20, 31, "gzip")),
       {},
       p + " : layer L : data inflates past 8 bytes"},
      {TmxMap(kGrid, kSet, ZstdLayer(1 << 20)), {}, p + " : layer L : data inflates past 8 bytes"},
      {TmxMap(kGrid, kSet, ZlibLayer(8, 15, "gzip")), {}, p + " : layer L : data is not a whole gzip member"},
      {TmxMap(kGrid, kSet, "<layer name=\"L\"><data>"),
       {},
       p + " : malformed XML (Start-end tags mismatch at byte 312)"},
      {"<?xml version=\"1.0\"?>\n<!DOCTYPE map [<!ENTITY e SYSTEM \"/etc/passwd\">]>\n" +
           TmxMap(kGrid, kSet, CsvLayer("1,1")).substr(39),
       {},
       p + " : XML entity declarations are not read"},
      {TmxMap(kGrid, kSet, CsvLayer("1,1")),
       {"--order=diagonal"},
       "ConvertTiledMap : bad value in --order=diagonal"},
  };
}

TEST(GravikTmx, RefusalsSayWhyInOneLineAndWriteNothing) {
  std::vector<RefusalCase> cases = MapRefusals();
  for (RefusalCase& c : DataRefusals()) cases.push_back(std::move(c));
  TempDir dir;
  std::vector<uint8_t> pens(64, 0);
  pens[4] = 9;  // tile 1's first pixel
  ASSERT_TRUE(WritePalettedPng(dir.File("t.png"), 8, 8, pens));
  std::vector<PaletteEntry> other = MapPalette();
  other[2] = {255, 255, 255};
  ASSERT_TRUE(WritePalettedPng(dir.File("u.png"), 8, 8, std::vector<uint8_t>(64, 2), other));
  const ImagePtr rgb(FreeImage_Allocate(8, 8, 24));
  ASSERT_TRUE(FreeImage_Save(FIF_PNG, rgb.get(), dir.File("rgb.png").c_str(), 0));
  ASSERT_TRUE(WriteFileBytes(dir.File("out.asm"), Bytes("; the user's own\n")));
  for (const RefusalCase& c : cases) {
    SCOPED_TRACE(c.line);
    ASSERT_TRUE(WriteFileBytes(dir.File("map.tmx"), Bytes(c.map)));
    const int before = CountEntries(dir.path());
    std::vector<std::string> args{"tmx", "map.tmx", "out"};
    args.insert(args.end(), c.options.begin(), c.options.end());
    EXPECT_EQ(Gravik(dir, args), std::vector<std::string>{c.line});
    EXPECT_EQ(CountEntries(dir.path()), before);
    EXPECT_EQ(Text(ReadFileBytes(dir.File("out.asm"))), "; the user's own\n");
  }
}

}  // namespace
