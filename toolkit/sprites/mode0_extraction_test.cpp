#include "toolkit/sprites/mode0_extraction.h"

#include <gtest/gtest.h>

#include "common/image_io/picture_file.h"
#include "tests/test_support.h"
#include "toolkit/image_ops/linear_screen.h"

namespace {

// The pens of a saved 8-bit BMP, row 0 the top row as the picture shows it.
std::vector<uint8_t> SavedPens(const std::string& path, int& width, int& height) {
  const Checked<BmpContents> loaded = LoadBmpPicture(path);
  if (!loaded || !loaded->has_pens) return {};
  const Picture& view = loaded->picture;
  width = view.width;
  height = view.height;
  std::vector<uint8_t> pens;
  for (int y = 0; y < view.height; ++y) pens.insert(pens.end(), view.Row(y), view.Row(y) + view.width);
  return pens;
}

}  // namespace

TEST(Mode0Extraction, DecodesBytesIntoPenPairs) {
  EXPECT_EQ(DecodeMode0Rows({255, 128, 64, 0}, 0, 4, 1), (std::vector<uint8_t>{15, 15, 1, 0}));
  EXPECT_EQ(DecodeMode0Rows({9, 255, 128, 64, 0}, 1, 2, 2), (std::vector<uint8_t>{15, 15, 1, 0}));
}

TEST(Mode0Extraction, OptionsSkipTheHeaderAndTurnThePicture) {
  const TempDir dir;
  // A 128-byte file header of 0x40 bytes, then 4 x 2 pixels: rows (255 128) and (64 0).
  // Sized once and filled in place: GCC 12 -O2 sees a false out-of-bounds (-Warray-bounds) in insert() here.
  std::vector<uint8_t> data(128 + 4, 0x40);
  data[128] = 255;
  data[129] = 128;
  data[130] = 64;
  data[131] = 0;
  ASSERT_TRUE(WriteFileBytes(dir.File("data.bin"), data));
  ASSERT_TRUE(WriteIndexedBmp(dir.File("tpl.bmp"), 4, 2, std::vector<uint8_t>(8, 200), TestPalette()));
  const ConsoleCapture console;
  int width = 0;
  int height = 0;
  ASSERT_TRUE(ExtractMode0Sprite(dir.File("data.bin"), dir.File("tpl.bmp"), dir.File("up.bmp"), 0,
                                 kSkipFileHeader | kSaveUpright));
  EXPECT_EQ(SavedPens(dir.File("up.bmp"), width, height), (std::vector<uint8_t>{15, 15, 1, 0, 0, 1, 0, 0}));
  EXPECT_EQ(width, 4);
  ASSERT_TRUE(ExtractMode0Sprite(dir.File("data.bin"), dir.File("tpl.bmp"), dir.File("down.bmp"), 0, kSkipFileHeader));
  EXPECT_EQ(SavedPens(dir.File("down.bmp"), width, height), (std::vector<uint8_t>{0, 1, 0, 0, 15, 15, 1, 0}));
  // An offset of 126 without the header skip reads two header bytes first.
  ASSERT_TRUE(ExtractMode0Sprite(dir.File("data.bin"), dir.File("tpl.bmp"), dir.File("off.bmp"), 126, kSaveUpright));
  EXPECT_EQ(SavedPens(dir.File("off.bmp"), width, height), (std::vector<uint8_t>{0, 1, 0, 1, 15, 15, 1, 0}));
  EXPECT_EQ(console.lines()[0], "ExtractMode0Sprite : Extracting...");
  EXPECT_EQ(console.lines()[1], "source : " + dir.File("tpl.bmp"));
  EXPECT_EQ(console.lines()[3], "ExtractMode0Sprite : target " + dir.File("data.bin") + " 132 bytes");
  // The template's palette is kept.
  ImagePtr saved(FreeImage_Load(FIF_BMP, dir.File("up.bmp").c_str(), 0));
  ASSERT_TRUE(saved);
  EXPECT_EQ(FreeImage_GetPalette(saved.get())[15].rgbRed, TestPalette()[15].red);
}

TEST(Mode0Extraction, RefusesShortDataAndWritesNothing) {
  const TempDir dir;
  ASSERT_TRUE(WriteFileBytes(dir.File("data.bin"), std::vector<uint8_t>(100, 0xFF)));
  ASSERT_TRUE(WriteIndexedBmp(dir.File("tpl.bmp"), 40, 5, std::vector<uint8_t>(200, 1)));
  const ConsoleCapture console;
  EXPECT_FALSE(ExtractMode0Sprite(dir.File("data.bin"), dir.File("tpl.bmp"), dir.File("out.bmp"), 1, 0));
  EXPECT_EQ(console.lines().back(), "ExtractMode0Sprite : Not enough data: 101 bytes needed from offset 1");
  EXPECT_FALSE(ExtractMode0Sprite(dir.File("data.bin"), dir.File("tpl.bmp"), dir.File("out.bmp"), 0, kSkipFileHeader));
  EXPECT_EQ(console.lines().back(), "ExtractMode0Sprite : Not enough data: 228 bytes needed from offset 128");
  EXPECT_FALSE(ExtractMode0Sprite(dir.File("data.bin"), dir.File("tpl.bmp"), dir.File("out.bmp"), -1, 0));
  EXPECT_EQ(console.lines().back(), "ExtractMode0Sprite : Start offset can not be negative");
  EXPECT_FALSE(ExtractMode0Sprite(dir.File("none.bin"), dir.File("tpl.bmp"), dir.File("out.bmp"), 0, 0));
  EXPECT_EQ(console.lines().back(), "ExtractMode0Sprite : Can not read " + dir.File("none.bin"));
  // A folder as data made the stream library throw out of the operation.
  std::filesystem::create_directory(dir.path() / "folder");
  EXPECT_FALSE(ExtractMode0Sprite(dir.File("folder"), dir.File("tpl.bmp"), dir.File("out.bmp"), 0, 0));
  EXPECT_EQ(console.lines().back(), "ExtractMode0Sprite : " + dir.File("folder") + " is not a regular file");
  std::filesystem::remove(dir.path() / "folder");
  EXPECT_TRUE(ExtractMode0Sprite(dir.File("data.bin"), dir.File("tpl.bmp"), dir.File("out.bmp"), 0, 0));
  EXPECT_EQ(CountEntries(dir.path()), 3);
}

TEST(Mode0Extraction, RoundTripsAMode0Picture) {
  const TempDir dir;
  for (const int width : {2, 10, 64}) {
    const int height = 9;
    const std::vector<uint8_t> pens = RandomPens(width, height, static_cast<uint32_t>(width), 256);
    const std::vector<uint8_t> screen =
        EncodeLinearScreen(PictureFromPens(width, height, pens.data()), ScreenMode::kMode0);
    ASSERT_TRUE(WriteFileBytes(dir.File("pic.pm0"), screen));
    ASSERT_TRUE(WriteIndexedBmp(dir.File("tpl.bmp"), width, height, std::vector<uint8_t>(pens.size(), 0)));
    const ConsoleCapture console;
    ASSERT_TRUE(ExtractMode0Sprite(dir.File("pic.pm0"), dir.File("tpl.bmp"), dir.File("back.bmp"), 0, kSaveUpright));
    int read_width = 0;
    int read_height = 0;
    std::vector<uint8_t> low_pens = pens;
    for (uint8_t& pen : low_pens) pen &= 15;
    EXPECT_EQ(SavedPens(dir.File("back.bmp"), read_width, read_height), low_pens) << width;
  }
}
