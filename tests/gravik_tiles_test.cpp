// add0, final0 and col end to end in a scratch folder.
#include <FreeImage.h>
#include <gtest/gtest.h>

#include <array>
#include <filesystem>
#include <string>
#include <vector>

#include "common/cpc_pixels.h"
#include "tests/test_support.h"
#include "toolkit/source_image.h"
#include "toolkit/tiles/column_order.h"
#include "toolkit/tiles/tileset_add.h"
#include "toolkit/tiles/tileset_finalize.h"

namespace {

using Lines = std::vector<std::string>;
using Record = std::array<uint8_t, 32>;
constexpr char kFull[] = "WARNING ! Reached max tiles for this system (255)";

Lines Gravik(const TempDir& dir, const std::vector<std::string>& args) {
  return AfterStartup(RunProgram(GRAVIK_BIN, args, dir.path()));
}

// Most cases call the operation in this process from inside dir, as cheaper
// than a run of the program under the sanitizers; returns its console lines.
template <typename Operation>
Lines InFolder(const TempDir& dir, Operation operation) {
  const std::filesystem::path previous = std::filesystem::current_path();
  std::filesystem::current_path(dir.path());
  Lines lines;
  {
    const ConsoleCapture capture;
    operation();
    lines = capture.lines();
  }
  std::filesystem::current_path(previous);
  return lines;
}
Lines Add(const TempDir& dir, const std::string& image, const std::string& set) {
  return InFolder(dir, [&] { AddToTileset(image + ".bmp", set + ".set"); });
}
Lines Final(const TempDir& dir, const std::string& set) {
  return InFolder(dir, [&] { FinalizeTileset(set); });
}

// A picture of 4 x 8 tiles, each of one pen: tiles[row][column], rows from the top.
bool WriteTiles(const TempDir& dir, const std::string& name, const std::vector<std::vector<uint8_t>>& tiles,
                const std::vector<PaletteEntry>& palette = TestPalette()) {
  const int width = static_cast<int>(tiles[0].size()) * 4;
  const int height = static_cast<int>(tiles.size()) * 8;
  std::vector<uint8_t> pens(static_cast<size_t>(width) * height);
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) pens[y * width + x] = tiles[y / 8][x / 4];
  }
  return WriteIndexedBmp(dir.File(name + ".bmp"), width, height, pens, palette);
}

Record Uniform(uint8_t pen) {
  Record record{};
  record.fill(pen);
  return record;
}

// A tileset file: count, palette as blue, green, red, 0, then the records.
std::vector<uint8_t> SetBytes(int32_t count, const std::vector<Record>& records,
                              const std::vector<PaletteEntry>& palette = TestPalette()) {
  std::vector<uint8_t> bytes(9220, 0);
  for (int k = 0; k < 4; ++k) bytes[k] = static_cast<uint8_t>(static_cast<uint32_t>(count) >> (8 * k));
  for (size_t k = 0; k < 256; ++k) {
    bytes[4 + 4 * k] = palette[k].blue;
    bytes[5 + 4 * k] = palette[k].green;
    bytes[6 + 4 * k] = palette[k].red;
  }
  for (size_t slot = 0; slot < records.size(); ++slot) {
    std::copy(records[slot].begin(), records[slot].end(), bytes.begin() + 1028 + 32 * slot);
  }
  return bytes;
}

// The three lines add0 prints before its checks, then more.
Lines PictureLines(const std::string& name, int width, int height, int bits, const Lines& more) {
  // Appended, not " " + text: GCC 12 at -O2 sees a false overlap (-Wrestrict) in that form.
  const auto text = [](int v) {
    std::string spaced = " ";
    spaced += std::to_string(v);
    return spaced;
  };
  Lines lines = {"source : " + name + ".bmp", text(width) + "/" + text(height) + " @" + text(bits),
                 text(width / 4) + "/" + text(height / 8) + "(" + text(width / 4 * (height / 8)) + ") tiles"};
  lines.insert(lines.end(), more.begin(), more.end());
  return lines;
}

std::vector<PaletteEntry> RedPalette() {
  std::vector<PaletteEntry> palette(256);
  for (int k = 0; k < 256; ++k) palette[k] = {static_cast<uint8_t>(255 - k), 0, 0};
  return palette;
}

}  // namespace

