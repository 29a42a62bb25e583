// Pictures of every kind ImageMagick writes, read as RGBA by the colour
// picture loader; and the size check before decoding, in the loader and in
// gravik bmp, on a JPEG whose header claims 30000 x 30000 pixels.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <string>
#include <vector>

#include "common/image_io/colour_picture.h"
#include "tests/test_support.h"

namespace {

// Runs ImageMagick (the program itself, not a wrapper) in dir.
bool Magick(const TempDir& dir, const std::vector<std::string>& args) {
  return RunProgram(RequiredTool("convert"), args, dir.path()).exit_code == 0;
}

// A small JPEG whose frame header (SOF0) claims 30000 x 30000 pixels.
std::vector<uint8_t> JpegBomb(const TempDir& dir) {
  if (!Magick(dir, {"-size", "8x8", "xc:gray", "-strip", "-quality", "10", "small.jpg"})) return {};
  std::vector<uint8_t> bytes = ReadFileBytes(dir.File("small.jpg"));
  for (size_t at = 2; at + 9 < bytes.size(); ++at) {
    if (bytes[at] == 0xFF && bytes[at + 1] == 0xC0) {
      // Marker, length (2), precision (1), height (2), width (2).
      bytes[at + 5] = 0x75;
      bytes[at + 6] = 0x30;
      bytes[at + 7] = 0x75;
      bytes[at + 8] = 0x30;
      return bytes;
    }
  }
  return {};
}

// A small little-endian TIFF whose ImageWidth and ImageLength tags claim 30000 x 30000.
std::vector<uint8_t> TiffBomb(const TempDir& dir) {
  if (!Magick(dir, {"-size", "8x8", "xc:gray", "-compress", "none", "-endian", "LSB", "small.tif"}))
    return {};
  std::vector<uint8_t> bytes = ReadFileBytes(dir.File("small.tif"));
  if (bytes.size() < 8 || bytes[0] != 'I') return {};
  const size_t ifd = bytes[4] | bytes[5] << 8 | bytes[6] << 16 | static_cast<size_t>(bytes[7]) << 24;
  if (ifd + 2 > bytes.size()) return {};
  const size_t entries = bytes[ifd] | bytes[ifd + 1] << 8;
  int patched = 0;
  for (size_t e = 0; e < entries && ifd + 2 + e * 12 + 12 <= bytes.size(); ++e) {
    uint8_t* entry = bytes.data() + ifd + 2 + e * 12;
    const int tag = entry[0] | entry[1] << 8;
    if (tag != 256 && tag != 257) continue;
    entry[8] = 0x30;  // 30000, low byte first, as a SHORT or a LONG
    entry[9] = 0x75;
    ++patched;
  }
  return patched == 2 ? bytes : std::vector<uint8_t>{};
}

struct Expected {
  const char* file;
  std::vector<uint8_t> rgba;
  bool has_transparency;
};

}  // namespace

