// End-to-end runs of add0, final0 and col in a scratch folder.
#include <FreeImage.h>
#include <gtest/gtest.h>

#include <array>
#include <filesystem>
#include <string>
#include <vector>

#include <unistd.h>

#include "common/cpc_pixels.h"
#include "tests/test_support.h"
#include "toolkit/source_image.h"
#include "toolkit/tiles/column_order.h"
#include "toolkit/tiles/tileset_add.h"
#include "toolkit/tiles/tileset_finalize.h"

namespace {

constexpr size_t kSetBytes = 9220;
constexpr size_t kTilesOffset = 1028;
constexpr char kFullWarning[] = "WARNING ! Reached max tiles for this system (255)";

using Record = std::array<uint8_t, 32>;

RunResult Gravik(const TempDir& dir, const std::vector<std::string>& args) {
  return RunProgram(GRAVIK_BIN, args, dir.path());
}

// Most cases call the operations in this process, from inside dir (the file
// names they build are relative, as the program's are): a run of the real
// program costs far more under the sanitizers. The console lines are returned.
template <typename Operation>
std::vector<std::string> InFolder(const TempDir& dir, Operation operation) {
  const std::filesystem::path previous = std::filesystem::current_path();
  std::filesystem::current_path(dir.path());
  std::vector<std::string> lines;
  {
    const ConsoleCapture capture;
    operation();
    lines = capture.lines();
  }
  std::filesystem::current_path(previous);
  return lines;
}

std::vector<std::string> Add(const TempDir& dir, const std::string& image, const std::string& set) {
  return InFolder(dir, [&] { AddToTileset(image + ".bmp", set + ".set"); });
}

std::vector<std::string> Final(const TempDir& dir, const std::string& set) {
  return InFolder(dir, [&] { FinalizeTileset(set); });
}

std::vector<std::string> Col(const TempDir& dir, const std::string& map, int32_t width, int32_t height) {
  return InFolder(dir, [&] { ConvertToColumnOrder(map + ".bin", map + ".lvl", width, height); });
}

// Pens of a picture made of 4 x 8 tiles: tiles[row][column] is the pen of
// every pixel of that tile, rows from the top of the picture.
std::vector<uint8_t> TilePens(const std::vector<std::vector<uint8_t>>& tiles) {
  const int across = static_cast<int>(tiles[0].size());
  const int width = across * 4;
  std::vector<uint8_t> pens(static_cast<size_t>(width) * tiles.size() * 8);
  for (size_t y = 0; y < tiles.size() * 8; ++y) {
    for (int x = 0; x < width; ++x) pens[y * width + x] = tiles[y / 8][x / 4];
  }
  return pens;
}

bool WriteTilePicture(const TempDir& dir, const std::string& name, const std::vector<std::vector<uint8_t>>& tiles,
                      const std::vector<PaletteEntry>& palette = TestPalette()) {
  return WriteIndexedBmp(dir.File(name + ".bmp"), static_cast<int>(tiles[0].size()) * 4,
                         static_cast<int>(tiles.size()) * 8, TilePens(tiles), palette);
}

Record Uniform(uint8_t pen) {
  Record record{};
  record.fill(pen);
  return record;
}

// The bytes of a tileset file: count, palette (blue, green, red, 0), records.
std::vector<uint8_t> SetBytes(int32_t count, const std::vector<PaletteEntry>& palette,
                              const std::vector<Record>& records) {
  std::vector<uint8_t> bytes(kSetBytes, 0);
  for (int k = 0; k < 4; ++k) bytes[k] = static_cast<uint8_t>(static_cast<uint32_t>(count) >> (8 * k));
  for (size_t k = 0; k < palette.size() && k < 256; ++k) {
    bytes[4 + 4 * k] = palette[k].blue;
    bytes[4 + 4 * k + 1] = palette[k].green;
    bytes[4 + 4 * k + 2] = palette[k].red;
  }
  for (size_t slot = 0; slot < records.size(); ++slot) {
    std::copy(records[slot].begin(), records[slot].end(), bytes.begin() + kTilesOffset + 32 * slot);
  }
  return bytes;
}

std::vector<std::string> PictureLines(const std::string& name, int width, int height, int bits) {
  const auto text = [](int v) { return " " + std::to_string(v); };
  return {"source : " + name + ".bmp", text(width) + "/" + text(height) + " @" + text(bits),
          text(width / 4) + "/" + text(height / 8) + "(" + text(width / 4 * (height / 8)) + ") tiles"};
}

std::vector<std::string> Joined(std::vector<std::string> a, const std::vector<std::string>& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

std::vector<PaletteEntry> RedPalette() {
  std::vector<PaletteEntry> palette(256);
  for (int k = 0; k < 256; ++k) palette[k] = {static_cast<uint8_t>(255 - k), 0, 0};
  return palette;
}

}  // namespace

TEST(GravikTiles, AddNumbersTilesInOrderOfFirstAppearanceAcrossRuns) {
  TempDir dir;
  // Top tile row 1, 2; bottom tile row 3, 0: the bottom row is met first.
  ASSERT_TRUE(WriteTilePicture(dir, "first", {{1, 2}, {3, 0}}));
  ASSERT_TRUE(WriteTilePicture(dir, "second", {{2, 4}, {5, 4}}, RedPalette()));

  RunResult run = Gravik(dir, {"add0", "first", "level"});
  EXPECT_EQ(AfterStartup(run), Joined(PictureLines("first", 8, 16, 8),
                                      {"level.set does not exist, creating...", "Added  3 tiles", "Total tileset  4"}));
  const std::vector<uint8_t> after_first =
      SetBytes(4, TestPalette(), {Uniform(0), Uniform(3), Uniform(1), Uniform(2)});
  EXPECT_EQ(ReadFileBytes(dir.File("level.set")), after_first);

  // A second picture, with a palette of its own: its pens are stored as they
  // are and the set keeps the first picture's palette.
  run = Gravik(dir, {"add0", "second", "level"});
  EXPECT_EQ(AfterStartup(run),
            Joined(PictureLines("second", 8, 16, 8), {"loading level.set", "Added  2 tiles", "Total tileset  6"}));
  const std::vector<uint8_t> after_second =
      SetBytes(6, TestPalette(), {Uniform(0), Uniform(3), Uniform(1), Uniform(2), Uniform(5), Uniform(4)});
  EXPECT_EQ(ReadFileBytes(dir.File("level.set")), after_second);

  // The same picture again adds nothing and rewrites the same bytes.
  run = Gravik(dir, {"ADD0", "first", "level"});
  EXPECT_EQ(AfterStartup(run),
            Joined(PictureLines("first", 8, 16, 8), {"loading level.set", "Added  0 tiles", "Total tileset  6"}));
  EXPECT_EQ(ReadFileBytes(dir.File("level.set")), after_second);
  EXPECT_EQ(CountEntries(dir.path()), 3);
}

TEST(GravikTiles, AddReadsTileLinesBottomUpAndPensAbove15AsZero) {
  TempDir dir;
  // One tile; picture row y (from the top) holds pens y, y + 16, 200, 15.
  std::vector<uint8_t> pens(4 * 8);
  for (int y = 0; y < 8; ++y) {
    pens[y * 4 + 0] = static_cast<uint8_t>(y);
    pens[y * 4 + 1] = static_cast<uint8_t>(y + 16);
    pens[y * 4 + 2] = 200;
    pens[y * 4 + 3] = 15;
  }
  ASSERT_TRUE(WriteIndexedBmp(dir.File("one.bmp"), 4, 8, pens));
  Add(dir, "one", "set");
  Record expected{};
  for (int line = 0; line < 8; ++line) {
    expected[line * 4] = static_cast<uint8_t>(7 - line);  // line 0 is the bottom row
    expected[line * 4 + 3] = 15;
  }
  EXPECT_EQ(ReadFileBytes(dir.File("set.set")), SetBytes(2, TestPalette(), {Uniform(0), expected}));

  // Nothing but pens 0 and above 15: every tile is the blank tile.
  ASSERT_TRUE(WriteTilePicture(dir, "blank", {{0, 16, 255}, {99, 0, 32}}));
  EXPECT_EQ(Add(dir, "blank", "empty"), Joined(PictureLines("blank", 12, 16, 8),
                                      {"empty.set does not exist, creating...", "Added  0 tiles", "Total tileset  1"}));
  EXPECT_EQ(ReadFileBytes(dir.File("empty.set")), SetBytes(1, TestPalette(), {}));
}

TEST(GravikTiles, AddWarnsForEveryTileBeyond255) {
  TempDir dir;
  // 254 stored tiles that no uniform tile matches.
  std::vector<Record> records(254);
  for (int slot = 1; slot < 254; ++slot) {
    records[slot][0] = static_cast<uint8_t>(slot % 16);
    records[slot][1] = static_cast<uint8_t>(slot / 16 + 1);
  }
  ASSERT_TRUE(WriteFileBytes(dir.File("full.set"), SetBytes(254, TestPalette(), records)));
  ASSERT_TRUE(WriteTilePicture(dir, "two_new", {{9, 10, 9}}));
  ASSERT_TRUE(WriteTilePicture(dir, "one_new_twice", {{11, 9, 11}}));

  EXPECT_EQ(Add(dir, "two_new", "full"), Joined(PictureLines("two_new", 12, 8, 8),
                                      {"loading full.set", kFullWarning, "Added  1 tiles", "Total tileset  255"}));
  records.push_back(Uniform(9));
  EXPECT_EQ(ReadFileBytes(dir.File("full.set")), SetBytes(255, TestPalette(), records));

  EXPECT_EQ(Add(dir, "one_new_twice", "full"),
            Joined(PictureLines("one_new_twice", 12, 8, 8),
                   {"loading full.set", kFullWarning, kFullWarning, "Added  0 tiles", "Total tileset  255"}));
  EXPECT_EQ(ReadFileBytes(dir.File("full.set")), SetBytes(255, TestPalette(), records));
}

TEST(GravikTiles, AddRefusesPicturesAfterItsThreeLinesAndTouchesNoSet) {
  TempDir dir;
  ASSERT_TRUE(WriteIndexedBmp(dir.File("narrow.bmp"), 6, 8, std::vector<uint8_t>(48, 1)));
  ASSERT_TRUE(WriteIndexedBmp(dir.File("short.bmp"), 8, 12, std::vector<uint8_t>(96, 1)));
  ASSERT_TRUE(WriteBmpOfDepth(dir.File("deep.bmp"), 16, 8, 24));
  ASSERT_TRUE(WriteBmpOfDepth(dir.File("four.bmp"), 6, 8, 4));
  const std::vector<uint8_t> kept = SetBytes(2, TestPalette(), {Uniform(0), Uniform(1)});
  ASSERT_TRUE(WriteFileBytes(dir.File("kept.set"), kept));
  const struct {
    std::string name;
    int width, height, bits;
    std::string refusal;
  } cases[] = {
      {"narrow", 6, 8, 8, "Source must be composed of (4*8)pixels tiles"},
      {"short", 8, 12, 8, "Source must be composed of (4*8)pixels tiles"},
      {"deep", 16, 8, 24, "Source must be 8 bits"},
      {"four", 6, 8, 4, "Source must be 8 bits"},
  };
  for (const auto& c : cases) {
    for (const std::string set : {"new", "kept"}) {
      EXPECT_EQ(Add(dir, c.name, set), Joined(PictureLines(c.name, c.width, c.height, c.bits), {c.refusal}))
          << c.name;
    }
  }
  EXPECT_EQ(Add(dir, "nothing", "new"), std::vector<std::string>{"Can not load nothing.bmp"});
  EXPECT_EQ(ReadFileBytes(dir.File("kept.set")), kept);
  EXPECT_EQ(CountEntries(dir.path()), 5);
}

TEST(GravikTiles, DamagedSetIsRefusedAndLeftAsItWas) {
  TempDir dir;
  ASSERT_TRUE(WriteTilePicture(dir, "pic", {{1, 2}}));
  std::vector<uint8_t> long_set = SetBytes(1, TestPalette(), {});
  long_set.push_back(0);
  const struct {
    std::vector<uint8_t> bytes;
    std::string tail;
  } cases[] = {
      {{}, "set.set is not a tileset file: 0 bytes instead of 9220"},
      {std::vector<uint8_t>(9219, 0), "set.set is not a tileset file: 9219 bytes instead of 9220"},
      {long_set, "set.set is not a tileset file: 9221 bytes instead of 9220"},
      {SetBytes(256, TestPalette(), {}), "set.set is not a tileset file: tile count 256 outside 0 to 255"},
      {SetBytes(-1, TestPalette(), {}), "set.set is not a tileset file: tile count -1 outside 0 to 255"},
  };
  for (const auto& c : cases) {
    ASSERT_TRUE(WriteFileBytes(dir.File("set.set"), c.bytes));
    EXPECT_EQ(Add(dir, "pic", "set"), Joined(PictureLines("pic", 8, 8, 8), {"AddToTileset : " + c.tail}));
    EXPECT_EQ(ReadFileBytes(dir.File("set.set")), c.bytes);
    EXPECT_EQ(Final(dir, "set"), std::vector<std::string>{"FinalizeTileset : " + c.tail});
    EXPECT_EQ(CountEntries(dir.path()), 2) << c.tail;
  }
  // A folder where the set should be is not a set either.
  std::filesystem::remove(dir.File("set.set"));
  std::filesystem::create_directory(dir.File("set.set"));
  EXPECT_EQ(Add(dir, "pic", "set").back(), "AddToTileset : Can not read set.set");
  EXPECT_EQ(Final(dir, "set"), std::vector<std::string>{"FinalizeTileset : Can not read set.set"});
  EXPECT_EQ(CountEntries(dir.path()), 2);
}

TEST(GravikTiles, AddReportsASetThatCanNotBeCreated) {
  TempDir dir;
  ASSERT_TRUE(WriteTilePicture(dir, "pic", {{1}}));
  EXPECT_EQ(Add(dir, "pic", "missing/set"), Joined(PictureLines("pic", 4, 8, 8), {"missing/set.set does not exist, creating...",
                                                                      "AddToTileset : Can not create missing/set.set"}));
  EXPECT_EQ(CountEntries(dir.path()), 1);
}

TEST(GravikTiles, FinalWritesTheTileFileAndAnUprightPreview) {
  TempDir dir;
  // A tile whose top row is pens 1, 2, 3, 4 and whose other rows are pen 0,
  // then a tile of pen 6 with pen 7 in its bottom right pixel.
  std::vector<uint8_t> pens(8 * 8, 0);
  for (int x = 0; x < 4; ++x) pens[x] = static_cast<uint8_t>(x + 1);
  for (int y = 0; y < 8; ++y) {
    for (int x = 4; x < 8; ++x) pens[y * 8 + x] = 6;
  }
  pens[7 * 8 + 7] = 7;
  ASSERT_TRUE(WriteIndexedBmp(dir.File("pic.bmp"), 8, 8, pens, RedPalette()));
  Gravik(dir, {"add0", "pic", "world"});

  const RunResult run = Gravik(dir, {"final0", "world"});
  EXPECT_EQ(AfterStartup(run), (std::vector<std::string>{" 3 tiles defined", "Creating CPC tiles set...",
                                                         "Creating PC tiles set", "job done !"}));
  std::vector<uint8_t> tiles(4096, 0);
  tiles[16] = 132;
  tiles[17] = 152;
  for (int k = 32; k < 48; ++k) tiles[k] = EncodeMode0Byte(6, 6);
  tiles[47] = EncodeMode0Byte(6, 7);
  EXPECT_EQ(ReadFileBytes(dir.File("tileset_world.til")), tiles);

  const ImagePtr preview(FreeImage_Load(FIF_BMP, dir.File("tileset_world.bmp").c_str(), 0));
  ASSERT_TRUE(preview);
  ASSERT_EQ(FreeImage_GetBPP(preview.get()), 8u);
  ASSERT_EQ(FreeImage_GetWidth(preview.get()), 8u);
  ASSERT_EQ(FreeImage_GetHeight(preview.get()), 2048u);
  const PixelView view = ViewOfImage(preview.get());
  std::vector<uint8_t> expected(8 * 2048, 0);
  for (int x = 0; x < 8; ++x) expected[8 * 8 + x] = static_cast<uint8_t>(x / 2 + 1);
  for (int y = 16; y < 24; ++y) {
    for (int x = 0; x < 8; ++x) expected[y * 8 + x] = y == 23 && x >= 6 ? 7 : 6;
  }
  std::vector<uint8_t> got;
  for (int y = 0; y < 2048; ++y) got.insert(got.end(), view.Row(y), view.Row(y) + 8);
  EXPECT_EQ(got, expected);
  const RGBQUAD* palette = FreeImage_GetPalette(preview.get());
  const std::vector<PaletteEntry> red = RedPalette();
  for (int k = 0; k < 256; ++k) {
    ASSERT_EQ(palette[k].rgbRed, red[k].red) << k;
    ASSERT_EQ(palette[k].rgbGreen, 0) << k;
    ASSERT_EQ(palette[k].rgbBlue, 0) << k;
  }

  // Again: the same two files, the set untouched.
  const std::vector<uint8_t> set = ReadFileBytes(dir.File("world.set"));
  const std::vector<uint8_t> bmp = ReadFileBytes(dir.File("tileset_world.bmp"));
  Gravik(dir, {"final0", "world"});
  EXPECT_EQ(ReadFileBytes(dir.File("tileset_world.til")), tiles);
  EXPECT_EQ(ReadFileBytes(dir.File("tileset_world.bmp")), bmp);
  EXPECT_EQ(ReadFileBytes(dir.File("world.set")), set);
}

TEST(GravikTiles, FinalRefusalsAndOutputsThatCanNotBeWritten) {
  TempDir dir;
  EXPECT_EQ(Final(dir, "nowhere"),
            std::vector<std::string>{"nowhere.set tileset not found"});
  EXPECT_EQ(CountEntries(dir.path()), 0);

  // A folder in the tile file's place: the preview is still made.
  ASSERT_TRUE(WriteFileBytes(dir.File("w.set"), SetBytes(1, TestPalette(), {})));
  std::filesystem::create_directory(dir.File("tileset_w.til"));
  EXPECT_EQ(Final(dir, "w"),
            (std::vector<std::string>{" 1 tiles defined", "Creating CPC tiles set...", "can not open new tiles file",
                                      "Creating PC tiles set", "job done !"}));
  EXPECT_TRUE(std::filesystem::is_regular_file(dir.File("tileset_w.bmp")));

  std::filesystem::remove(dir.File("tileset_w.bmp"));
  std::filesystem::remove(dir.File("tileset_w.til"));
  std::filesystem::create_directory(dir.File("tileset_w.bmp"));
  EXPECT_EQ(Final(dir, "w"),
            (std::vector<std::string>{" 1 tiles defined", "Creating CPC tiles set...", "Creating PC tiles set",
                                      "FinalizeTileset : Can not write tileset_w.bmp"}));
  EXPECT_EQ(ReadFileBytes(dir.File("tileset_w.til")), std::vector<uint8_t>(4096, 0));
  EXPECT_EQ(CountEntries(dir.path()), 3);
}

TEST(GravikTiles, TileFileDecodesBackToThePicturesPens) {
  // Random pictures (pens 0 to 31, so some count as 0) whose tiles are all
  // different: tile k in scan order (bottom tile row first) is slot k + 1.
  for (const uint32_t seed : {1u, 2u, 3u}) {
    TempDir dir;
    const int width = 4 * (2 + static_cast<int>(seed));
    const int height = 8 * 3;
    const std::vector<uint8_t> pens = RandomPens(width, height, seed, 32);
    ASSERT_TRUE(WriteIndexedBmp(dir.File("pic.bmp"), width, height, pens));
    Add(dir, "pic", "set");
    Final(dir, "set");
    const std::vector<uint8_t> tiles = ReadFileBytes(dir.File("tileset_set.til"));
    ASSERT_EQ(tiles.size(), 4096u);
    const int across = width / 4;
    for (int k = 0; k < across * 3; ++k) {
      const int top = height - 8 * (k / across + 1);
      const int left = 4 * (k % across);
      for (int row = 0; row < 8; ++row) {
        for (int pair = 0; pair < 2; ++pair) {
          const Mode0Pens got = DecodeMode0Byte(tiles[16 * (k + 1) + 2 * row + pair]);
          const uint8_t even = pens[(top + row) * width + left + 2 * pair];
          const uint8_t odd = pens[(top + row) * width + left + 2 * pair + 1];
          ASSERT_EQ(got.left, even > 15 ? 0 : even) << seed << " tile " << k << " row " << row;
          ASSERT_EQ(got.right, odd > 15 ? 0 : odd) << seed << " tile " << k << " row " << row;
        }
      }
    }
  }
}

TEST(GravikTiles, ColumnOrderOfMaps) {
  TempDir dir;
  ASSERT_TRUE(WriteFileBytes(dir.File("map.bin"), {1, 2, 3, 4, 5, 6, 7, 8}));
  RunResult run = Gravik(dir, {"col", "map", "3", "2", "surplus"});
  EXPECT_EQ(AfterStartup(run), (std::vector<std::string>{"Processing...", "...Done !"}));
  EXPECT_EQ(ReadFileBytes(dir.File("map.lvl")), (std::vector<uint8_t>{1, 4, 2, 5, 3, 6}));
  Col(dir, "map", 1, 5);
  EXPECT_EQ(ReadFileBytes(dir.File("map.lvl")), (std::vector<uint8_t>{1, 2, 3, 4, 5}));
  Col(dir, "map", 8, 1);
  EXPECT_EQ(ReadFileBytes(dir.File("map.lvl")), (std::vector<uint8_t>{1, 2, 3, 4, 5, 6, 7, 8}));
}

TEST(GravikTiles, ColumnOrderRefusalsWriteNothing) {
  TempDir dir;
  ASSERT_TRUE(WriteFileBytes(dir.File("map.bin"), {1, 2, 3, 4, 5, 6}));
  const struct {
    std::string map;
    int32_t width, height;
    std::string line;
  } cases[] = {
      {"gone", 1, 1, "Can not found source :gone.bin"},
      {"map", 0, 2, "ConvertToColumnOrder : width and height must be 1 or more, not 0 x 2"},
      {"map", 3, -2, "ConvertToColumnOrder : width and height must be 1 or more, not 3 x-2"},
      {"map", 7, 1, "ConvertToColumnOrder : map.bin holds 6 bytes, a 7 x 1 map needs 7"},
      {"map", 2147483647, 2147483647,
       "ConvertToColumnOrder : map.bin holds 6 bytes, a 2147483647 x 2147483647 map needs 4611686014132420609"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(Col(dir, c.map, c.width, c.height), std::vector<std::string>{c.line});
    EXPECT_EQ(CountEntries(dir.path()), 1) << c.line;
  }
  EXPECT_EQ(AfterStartup(Gravik(dir, {"col", "map", "2"})), std::vector<std::string>{"Not enough arguments !"});

  std::filesystem::create_directory(dir.File("map.lvl"));
  EXPECT_EQ(Col(dir, "map", 3, 2),
            (std::vector<std::string>{"Processing...", "ConvertToColumnOrder : Can not write map.lvl"}));
  EXPECT_TRUE(std::filesystem::is_directory(dir.File("map.lvl")));
}