TEST(GravikTiles, AddNumbersTilesInOrderOfFirstAppearanceAcrossRuns) {
  TempDir dir;
  // The bottom tile row (3, 0) is met before the top one (1, 2).
  ASSERT_TRUE(WriteTiles(dir, "first", {{1, 2}, {3, 0}}));
  ASSERT_TRUE(WriteTiles(dir, "second", {{2, 4}, {5, 4}}, RedPalette()));
  EXPECT_EQ(Gravik(dir, {"add0", "first", "level"}),
            PictureLines("first", 8, 16, 8,
                         {"level.set does not exist, creating...", "Added  3 tiles", "Total tileset  4"}));
  EXPECT_EQ(ReadFileBytes(dir.File("level.set")),
            SetBytes(4, {Uniform(0), Uniform(3), Uniform(1), Uniform(2)}));

  // Another palette: the pens are stored as they are, the set keeps its palette.
  EXPECT_EQ(Gravik(dir, {"add0", "second", "level"}),
            PictureLines("second", 8, 16, 8, {"loading level.set", "Added  2 tiles", "Total tileset  6"}));
  const std::vector<uint8_t> six =
      SetBytes(6, {Uniform(0), Uniform(3), Uniform(1), Uniform(2), Uniform(5), Uniform(4)});
  EXPECT_EQ(ReadFileBytes(dir.File("level.set")), six);

  EXPECT_EQ(Gravik(dir, {"ADD0", "first", "level"}),
            PictureLines("first", 8, 16, 8, {"loading level.set", "Added  0 tiles", "Total tileset  6"}));
  EXPECT_EQ(ReadFileBytes(dir.File("level.set")), six);
  EXPECT_EQ(CountEntries(dir.path()), 3);
}

TEST(GravikTiles, AddReadsTileLinesBottomUpAndPensAbove15AsZero) {
  TempDir dir;
  // Picture row y (from the top) holds pens y, y + 16, 200, 15.
  std::vector<uint8_t> pens;
  for (int y = 0; y < 8; ++y)
    pens.insert(pens.end(), {static_cast<uint8_t>(y), static_cast<uint8_t>(y + 16), 200, 15});
  ASSERT_TRUE(WriteIndexedBmp(dir.File("one.bmp"), 4, 8, pens));
  Add(dir, "one", "set");
  Record tile{};
  for (int line = 0; line < 8; ++line) {
    tile[line * 4] = static_cast<uint8_t>(7 - line);  // line 0 is the bottom row
    tile[line * 4 + 3] = 15;
  }
  EXPECT_EQ(ReadFileBytes(dir.File("set.set")), SetBytes(2, {Uniform(0), tile}));

  ASSERT_TRUE(WriteTiles(dir, "blank", {{0, 16, 255}, {99, 0, 32}}));
  EXPECT_EQ(Add(dir, "blank", "empty"),
            PictureLines("blank", 12, 16, 8,
                         {"empty.set does not exist, creating...", "Added  0 tiles", "Total tileset  1"}));
  EXPECT_EQ(ReadFileBytes(dir.File("empty.set")), SetBytes(1, {}));
}

TEST(GravikTiles, AddWarnsForEveryTileBeyond255) {
  TempDir dir;
  std::vector<Record> records(254);  // tiles 1 to 253 match no one-pen tile
  for (int slot = 1; slot < 254; ++slot)
    records[slot] = {static_cast<uint8_t>(slot % 16), static_cast<uint8_t>(slot / 16 + 1)};
  ASSERT_TRUE(WriteFileBytes(dir.File("full.set"), SetBytes(254, records)));
  ASSERT_TRUE(WriteTiles(dir, "two_new", {{9, 10, 9}}));
  ASSERT_TRUE(WriteTiles(dir, "one_new_twice", {{11, 9, 11}}));
  EXPECT_EQ(
      Add(dir, "two_new", "full"),
      PictureLines("two_new", 12, 8, 8, {"loading full.set", kFull, "Added  1 tiles", "Total tileset  255"}));
  records.push_back(Uniform(9));
  EXPECT_EQ(ReadFileBytes(dir.File("full.set")), SetBytes(255, records));
  EXPECT_EQ(Add(dir, "one_new_twice", "full"),
            PictureLines("one_new_twice", 12, 8, 8,
                         {"loading full.set", kFull, kFull, "Added  0 tiles", "Total tileset  255"}));
  EXPECT_EQ(ReadFileBytes(dir.File("full.set")), SetBytes(255, records));
}