TEST(ColourPicture, ReadsEveryKindImageMagickWrites) {
  const TempDir dir;
  // Two pixels: a dark blue (which a plain RGB distance maps badly) and a grey.
  const std::vector<std::string> pair = {"-size", "1x1",        "xc:#102060", "-size",
                                         "1x1",   "xc:#A0B0C0", "+append"};
  auto with = [&](std::vector<std::string> tail) {
    std::vector<std::string> args = pair;
    args.insert(args.end(), tail.begin(), tail.end());
    return args;
  };
  ASSERT_TRUE(Magick(dir, with({"PNG24:rgb.png"})));
  ASSERT_TRUE(Magick(dir, with({"PNG8:indexed8.png"})));
  ASSERT_TRUE(Magick(dir, with({"-define", "png:bit-depth=4", "-type", "Palette", "PNG:indexed4.png"})));
  ASSERT_TRUE(Magick(dir, with({"-depth", "16", "PNG48:deep.png"})));
  ASSERT_TRUE(Magick(dir, with({"pair.gif"})));
  ASSERT_TRUE(Magick(dir, with({"-type", "TrueColor", "BMP3:pair24.bmp"})));
  ASSERT_TRUE(Magick(dir, with({"pair.tif"})));
  ASSERT_TRUE(Magick(dir, with({"pair.tga"})));
  // Transparency three ways: an alpha channel, a palette's tRNS chunk, a GIF transparent index.
  const std::vector<std::string> clear = {
      "-size", "1x1", "xc:#FF0000", "-size", "1x1", "xc:rgba(0,0,255,0.2)", "+append"};
  auto clear_with = [&](const std::string& target) {
    std::vector<std::string> args = clear;
    args.push_back(target);
    return args;
  };
  ASSERT_TRUE(Magick(dir, clear_with("PNG32:alpha.png")));
  ASSERT_TRUE(
      Magick(dir, {"-size", "1x1", "xc:#FF0000", "-size", "1x1", "xc:none", "+append", "PNG8:trns.png"}));
  ASSERT_TRUE(Magick(dir, {"-size", "1x1", "xc:#FF0000", "-size", "1x1", "xc:none", "+append", "clear.gif"}));
  const std::vector<uint8_t> pair_rgba = {0x10, 0x20, 0x60, 0xFF, 0xA0, 0xB0, 0xC0, 0xFF};
  const Expected cases[] = {
      {"rgb.png", pair_rgba, false},
      {"indexed8.png", pair_rgba, false},
      {"indexed4.png", pair_rgba, false},
      {"deep.png", pair_rgba, false},
      {"pair.gif", pair_rgba, false},
      {"pair24.bmp", pair_rgba, false},
      {"pair.tif", pair_rgba, false},
      {"pair.tga", pair_rgba, false},
      {"alpha.png", {0xFF, 0, 0, 0xFF, 0, 0, 0xFF, 0x33}, true},
  };
  for (const Expected& c : cases) {
    const Checked<ColourPicture> picture = LoadColourPicture(dir.File(c.file));
    ASSERT_TRUE(picture) << c.file << ": " << picture.refusal();
    EXPECT_EQ(picture->width, 2) << c.file;
    EXPECT_EQ(picture->height, 1) << c.file;
    EXPECT_EQ(picture->rgba, c.rgba) << c.file;
    EXPECT_EQ(picture->has_transparency, c.has_transparency) << c.file;
  }
  // Whatever colour a transparent palette entry holds, its alpha is what counts.
  for (const char* file : {"trns.png", "clear.gif"}) {
    const Checked<ColourPicture> picture = LoadColourPicture(dir.File(file));
    ASSERT_TRUE(picture) << file << ": " << picture.refusal();
    EXPECT_TRUE(picture->has_transparency) << file;
    EXPECT_EQ(picture->rgba[3], 0xFF) << file;
    EXPECT_LT(picture->rgba[7], 128) << file;
  }
  // A 32-bit BMP whose fourth bytes are all 0 has no alpha: opaque.
  const std::vector<uint8_t> x32 = {'B', 'M', 62, 0, 0, 0, 0,    0,    0,    0, 54,   0,    0,    0, 40, 0,
                                    0,   0,   2,  0, 0, 0, 1,    0,    0,    0, 1,    0,    32,   0, 0,  0,
                                    0,   0,   8,  0, 0, 0, 0,    0,    0,    0, 0,    0,    0,    0, 0,  0,
                                    0,   0,   0,  0, 0, 0, 0x60, 0x20, 0x10, 0, 0xC0, 0xB0, 0xA0, 0};
  ASSERT_TRUE(WriteFileBytes(dir.File("x32.bmp"), x32));
  const Checked<ColourPicture> unused_alpha = LoadColourPicture(dir.File("x32.bmp"));
  ASSERT_TRUE(unused_alpha) << unused_alpha.refusal();
  EXPECT_EQ(unused_alpha->rgba, (std::vector<uint8_t>{0x10, 0x20, 0x60, 0xFF, 0xA0, 0xB0, 0xC0, 0xFF}));
  EXPECT_FALSE(unused_alpha->has_transparency);
  // A JPEG is near its colours, and its format comes from its contents, not its name.
  ASSERT_TRUE(Magick(dir, {"-size", "16x8", "xc:#808080", "-quality", "95", "grey.jpg"}));
  std::filesystem::rename(dir.File("grey.jpg"), dir.File("grey.png"));
  const Checked<ColourPicture> grey = LoadColourPicture(dir.File("grey.png"));
  ASSERT_TRUE(grey) << grey.refusal();
  EXPECT_EQ(grey->width, 16);
  EXPECT_EQ(grey->height, 8);
  EXPECT_NEAR(grey->rgba[0], 0x80, 2);
  // Rows come top first.
  ASSERT_TRUE(
      Magick(dir, {"-size", "1x1", "xc:red", "-size", "1x1", "xc:lime", "-append", "PNG24:column.png"}));
  const Checked<ColourPicture> column = LoadColourPicture(dir.File("column.png"));
  ASSERT_TRUE(column);
  EXPECT_EQ(column->rgba, (std::vector<uint8_t>{0xFF, 0, 0, 0xFF, 0, 0xFF, 0, 0xFF}));
}

