// gravik raw, spt, bmp and pal run for real in a scratch folder.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "tests/test_support.h"
#include "toolkit/source_image.h"

namespace {

const std::string kFixtures = TARSEL_SOURCE_DIR "/tests/fixtures/";

RunResult Gravik(const TempDir& dir, const std::vector<std::string>& args) {
  return RunProgram(GRAVIK_BIN, args, dir.path());
}

void CopyFixture(const TempDir& dir, const std::string& fixture, const std::string& as) {
  std::filesystem::copy_file(kFixtures + fixture, dir.File(as));
}

ImagePtr LoadBmp(const std::string& path) { return ImagePtr(FreeImage_Load(FIF_BMP, path.c_str(), 0)); }

// The pens of an 8-bit picture, row 0 the top row.
std::vector<uint8_t> PensOf(FIBITMAP* image) {
  const Picture view = PictureOfBitmap(image);
  std::vector<uint8_t> pens;
  for (int y = 0; y < view.height; ++y) pens.insert(pens.end(), view.Row(y), view.Row(y) + view.width);
  return pens;
}

std::vector<uint8_t> PaletteBytes(FIBITMAP* image) {
  const auto* bytes = reinterpret_cast<const uint8_t*>(FreeImage_GetPalette(image));
  if (bytes == nullptr) return {};
  return std::vector<uint8_t>(bytes, bytes + 4 * FreeImage_GetColorsUsed(image));
}

// Every palette entry different, in all three channels, across all 256 entries.
std::vector<PaletteEntry> DistinctPalette() {
  std::vector<PaletteEntry> palette(256);
  for (int k = 0; k < 256; ++k) {
    palette[k] = {static_cast<uint8_t>(k), static_cast<uint8_t>(255 - k), static_cast<uint8_t>(k * 7)};
  }
  return palette;
}

// --- raw ---

TEST(GravikRaw, OddWidthKeepsLowNibbleOfEveryPen) {
  TempDir dir;
  ASSERT_TRUE(WriteIndexedBmp(dir.File("pic.bmp"), 5, 2, {0, 15, 16, 17, 255, 31, 32, 47, 48, 200}));
  const RunResult run = Gravik(dir, {"raw", "pic"});
  EXPECT_EQ(AfterStartup(run), (std::vector<std::string>{"ExtractRawPixels : pic.bmp", "source : pic.bmp",
                                                         " 5/ 2 @ 8", "Image dimensions :  5/ 2"}));
  EXPECT_EQ(ReadFileBytes(dir.File("pic.px8")), (std::vector<uint8_t>{0, 15, 0, 1, 15, 15, 0, 15, 0, 8}));
  EXPECT_EQ(CountEntries(dir.path()), 2);
}

TEST(GravikRaw, RefusalsWriteNothing) {
  TempDir dir;
  ASSERT_TRUE(WriteBmpOfDepth(dir.File("deep.bmp"), 6, 2, 24));
  EXPECT_EQ(AfterStartup(Gravik(dir, {"raw", "deep"})),
            (std::vector<std::string>{"ExtractRawPixels : deep.bmp", "source : deep.bmp", " 6/ 2 @ 24",
                                      "Source must be 8 bits"}));
  EXPECT_EQ(CountEntries(dir.path()), 1);

  // The output name is taken by a folder: reported, and no stray temporary file.
  ASSERT_TRUE(WriteIndexedBmp(dir.File("pic.bmp"), 3, 1, {1, 2, 3}));
  std::filesystem::create_directory(dir.File("pic.px8"));
  const std::vector<std::string> lines = AfterStartup(Gravik(dir, {"raw", "pic"}));
  ASSERT_FALSE(lines.empty());
  EXPECT_EQ(lines.back(), "ExtractRawPixels : Can not write pic.px8");
  EXPECT_EQ(CountEntries(dir.path()), 3);
  EXPECT_TRUE(std::filesystem::is_directory(dir.File("pic.px8")));
}

// --- spt ---

TEST(GravikSpt, CellsNamedInHexLeftToRightThenDown) {
  TempDir dir;
  // 17 columns, and 40 rows: two rows of cells and an 8-row band left over.
  const std::vector<uint8_t> pens = RandomPens(272, 40, 6);
  ASSERT_TRUE(WriteIndexedBmp(dir.File("hero.bmp"), 272, 40, pens, DistinctPalette()));
  const RunResult run = Gravik(dir, {"spt", "hero"});
  std::vector<std::string> expected = {"SplitSprite : hero.bmp", "source : hero.bmp", " 272/ 40 @ 8",
                                       "SplitSprite : Processing  34 sprites"};
  const char* const kColumns[] = {"0", "1", "2", "3", "4", "5", "6", "7", "8",
                                  "9", "A", "B", "C", "D", "E", "F", "10"};
  for (const char* row : {"0", "1"}) {
    for (const char* column : kColumns) {
      expected.push_back(std::string("SplitSprite : Saving split_hero") + column + "-" + row + ".bmp");
    }
  }
  EXPECT_EQ(AfterStartup(run), expected);
  EXPECT_EQ(CountEntries(dir.path()), 35);

  // Cells read back upright, 16 x 16 x 8 bits, every index and the whole palette kept.
  const ImagePtr sheet = LoadBmp(dir.File("hero.bmp"));
  ASSERT_TRUE(sheet);
  struct Cell {
    const char* file;
    int column;
    int row;
  };
  for (const Cell& cell : {Cell{"split_hero0-0.bmp", 0, 0}, Cell{"split_heroA-1.bmp", 10, 1},
                           Cell{"split_hero10-1.bmp", 16, 1}}) {
    SCOPED_TRACE(cell.file);
    const ImagePtr image = LoadBmp(dir.File(cell.file));
    ASSERT_TRUE(image);
    EXPECT_EQ(FreeImage_GetWidth(image.get()), 16u);
    EXPECT_EQ(FreeImage_GetHeight(image.get()), 16u);
    EXPECT_EQ(FreeImage_GetBPP(image.get()), 8u);
    EXPECT_EQ(PaletteBytes(image.get()), PaletteBytes(sheet.get()));
    std::vector<uint8_t> expected_pens;
    for (int y = 0; y < 16; ++y) {
      const auto row_start = pens.begin() + (cell.row * 16 + y) * 272 + cell.column * 16;
      expected_pens.insert(expected_pens.end(), row_start, row_start + 16);
    }
    EXPECT_EQ(PensOf(image.get()), expected_pens);
  }
}

TEST(GravikSpt, SheetFromImageMagickKeepsPensAbove15) {
  TempDir dir;
  CopyFixture(dir, "magick_sheet.bmp", "sheet.bmp");
  EXPECT_EQ(AfterStartup(Gravik(dir, {"spt", "sheet"})),
            (std::vector<std::string>{"SplitSprite : sheet.bmp", "source : sheet.bmp", " 32/ 16 @ 8",
                                      "SplitSprite : Processing  2 sprites",
                                      "SplitSprite : Saving split_sheet0-0.bmp",
                                      "SplitSprite : Saving split_sheet1-0.bmp"}));
  const ImagePtr sheet = LoadBmp(dir.File("sheet.bmp"));
  ASSERT_TRUE(sheet);
  const std::vector<uint8_t> sheet_pens = PensOf(sheet.get());
  EXPECT_GT(*std::max_element(sheet_pens.begin(), sheet_pens.end()), 15);
  for (int column = 0; column < 2; ++column) {
    const ImagePtr cell = LoadBmp(dir.File("split_sheet" + std::to_string(column) + "-0.bmp"));
    ASSERT_TRUE(cell);
    std::vector<uint8_t> expected;
    for (int y = 0; y < 16; ++y) {
      const auto row_start = sheet_pens.begin() + y * 32 + column * 16;
      expected.insert(expected.end(), row_start, row_start + 16);
    }
    EXPECT_EQ(PensOf(cell.get()), expected) << column;
    EXPECT_EQ(PaletteBytes(cell.get()), PaletteBytes(sheet.get()));
  }
}

TEST(GravikSpt, ShortOrNarrowSheetsWriteNothing) {
  TempDir dir;
  ASSERT_TRUE(WriteIndexedBmp(dir.File("low.bmp"), 32, 15, RandomPens(32, 15, 1)));
  EXPECT_EQ(AfterStartup(Gravik(dir, {"spt", "low"})),
            (std::vector<std::string>{"SplitSprite : low.bmp", "source : low.bmp", " 32/ 15 @ 8",
                                      "SplitSprite : Processing  0 sprites"}));
  ASSERT_TRUE(WriteIndexedBmp(dir.File("thin.bmp"), 24, 16, RandomPens(24, 16, 2)));
  EXPECT_EQ(AfterStartup(Gravik(dir, {"spt", "thin"})),
            (std::vector<std::string>{"SplitSprite : thin.bmp", "source : thin.bmp", " 24/ 16 @ 8",
                                      "Source width is not valid, must be a multiple of  16"}));
  EXPECT_EQ(CountEntries(dir.path()), 2);
}

TEST(GravikSpt, FolderPartOfTheNameFollowsThePrefix) {
  TempDir dir;
  std::filesystem::create_directory(dir.File("art"));
  ASSERT_TRUE(WriteIndexedBmp(dir.File("art/hero.bmp"), 32, 16, RandomPens(32, 16, 3)));

  // No folder split_art yet: each cell says so in one line, and the next one is tried.
  EXPECT_EQ(
      AfterStartup(Gravik(dir, {"spt", "art/hero"})),
      (std::vector<std::string>{
          "SplitSprite : art/hero.bmp", "source : art/hero.bmp", " 32/ 16 @ 8",
          "SplitSprite : Processing  2 sprites", "SplitSprite : Saving split_art/hero0-0.bmp",
          "SplitSprite : Can not create split_art/hero0-0.bmp", "SplitSprite : Saving split_art/hero1-0.bmp",
          "SplitSprite : Can not create split_art/hero1-0.bmp"}));
  EXPECT_EQ(CountEntries(dir.path()), 1);

  std::filesystem::create_directory(dir.File("split_art"));
  Gravik(dir, {"spt", "art/hero"});
  EXPECT_TRUE(std::filesystem::exists(dir.File("split_art/hero0-0.bmp")));
  EXPECT_TRUE(std::filesystem::exists(dir.File("split_art/hero1-0.bmp")));
  EXPECT_EQ(CountEntries(dir.File("split_art")), 2);
}

// --- bmp ---

struct Rgb {
  int red, green, blue;
  bool operator==(const Rgb&) const = default;
};

// The colour of (x, y from the top) of a picture of 4, 8, 24 or 32 bits.
Rgb ColourAt(FIBITMAP* image, int x, int y) {
  RGBQUAD colour{};
  const unsigned line = FreeImage_GetHeight(image) - 1 - static_cast<unsigned>(y);
  if (FreeImage_GetBPP(image) <= 8) {
    BYTE index = 0;
    FreeImage_GetPixelIndex(image, static_cast<unsigned>(x), line, &index);
    colour = FreeImage_GetPalette(image)[index];
  } else {
    FreeImage_GetPixelColor(image, static_cast<unsigned>(x), line, &colour);
  }
  return {colour.rgbRed, colour.rgbGreen, colour.rgbBlue};
}

// The 6 x 4 picture of every magick_* fixture but the sheet.
void ExpectFixturePicture(FIBITMAP* image) {
  const Rgb black{0, 0, 0}, red{255, 0, 0}, lime{0, 255, 0}, blue{0, 0, 255};
  ASSERT_EQ(FreeImage_GetWidth(image), 6u);
  ASSERT_EQ(FreeImage_GetHeight(image), 4u);
  const Rgb expected[4][6] = {{red, lime, blue, black, black, black},
                              {black, black, black, black, black, black},
                              {lime, lime, lime, lime, lime, lime},
                              {black, black, black, black, blue, red}};
  for (int y = 0; y < 4; ++y) {
    for (int x = 0; x < 6; ++x) EXPECT_TRUE(ColourAt(image, x, y) == expected[y][x]) << x << "," << y;
  }
}

TEST(GravikBmp, ImageMagickPicturesBecomeBmpsOfTheSameDepth) {
  struct Case {
    const char* fixture;
    const char* input;
    unsigned bits_per_pixel;
  };
  for (const Case& c : {Case{"magick_indexed.png", "pic.png", 8}, Case{"magick_rgb.png", "pic.png", 24},
                        Case{"magick_pens.gif", "pic.gif", 4}, Case{"magick_rgb.tga", "pic.tga", 24},
                        Case{"magick_4bit.bmp", "pic.bmp", 4}}) {
    SCOPED_TRACE(c.fixture);
    TempDir dir;
    CopyFixture(dir, c.fixture, c.input);
    EXPECT_EQ(AfterStartup(Gravik(dir, {"bmp", c.input, "out.bmp"})),
              (std::vector<std::string>{std::string("ChangeImageFormat : Successfull conversion from ") +
                                        c.input + " to out.bmp (bmp format)"}));
    EXPECT_EQ(FreeImage_GetFileType(dir.File("out.bmp").c_str(), 0), FIF_BMP);
    const ImagePtr output = LoadBmp(dir.File("out.bmp"));
    const FREE_IMAGE_FORMAT format = FreeImage_GetFIFFromFilename(c.input);
    const ImagePtr input(FreeImage_Load(format, dir.File(c.input).c_str(), 0));
    ASSERT_TRUE(output && input);
    EXPECT_EQ(FreeImage_GetBPP(output.get()), c.bits_per_pixel);
    EXPECT_EQ(FreeImage_GetBPP(output.get()), FreeImage_GetBPP(input.get()));
    EXPECT_EQ(PaletteBytes(output.get()), PaletteBytes(input.get()));
    ExpectFixturePicture(output.get());
  }
}

TEST(GravikBmp, OutputNamedPngStillHoldsBmp) {
  TempDir dir;
  CopyFixture(dir, "magick_rgb.tga", "pic.tga");
  const RunResult run = Gravik(dir, {"bmp", "pic.tga", "copy.png"});
  EXPECT_EQ(AfterStartup(run),
            (std::vector<std::string>{
                "ChangeImageFormat : Successfull conversion from pic.tga to copy.png (bmp format)"}));
  const std::vector<uint8_t> bytes = ReadFileBytes(dir.File("copy.png"));
  ASSERT_GE(bytes.size(), 2u);
  EXPECT_EQ(bytes[0], 'B');
  EXPECT_EQ(bytes[1], 'M');
  const ImagePtr output = LoadBmp(dir.File("copy.png"));
  ASSERT_TRUE(output);
  ExpectFixturePicture(output.get());
}

TEST(GravikBmp, UnknownOrUnreadableInputsWriteNothing) {
  TempDir dir;
  CopyFixture(dir, "magick_rgb.png", "pic");
  CopyFixture(dir, "magick_rgb.png", "pic.xyz");
  ASSERT_TRUE(WriteFileBytes(dir.File("junk.png"), {'n', 'o', 't', ' ', 'a', ' ', 'p', 'n', 'g'}));
  // The library's PICT reader never returns on these: they must be refused before it runs.
  CopyFixture(dir, "magick_rgb.png", "png.pct");
  ASSERT_TRUE(WriteFileBytes(dir.File("zero.pct"), std::vector<uint8_t>(600, 0)));
  EXPECT_EQ(AfterStartup(Gravik(dir, {"bmp", "pic", "out.bmp"})),
            (std::vector<std::string>{"ChangeImageFormat : Can not determine image format pic"}));
  EXPECT_EQ(AfterStartup(Gravik(dir, {"bmp", "pic.xyz", "out.bmp"})),
            (std::vector<std::string>{"ChangeImageFormat : Can not determine image format pic.xyz"}));
  for (const char* input : {"junk.png", "missing.gif", "png.pct", "zero.pct"}) {
    // A library diagnostic may come first; the operation's own line is the last.
    const std::vector<std::string> lines = AfterStartup(Gravik(dir, {"bmp", input, "out.bmp"}));
    ASSERT_FALSE(lines.empty());
    EXPECT_EQ(lines.back(), std::string("ChangeImageFormat : Can not load image ") + input);
  }
  EXPECT_EQ(CountEntries(dir.path()), 5);
}

TEST(GravikBmp, PictureBmpCannotHoldLeavesTheOldFile) {
  TempDir dir;
  // 16 bits a channel: PNG holds it, BMP does not.
  {
    const ImagePtr deep(FreeImage_AllocateT(FIT_RGB16, 4, 2, 48));
    ASSERT_TRUE(deep);
    ASSERT_TRUE(FreeImage_Save(FIF_PNG, deep.get(), dir.File("deep.png").c_str(), 0));
  }
  ASSERT_TRUE(WriteFileBytes(dir.File("out.bmp"), {'o', 'l', 'd'}));
  const std::vector<std::string> lines = AfterStartup(Gravik(dir, {"bmp", "deep.png", "out.bmp"}));
  ASSERT_FALSE(lines.empty());
  EXPECT_EQ(lines.back(), "ChangeImageFormat : Can not save image out.bmp");
  EXPECT_EQ(ReadFileBytes(dir.File("out.bmp")), (std::vector<uint8_t>{'o', 'l', 'd'}));

  CopyFixture(dir, "magick_rgb.png", "pic.png");
  EXPECT_EQ(AfterStartup(Gravik(dir, {"bmp", "pic.png", "nowhere/out.bmp"})),
            (std::vector<std::string>{"ChangeImageFormat : Can not save image nowhere/out.bmp"}));
  EXPECT_EQ(CountEntries(dir.path()), 3);
}

// --- pal ---

TEST(GravikPal, SixteenLinesFromTheStartColour) {
  TempDir dir;
  ASSERT_TRUE(WriteIndexedBmp(dir.File("pic.bmp"), 3, 1, {0, 1, 2}));
  ASSERT_TRUE(WriteFileBytes(dir.File("pic_pal.asm"), {'o', 'l', 'd', '\n'}));
  // The grey ramp of the test palette repeats every 16 entries (entry k is level 16 * (k mod 16)).
  const char* const kRampColours[16] = {"#0F,#00", "#0E,#00", "#1D,#01", "#2C,#02", "#3B,#03", "#4A,#04",
                                        "#59,#05", "#68,#06", "#77,#07", "#86,#08", "#95,#09", "#A4,#0A",
                                        "#B3,#0B", "#C2,#0C", "#D1,#0D", "#E0,#0E"};
  for (const int start : {5, 240, 0}) {
    SCOPED_TRACE(start);
    EXPECT_EQ(AfterStartup(Gravik(dir, {"pal", "pic", std::to_string(start)})),
              (std::vector<std::string>{"PaletteExtract : Extracting...", "source : pic.bmp", " 3/ 1 @ 8"}));
    std::vector<std::string> expected;
    for (int e = start; e < start + 16; ++e) {
      expected.push_back(std::string("db    ") + kRampColours[e % 16] + " ; " + std::to_string(e));
    }
    EXPECT_EQ(ReadTextLines(dir.File("pic_pal.asm")), expected);
    // LF line ends only, nothing after the sixteenth line.
    const std::vector<uint8_t> bytes = ReadFileBytes(dir.File("pic_pal.asm"));
    EXPECT_EQ(std::count(bytes.begin(), bytes.end(), '\n'), 16);
    EXPECT_EQ(std::count(bytes.begin(), bytes.end(), '\r'), 0);
  }
}

TEST(GravikPal, RefusalsWriteNothing) {
  TempDir dir;
  ASSERT_TRUE(WriteIndexedBmp(dir.File("pic.bmp"), 3, 1, {0, 1, 2}));
  EXPECT_EQ(AfterStartup(Gravik(dir, {"pal", "pic", "241"})),
            (std::vector<std::string>{"PaletteExtract : Extracting...",
                                      "PaletteExtract : Start colour must be from 0 to 240, not 241"}));
  EXPECT_EQ(AfterStartup(Gravik(dir, {"pal", "pic", "-1"})),
            (std::vector<std::string>{"PaletteExtract : Extracting...",
                                      "PaletteExtract : Start colour must be from 0 to 240, not -1"}));
  ASSERT_TRUE(WriteBmpOfDepth(dir.File("deep.bmp"), 2, 2, 24));
  EXPECT_EQ(AfterStartup(Gravik(dir, {"pal", "deep", "0"})),
            (std::vector<std::string>{"PaletteExtract : Extracting...", "source : deep.bmp", " 2/ 2 @ 24",
                                      "Source must be 8 bits"}));
  EXPECT_EQ(CountEntries(dir.path()), 2);
}

}  // namespace