TEST(GravikTiles, AddRefusesPicturesAfterItsThreeLinesAndTouchesNoSet) {
  TempDir dir;
  ASSERT_TRUE(WriteIndexedBmp(dir.File("narrow.bmp"), 6, 8, std::vector<uint8_t>(48, 1)));
  ASSERT_TRUE(WriteIndexedBmp(dir.File("short.bmp"), 8, 12, std::vector<uint8_t>(96, 1)));
  ASSERT_TRUE(WriteBmpOfDepth(dir.File("deep.bmp"), 16, 8, 24));
  ASSERT_TRUE(WriteBmpOfDepth(dir.File("four.bmp"), 6, 8, 4));
  const std::vector<uint8_t> kept = SetBytes(2, {Uniform(0), Uniform(1)});
  ASSERT_TRUE(WriteFileBytes(dir.File("kept.set"), kept));
  const std::string kTiles = "Source must be composed of (4*8)pixels tiles";
  for (const std::string set : {"new", "kept"}) {
    EXPECT_EQ(Add(dir, "narrow", set), PictureLines("narrow", 6, 8, 8, {kTiles}));
    EXPECT_EQ(Add(dir, "short", set), PictureLines("short", 8, 12, 8, {kTiles}));
    EXPECT_EQ(Add(dir, "deep", set), PictureLines("deep", 16, 8, 24, {"Source must be 8 bits"}));
    EXPECT_EQ(Add(dir, "four", set), PictureLines("four", 6, 8, 4, {"Source must be 8 bits"}));
    EXPECT_EQ(Add(dir, "nothing", set), Lines{"Can not load nothing.bmp"});
  }
  EXPECT_EQ(ReadFileBytes(dir.File("kept.set")), kept);
  EXPECT_EQ(CountEntries(dir.path()), 5);

  ASSERT_TRUE(WriteTiles(dir, "pic", {{1}}));
  EXPECT_EQ(Add(dir, "pic", "missing/set"), PictureLines("pic", 4, 8, 8,
                                                         {"missing/set.set does not exist, creating...",
                                                          "AddToTileset : Can not create missing/set.set"}));
  EXPECT_EQ(CountEntries(dir.path()), 6);
}

TEST(GravikTiles, DamagedSetIsRefusedAndLeftAsItWas) {
  TempDir dir;
  ASSERT_TRUE(WriteTiles(dir, "pic", {{1, 2}}));
  std::vector<uint8_t> long_set = SetBytes(1, {});
  long_set.push_back(0);
  const std::pair<std::vector<uint8_t>, std::string> cases[] = {
      {{}, "0 bytes instead of 9220"},
      {std::vector<uint8_t>(9219, 0), "9219 bytes instead of 9220"},
      {long_set, "9221 bytes instead of 9220"},
      {SetBytes(256, {}), "tile count 256 outside 0 to 255"},
      {SetBytes(-1, {}), "tile count -1 outside 0 to 255"},
  };
  for (const auto& [bytes, reason] : cases) {
    ASSERT_TRUE(WriteFileBytes(dir.File("set.set"), bytes));
    const std::string refusal = "set.set is not a tileset file: " + reason;
    EXPECT_EQ(Add(dir, "pic", "set"), PictureLines("pic", 8, 8, 8, {"AddToTileset : " + refusal}));
    EXPECT_EQ(ReadFileBytes(dir.File("set.set")), bytes);
    EXPECT_EQ(Final(dir, "set"), Lines{"FinalizeTileset : " + refusal});
    EXPECT_EQ(CountEntries(dir.path()), 2) << reason;
  }
  std::filesystem::remove(dir.File("set.set"));
  std::filesystem::create_directory(dir.File("set.set"));
  EXPECT_EQ(Add(dir, "pic", "set").back(), "AddToTileset : Can not read set.set");
  EXPECT_EQ(Final(dir, "set"), Lines{"FinalizeTileset : Can not read set.set"});
  EXPECT_EQ(CountEntries(dir.path()), 2);
}