TEST(ColourPicture, RefusesInOneLineBeforeDecoding) {
  const TempDir dir;
  ASSERT_TRUE(WriteFileBytes(dir.File("notes.png"), {'h', 'e', 'l', 'l', 'o'}));
  EXPECT_EQ(LoadColourPicture(dir.File("notes.png")).refusal(), "Can not load " + dir.File("notes.png"));
  EXPECT_EQ(LoadColourPicture(dir.File("none.png")).refusal(), "Can not find " + dir.File("none.png"));
  // A FIFO would block the library's open for ever.
  ASSERT_EQ(mkfifo(dir.File("pipe.png").c_str(), 0600), 0);
  EXPECT_EQ(LoadColourPicture(dir.File("pipe.png")).refusal(),
            dir.File("pipe.png") + " is not a regular file");
  const std::vector<uint8_t> bomb = JpegBomb(dir);
  ASSERT_FALSE(bomb.empty());
  ASSERT_TRUE(WriteFileBytes(dir.File("bomb.jpg"), bomb));
  EXPECT_EQ(LoadColourPicture(dir.File("bomb.jpg")).refusal(),
            "Can not load " + dir.File("bomb.jpg") + " : picture too large");
  // A GIF screen of 9000 x 9000 pixels: within the 8-bit cap, over the record's 2^26.
  ASSERT_TRUE(WriteFileBytes(dir.File("wide.gif"),
                             {'G', 'I', 'F', '8', '9', 'a', 0x28, 0x23, 0x28, 0x23, 0x00, 0x00, 0x00, 0x3B}));
  EXPECT_EQ(LoadColourPicture(dir.File("wide.gif")).refusal(),
            "Can not load " + dir.File("wide.gif") + " : picture too large");
  // A format whose reader can not stop after the header (an X bitmap).
  ASSERT_TRUE(Magick(dir, {"-size", "8x8", "xc:black", "pic.xbm"}));
  EXPECT_EQ(LoadColourPicture(dir.File("pic.xbm")).refusal(),
            "Can not load " + dir.File("pic.xbm") + " : its size can not be read before decoding");
}

TEST(GravikBmp, HugeClaimsAreRefusedBeforeDecoding) {
  const TempDir dir;
  const std::vector<uint8_t> bomb = JpegBomb(dir);
  ASSERT_FALSE(bomb.empty());
  ASSERT_LT(bomb.size(), 400u);
  ASSERT_TRUE(WriteFileBytes(dir.File("bomb.jpg"), bomb));
  ASSERT_TRUE(WriteFileBytes(dir.File("out.bmp"), {'o', 'l', 'd'}));
  EXPECT_EQ(AfterStartup(RunProgram(GRAVIK_BIN, {"bmp", "bomb.jpg", "out.bmp"}, dir.path())),
            std::vector<std::string>{"ChangeImageFormat : Can not load image bomb.jpg : picture too large"});
  EXPECT_EQ(ReadFileBytes(dir.File("out.bmp")), (std::vector<uint8_t>{'o', 'l', 'd'}));
  // The same for a TIFF whose width and length tags claim 30000 x 30000.
  const std::vector<uint8_t> tiff = TiffBomb(dir);
  ASSERT_FALSE(tiff.empty());
  ASSERT_TRUE(WriteFileBytes(dir.File("big.tif"), tiff));
  EXPECT_EQ(AfterStartup(RunProgram(GRAVIK_BIN, {"bmp", "big.tif", "big.bmp"}, dir.path())).back(),
            "ChangeImageFormat : Can not load image big.tif : picture too large");
  EXPECT_FALSE(std::filesystem::exists(dir.File("big.bmp")));
  // A 29-byte GIF whose 2 x 1 screen holds a frame claiming 65535 x 65535 pixels.
  ASSERT_TRUE(WriteFileBytes(
      dir.File("frame.gif"),
      {0x47, 0x49, 0x46, 0x38, 0x39, 0x61, 0x02, 0x00, 0x01, 0x00, 0x00, 0x01, 0x00, 0x2c, 0xff,
       0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0x00, 0x02, 0x02, 0x44, 0x0a, 0x00, 0x3b}));
  EXPECT_EQ(AfterStartup(RunProgram(GRAVIK_BIN, {"bmp", "frame.gif", "frame.bmp"}, dir.path())),
            std::vector<std::string>{"ChangeImageFormat : Can not load image frame.gif : picture too large"});
  EXPECT_EQ(AfterStartup(RunProgram(GRAVIK_BIN, {"ink0", "frame.gif", "frame"}, dir.path())),
            std::vector<std::string>{"ConvertToInks : Can not load frame.gif : picture too large"});
  // A format the library can not size from its header alone.
  ASSERT_TRUE(Magick(dir, {"-size", "8x8", "xc:black", "pic.xbm"}));
  EXPECT_EQ(AfterStartup(RunProgram(GRAVIK_BIN, {"bmp", "pic.xbm", "pic.bmp"}, dir.path())),
            std::vector<std::string>{
                "ChangeImageFormat : Can not load image pic.xbm : its size can not be read before decoding"});
  // A small JPEG still converts.
  ASSERT_TRUE(Magick(dir, {"-size", "8x8", "xc:gray", "small2.jpg"}));
  EXPECT_EQ(AfterStartup(RunProgram(GRAVIK_BIN, {"bmp", "small2.jpg", "small.bmp"}, dir.path())).back(),
            "ChangeImageFormat : Successfull conversion from small2.jpg to small.bmp (bmp format)");
}