TEST(GravikTiles, FinalWritesTheTileFileAndAnUprightPreview) {
  TempDir dir;
  // Tile 1: top row pens 1, 2, 3, 4 over pen 0. Tile 2: pen 6, pen 7 bottom right.
  std::vector<uint8_t> pens = {1, 2, 3, 4, 6, 6, 6, 6};
  pens.resize(64, 0);
  for (int y = 1; y < 8; ++y) std::fill_n(pens.begin() + y * 8 + 4, 4, 6);
  pens[63] = 7;
  ASSERT_TRUE(WriteIndexedBmp(dir.File("pic.bmp"), 8, 8, pens, RedPalette()));
  Gravik(dir, {"add0", "pic", "world"});
  const Lines done = {" 3 tiles defined", "Creating CPC tiles set...", "Creating PC tiles set", "job done !"};
  EXPECT_EQ(Gravik(dir, {"final0", "world"}), done);

  std::vector<uint8_t> tiles(4096, 0);
  tiles[16] = 132;
  tiles[17] = 152;
  std::fill_n(tiles.begin() + 32, 16, EncodeMode0Byte(6, 6));
  tiles[47] = EncodeMode0Byte(6, 7);
  EXPECT_EQ(ReadFileBytes(dir.File("tileset_world.til")), tiles);

  const ImagePtr preview(FreeImage_Load(FIF_BMP, dir.File("tileset_world.bmp").c_str(), 0));
  ASSERT_TRUE(preview);
  ASSERT_EQ(FreeImage_GetBPP(preview.get()), 8u);
  ASSERT_EQ(FreeImage_GetWidth(preview.get()), 8u);
  ASSERT_EQ(FreeImage_GetHeight(preview.get()), 2048u);
  std::vector<uint8_t> expected(8 * 2048, 0);
  const uint8_t top_row[] = {1, 1, 2, 2, 3, 3, 4, 4};  // tile 1's top row on row 8
  std::copy_n(top_row, 8, expected.begin() + 8 * 8);
  std::fill_n(expected.begin() + 8 * 16, 8 * 8, 6);  // tile 2 on rows 16 to 23
  expected[8 * 23 + 6] = expected[8 * 23 + 7] = 7;
  const Picture view = PictureOfBitmap(preview.get());
  std::vector<uint8_t> got;
  for (int y = 0; y < 2048; ++y) got.insert(got.end(), view.Row(y), view.Row(y) + 8);
  EXPECT_EQ(got, expected);
  const RGBQUAD* palette = FreeImage_GetPalette(preview.get());
  for (int k = 0; k < 256; ++k) {
    ASSERT_EQ(std::vector<int>({palette[k].rgbRed, palette[k].rgbGreen, palette[k].rgbBlue}),
              std::vector<int>({255 - k, 0, 0}));
  }

  // Again: the same two files, the set untouched.
  const std::vector<uint8_t> set = ReadFileBytes(dir.File("world.set"));
  const std::vector<uint8_t> bmp = ReadFileBytes(dir.File("tileset_world.bmp"));
  EXPECT_EQ(Final(dir, "world"), done);
  EXPECT_EQ(ReadFileBytes(dir.File("tileset_world.til")), tiles);
  EXPECT_EQ(ReadFileBytes(dir.File("tileset_world.bmp")), bmp);
  EXPECT_EQ(ReadFileBytes(dir.File("world.set")), set);
}

TEST(GravikTiles, FinalRefusalsAndOutputsThatCanNotBeWritten) {
  TempDir dir;
  EXPECT_EQ(Gravik(dir, {"final0", "nowhere"}), Lines{"nowhere.set tileset not found"});
  EXPECT_EQ(CountEntries(dir.path()), 0);

  // A folder in the tile file's place: the preview is still made.
  ASSERT_TRUE(WriteFileBytes(dir.File("w.set"), SetBytes(1, {})));
  std::filesystem::create_directory(dir.File("tileset_w.til"));
  EXPECT_EQ(Final(dir, "w"), (Lines{" 1 tiles defined", "Creating CPC tiles set...",
                                    "can not open new tiles file", "Creating PC tiles set", "job done !"}));
  EXPECT_TRUE(std::filesystem::is_regular_file(dir.File("tileset_w.bmp")));

  std::filesystem::remove(dir.File("tileset_w.bmp"));
  std::filesystem::remove(dir.File("tileset_w.til"));
  std::filesystem::create_directory(dir.File("tileset_w.bmp"));
  EXPECT_EQ(Final(dir, "w"), (Lines{" 1 tiles defined", "Creating CPC tiles set...", "Creating PC tiles set",
                                    "FinalizeTileset : Can not write tileset_w.bmp"}));
  EXPECT_EQ(ReadFileBytes(dir.File("tileset_w.til")), std::vector<uint8_t>(4096, 0));
  EXPECT_EQ(CountEntries(dir.path()), 3);
}

TEST(GravikTiles, TileFileDecodesBackToThePicturesPens) {
  // Random pictures (pens 0 to 31) whose tiles all differ: tile k in scan order
  // (bottom tile row first) is slot k + 1.
  for (const int across : {2, 3, 5}) {
    TempDir dir;
    const int width = 4 * across;
    const std::vector<uint8_t> pens = RandomPens(width, 24, static_cast<uint32_t>(across), 32);
    ASSERT_TRUE(WriteIndexedBmp(dir.File("pic.bmp"), width, 24, pens));
    Add(dir, "pic", "set");
    Final(dir, "set");
    const std::vector<uint8_t> tiles = ReadFileBytes(dir.File("tileset_set.til"));
    ASSERT_EQ(tiles.size(), 4096u);
    for (int k = 0; k < across * 3; ++k) {
      const int top = 24 - 8 * (k / across + 1);
      for (int row = 0; row < 8; ++row) {
        for (int pair = 0; pair < 2; ++pair) {
          const Mode0Pens got = DecodeMode0Byte(tiles[16 * (k + 1) + 2 * row + pair]);
          const uint8_t* even = &pens[(top + row) * width + 4 * (k % across) + 2 * pair];
          ASSERT_EQ(got.left, even[0] > 15 ? 0 : even[0]) << across << " tile " << k << " row " << row;
          ASSERT_EQ(got.right, even[1] > 15 ? 0 : even[1]) << across << " tile " << k << " row " << row;
        }
      }
    }
  }
}

TEST(GravikTiles, ColumnOrderOfMapsAndItsRefusals) {
  TempDir dir;
  ASSERT_TRUE(WriteFileBytes(dir.File("map.bin"), {1, 2, 3, 4, 5, 6, 7}));
  EXPECT_EQ(Gravik(dir, {"col", "map", "3", "2", "surplus"}), (Lines{"Processing...", "...Done !"}));
  EXPECT_EQ(ReadFileBytes(dir.File("map.lvl")), (std::vector<uint8_t>{1, 4, 2, 5, 3, 6}));
  const auto col = [&](const std::string& map, int32_t width, int32_t height) {
    return InFolder(dir, [&] { ConvertToColumnOrder(map + ".bin", map + ".lvl", width, height); });
  };
  col("map", 1, 5);
  EXPECT_EQ(ReadFileBytes(dir.File("map.lvl")), (std::vector<uint8_t>{1, 2, 3, 4, 5}));
  col("map", 7, 1);
  EXPECT_EQ(ReadFileBytes(dir.File("map.lvl")), (std::vector<uint8_t>{1, 2, 3, 4, 5, 6, 7}));

  std::filesystem::remove(dir.File("map.lvl"));
  const std::string kPrefix = "ConvertToColumnOrder : ";
  EXPECT_EQ(col("gone", 1, 1), Lines{"Can not found source :gone.bin"});
  EXPECT_EQ(col("map", 0, 2), Lines{kPrefix + "width and height must be 1 or more, not 0 x 2"});
  EXPECT_EQ(col("map", 3, -2), Lines{kPrefix + "width and height must be 1 or more, not 3 x-2"});
  EXPECT_EQ(col("map", 4, 2), Lines{kPrefix + "map.bin holds 7 bytes, a 4 x 2 map needs 8"});
  EXPECT_EQ(
      col("map", 2147483647, 2147483647),
      Lines{kPrefix + "map.bin holds 7 bytes, a 2147483647 x 2147483647 map needs 4611686014132420609"});
  EXPECT_EQ(Gravik(dir, {"col", "map", "2"}), Lines{"Not enough arguments !"});
  EXPECT_EQ(CountEntries(dir.path()), 1);

  std::filesystem::create_directory(dir.File("map.lvl"));
  EXPECT_EQ(col("map", 3, 2), (Lines{"Processing...", kPrefix + "Can not write map.lvl"}));
  EXPECT_TRUE(std::filesystem::is_directory(dir.File("map.lvl")));
}
