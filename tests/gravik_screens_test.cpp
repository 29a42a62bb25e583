// Linear screens and the source loader's refusals, through the real program.
#include <gtest/gtest.h>

#include "common/cpc_pixels.h"
#include "toolkit/image_ops/linear_screen.h"
#include "tests/test_support.h"

namespace {

const std::string kFixtures = std::string(TARSEL_SOURCE_DIR) + "/tests/fixtures/";

RunResult RunGravik(const TempDir& dir, const std::vector<std::string>& args) {
  return RunProgram(GRAVIK_BIN, args, dir.path());
}

// gravik in a shell that caps the size of the files it writes at 0 bytes: every
// write to an output fails with EFBIG (SIGXFSZ ignored, so it is an error, not a
// kill). Only the child is capped; an ignored signal stays ignored across exec.
RunResult RunGravikWithoutRoomToWrite(const TempDir& dir, const std::vector<std::string>& args) {
  std::vector<std::string> shell_args = {"-c", "trap '' XFSZ; ulimit -f 0 && exec \"$0\" \"$@\"", GRAVIK_BIN};
  shell_args.insert(shell_args.end(), args.begin(), args.end());
  return RunProgram("/bin/sh", shell_args, dir.path());
}

std::vector<std::string> Lines(std::initializer_list<std::string> lines) { return lines; }

// The pens of an uncompressed 8-bit BMP read straight from its bytes, top row
// first: an account of the file that does not go through FreeImage.
std::vector<uint8_t> PensFromPlainBmp(const std::vector<uint8_t>& file, int& width, int& height) {
  const auto le32 = [&](size_t at) {
    return static_cast<int>(file[at] | file[at + 1] << 8 | file[at + 2] << 16 | file[at + 3] << 24);
  };
  const int offset = le32(10);
  width = le32(18);
  height = le32(22);
  const int pitch = (width + 3) / 4 * 4;
  std::vector<uint8_t> pens;
  for (int y = 0; y < height; ++y) {
    const size_t row = static_cast<size_t>(offset) + static_cast<size_t>(height - 1 - y) * pitch;
    pens.insert(pens.end(), file.begin() + static_cast<ptrdiff_t>(row), file.begin() + static_cast<ptrdiff_t>(row + width));
  }
  return pens;
}

std::vector<uint8_t> ExpectedMode0(const std::vector<uint8_t>& pens) {
  std::vector<uint8_t> bytes;
  for (size_t i = 0; i + 1 < pens.size(); i += 2) bytes.push_back(EncodeMode0Byte(pens[i], pens[i + 1]));
  return bytes;
}

}  // namespace

TEST(GravikScreens, FullScreenSizesForTheThreeModes) {
  const TempDir dir;
  ASSERT_TRUE(WriteIndexedBmp(dir.File("m0.bmp"), 160, 200, RandomPens(160, 200, 1)));
  ASSERT_TRUE(WriteIndexedBmp(dir.File("m1.bmp"), 320, 200, RandomPens(320, 200, 2)));
  ASSERT_TRUE(WriteIndexedBmp(dir.File("m2.bmp"), 640, 200, RandomPens(640, 200, 3)));
  EXPECT_EQ(AfterStartup(RunGravik(dir, {"mode0", "m0"})),
            Lines({"ConvertToMode0 : Converting...", "source : m0.bmp", " 160/ 200 @ 8"}));
  EXPECT_EQ(AfterStartup(RunGravik(dir, {"mode1", "m1"})), Lines({"source : m1.bmp", " 320/ 200 @ 8"}));
  EXPECT_EQ(AfterStartup(RunGravik(dir, {"mode2", "m2"})),
            Lines({"ConvertToMode2 : Converting...", "source : m2.bmp", " 640/ 200 @ 8"}));
  EXPECT_EQ(ReadFileBytes(dir.File("m0.pm0")).size(), 16000u);
  EXPECT_EQ(ReadFileBytes(dir.File("m1.pm1")).size(), 16000u);
  EXPECT_EQ(ReadFileBytes(dir.File("m2.pm2")).size(), 16000u);
}

TEST(GravikScreens, Mode0BytesRowsFromTheTop) {
  const TempDir dir;
  // Two rows of 4 pixels; pens above 15 keep only their low four bits.
  ASSERT_TRUE(WriteIndexedBmp(dir.File("p.bmp"), 4, 2, {1, 0, 0, 1, 5, 0, 17, 31}));
  RunGravik(dir, {"mode0", "p"});
  EXPECT_EQ(ReadFileBytes(dir.File("p.pm0")), (std::vector<uint8_t>{128, 64, 160, EncodeMode0Byte(1, 15)}));
}

TEST(GravikScreens, Mode1RaggedWidthPadsWithPenZero) {
  const TempDir dir;
  // 6 pixels: the second byte of each row holds pixels 4 and 5 on its left.
  ASSERT_TRUE(WriteIndexedBmp(dir.File("p.bmp"), 6, 2, {3, 0, 0, 0, 1, 2, 0, 0, 0, 3, 7, 5}));
  RunGravik(dir, {"mode1", "p"});
  EXPECT_EQ(ReadFileBytes(dir.File("p.pm1")),
            (std::vector<uint8_t>{136, EncodeMode1Byte(1, 2, 0, 0), 17, EncodeMode1Byte(3, 1, 0, 0)}));
  // 322 pixels wide: 81 bytes a row, pixels 320 and 321 in the last byte's two leftmost places.
  std::vector<uint8_t> pens(322 * 3, 0);
  for (int y = 0; y < 3; ++y) {
    pens[y * 322 + 320] = 1;
    pens[y * 322 + 321] = 3;
  }
  ASSERT_TRUE(WriteIndexedBmp(dir.File("w.bmp"), 322, 3, pens));
  RunGravik(dir, {"mode1", "w"});
  const std::vector<uint8_t> bytes = ReadFileBytes(dir.File("w.pm1"));
  ASSERT_EQ(bytes.size(), 81u * 3);
  for (int y = 0; y < 3; ++y) EXPECT_EQ(bytes[y * 81 + 80], EncodeMode1Byte(1, 3, 0, 0));
  // Widths 1 to 7 give rounded-up rows.
  for (int width = 1; width <= 7; ++width) {
    ASSERT_TRUE(WriteIndexedBmp(dir.File("n.bmp"), width, 2, std::vector<uint8_t>(width * 2, 3)));
    RunGravik(dir, {"mode1", "n"});
    EXPECT_EQ(ReadFileBytes(dir.File("n.pm1")).size(), static_cast<size_t>((width + 3) / 4 * 2)) << width;
  }
}

TEST(GravikScreens, Mode2AnyPenButZeroIsInk) {
  const TempDir dir;
  ASSERT_TRUE(WriteIndexedBmp(dir.File("p.bmp"), 16, 1, {1, 0, 0, 0, 0, 0, 0, 2, 0, 255, 0, 16, 0, 0, 0, 0}));
  RunGravik(dir, {"mode2", "p"});
  EXPECT_EQ(ReadFileBytes(dir.File("p.pm2")), (std::vector<uint8_t>{129, 0x50}));
}

TEST(GravikScreens, RandomPicturesMatchTheEncoders) {
  const TempDir dir;
  for (const int width : {2, 6, 34, 158}) {
    for (const int height : {1, 3, 17}) {
      const std::vector<uint8_t> pens = RandomPens(width, height, static_cast<uint32_t>(width * 100 + height));
      ASSERT_TRUE(WriteIndexedBmp(dir.File("r.bmp"), width, height, pens));
      RunGravik(dir, {"mode0", "r"});
      EXPECT_EQ(ReadFileBytes(dir.File("r.pm0")), ExpectedMode0(pens)) << width << "x" << height;
    }
  }
}

TEST(GravikScreens, LoaderRefusalsInOrderAndNoFile) {
  const TempDir dir;
  ASSERT_TRUE(WriteBmpOfDepth(dir.File("rgb.bmp"), 160, 200, 24));
  ASSERT_TRUE(WriteBmpOfDepth(dir.File("four.bmp"), 160, 200, 4));
  ASSERT_TRUE(WriteIndexedBmp(dir.File("odd.bmp"), 161, 100, std::vector<uint8_t>(161 * 100, 2)));
  ASSERT_TRUE(WriteIndexedBmp(dir.File("w12.bmp"), 12, 2, std::vector<uint8_t>(24, 2)));
  std::filesystem::copy_file(kFixtures + "im_png_named.bmp", dir.File("png.bmp"));
  const int before = CountEntries(dir.path());

  // FreeImage says why before the toolkit's own line.
  EXPECT_EQ(AfterStartup(RunGravik(dir, {"mode0", "missing"})),
            Lines({"ConvertToMode0 : Converting...", "FIF: 0 - MESSAGE:FreeImage_Load: failed to open file missing.bmp",
                   "Can not load missing.bmp"}));
  EXPECT_EQ(AfterStartup(RunGravik(dir, {"mode0", "rgb"})),
            Lines({"ConvertToMode0 : Converting...", "source : rgb.bmp", " 160/ 200 @ 24", "Source must be 8 bits"}));
  EXPECT_EQ(AfterStartup(RunGravik(dir, {"mode1", "rgb"})),
            Lines({"source : rgb.bmp", " 160/ 200 @ 24", "Source must be 8 bits"}));
  EXPECT_EQ(AfterStartup(RunGravik(dir, {"mode2", "four"})),
            Lines({"ConvertToMode2 : Converting...", "source : four.bmp", " 160/ 200 @ 4", "Source must be 8 bits"}));
  EXPECT_EQ(AfterStartup(RunGravik(dir, {"mode0", "odd"})),
            Lines({"ConvertToMode0 : Converting...", "source : odd.bmp", " 161/ 100 @ 8",
                   "Source width is not valid, must be a multiple of  2"}));
  EXPECT_EQ(AfterStartup(RunGravik(dir, {"mode2", "w12"})),
            Lines({"ConvertToMode2 : Converting...", "source : w12.bmp", " 12/ 2 @ 8",
                   "Source width is not valid, must be a multiple of  8"}));
  // PNG data under a .bmp name: FreeImage may print its own diagnostic first.
  const std::vector<std::string> png = AfterStartup(RunGravik(dir, {"mode0", "png"}));
  ASSERT_GE(png.size(), 2u);
  EXPECT_EQ(png.front(), "ConvertToMode0 : Converting...");
  EXPECT_EQ(png.back(), "Can not load png.bmp");
  for (size_t i = 1; i + 1 < png.size(); ++i) EXPECT_EQ(png[i].rfind("FIF:", 0), 0u) << png[i];
  EXPECT_EQ(CountEntries(dir.path()), before);

  // The odd width has no rule in mode 1.
  RunGravik(dir, {"mode1", "odd"});
  EXPECT_EQ(ReadFileBytes(dir.File("odd.pm1")).size(), 41u * 100);
}

TEST(GravikScreens, ReadsBmpFilesWrittenByImageMagick) {
  const TempDir dir;
  int width = 0;
  int height = 0;
  // A 6-pixel-wide picture has padded scan lines: pixel (0, 1) must be the
  // first pixel of the second row, not a padding byte.
  const std::vector<uint8_t> pens6 = PensFromPlainBmp(ReadFileBytes(kFixtures + "im_8bit_6x3_plain.bmp"), width, height);
  ASSERT_EQ(width, 6);
  ASSERT_EQ(height, 3);
  const std::vector<uint8_t> pens8 = PensFromPlainBmp(ReadFileBytes(kFixtures + "im_8bit_8x3_plain.bmp"), width, height);
  ASSERT_EQ(width, 8);
  const struct {
    std::string name;
    std::string size_line;
    const std::vector<uint8_t>& pens;
  } cases[] = {{"im_8bit_6x3_plain", " 6/ 3 @ 8", pens6},
               {"im_8bit_8x3_plain", " 8/ 3 @ 8", pens8}};
  for (const auto& c : cases) {
    std::filesystem::copy_file(kFixtures + c.name + ".bmp", dir.File(c.name + ".bmp"));
    EXPECT_EQ(AfterStartup(RunGravik(dir, {"mode0", c.name})),
              Lines({"ConvertToMode0 : Converting...", "source : " + c.name + ".bmp", c.size_line}));
    EXPECT_EQ(ReadFileBytes(dir.File(c.name + ".pm0")), ExpectedMode0(c.pens)) << c.name;
  }
  // ImageMagick closes the last row of a run-length compressed file with an
  // end-of-line code that FreeImage takes for data past the picture: refused.
  std::filesystem::copy_file(kFixtures + "im_8bit_8x3_rle.bmp", dir.File("rle.bmp"));
  EXPECT_EQ(AfterStartup(RunGravik(dir, {"mode0", "rle"})),
            Lines({"ConvertToMode0 : Converting...", "FIF: 0 - MESSAGE:Error encountered while decoding RLE8 BMP data",
                   "Can not load rle.bmp"}));
  std::filesystem::copy_file(kFixtures + "im_4bit_6x2.bmp", dir.File("four.bmp"));
  std::filesystem::copy_file(kFixtures + "im_24bit_6x2.bmp", dir.File("rgb.bmp"));
  EXPECT_EQ(AfterStartup(RunGravik(dir, {"mode1", "four"})),
            Lines({"source : four.bmp", " 6/ 2 @ 4", "Source must be 8 bits"}));
  EXPECT_EQ(AfterStartup(RunGravik(dir, {"mode1", "rgb"})),
            Lines({"source : rgb.bmp", " 6/ 2 @ 24", "Source must be 8 bits"}));
}

TEST(GravikScreens, OutputThatCannotBeCreatedIsOneLine) {
  const TempDir dir;
  ASSERT_TRUE(WriteIndexedBmp(dir.File("p.bmp"), 8, 1, std::vector<uint8_t>(8, 1)));
  std::filesystem::create_directory(dir.path() / "p.pm0");  // a folder where the file should go
  EXPECT_EQ(AfterStartup(RunGravik(dir, {"mode0", "p"})),
            Lines({"ConvertToMode0 : Converting...", "source : p.bmp", " 8/ 1 @ 8", "ConvertToMode0 : Can not write p.pm0"}));
  // A missing folder (called in-process: the command line puts the output beside its source).
  const ConsoleCapture console;
  EXPECT_FALSE(ConvertToMode1(dir.File("p.bmp"), dir.File("none/p.pm1")));
  EXPECT_FALSE(ConvertToMode2(dir.File("p.bmp"), dir.File("none/p.pm2")));
  EXPECT_TRUE(ConvertToMode0(dir.File("p.bmp"), dir.File("p0.pm0")));
  ASSERT_EQ(console.lines().size(), 10u);
  EXPECT_EQ(console.lines()[2], "ConvertToMode1 : Can not create " + dir.File("none/p.pm1"));
  EXPECT_EQ(console.lines()[6], "ConvertToMode2 : Can not create " + dir.File("none/p.pm2"));
  EXPECT_EQ(CountEntries(dir.path()), 3);
}

TEST(GravikScreens, ReplacingAFileKeepsItWholeOnFailure) {
  const TempDir dir;
  ASSERT_TRUE(WriteIndexedBmp(dir.File("p.bmp"), 4, 1, {1, 0, 0, 1}));
  ASSERT_TRUE(WriteFileBytes(dir.File("p.pm0"), {9, 9, 9}));
  ASSERT_TRUE(WriteFileBytes(dir.File("bad.bmp"), {'B', 'M', 0, 0}));
  RunGravik(dir, {"mode0", "p"});
  EXPECT_EQ(ReadFileBytes(dir.File("p.pm0")), (std::vector<uint8_t>{128, 64}));
  ASSERT_TRUE(WriteFileBytes(dir.File("bad.pm0"), {7}));
  RunGravik(dir, {"mode0", "bad"});
  EXPECT_EQ(ReadFileBytes(dir.File("bad.pm0")), std::vector<uint8_t>{7});
}

TEST(GravikScreens, AWriteErrorKeepsTheOldTarget) {
  const TempDir dir;
  // A 16000-byte screen fails while it is written; a 4-byte one only when it is
  // flushed at the end. Either way the previous file stays and no temporary file is left.
  ASSERT_TRUE(WriteIndexedBmp(dir.File("big.bmp"), 160, 200, RandomPens(160, 200, 7, 16)));
  ASSERT_TRUE(WriteIndexedBmp(dir.File("small.bmp"), 8, 1, std::vector<uint8_t>(8, 1)));
  const std::vector<uint8_t> old_bytes = {9, 8, 7, 6, 5};
  ASSERT_TRUE(WriteFileBytes(dir.File("big.pm0"), old_bytes));
  ASSERT_TRUE(WriteFileBytes(dir.File("small.pm0"), old_bytes));
  EXPECT_EQ(AfterStartup(RunGravikWithoutRoomToWrite(dir, {"mode0", "big"})),
            Lines({"ConvertToMode0 : Converting...", "source : big.bmp", " 160/ 200 @ 8",
                   "ConvertToMode0 : Can not write big.pm0"}));
  EXPECT_EQ(AfterStartup(RunGravikWithoutRoomToWrite(dir, {"mode0", "small"})),
            Lines({"ConvertToMode0 : Converting...", "source : small.bmp", " 8/ 1 @ 8",
                   "ConvertToMode0 : Can not write small.pm0"}));
  EXPECT_EQ(ReadFileBytes(dir.File("big.pm0")), old_bytes);
  EXPECT_EQ(ReadFileBytes(dir.File("small.pm0")), old_bytes);
  EXPECT_EQ(CountEntries(dir.path()), 4);
  // The same runs with room to write do replace both files.
  RunGravik(dir, {"mode0", "big"});
  RunGravik(dir, {"mode0", "small"});
  EXPECT_EQ(ReadFileBytes(dir.File("big.pm0")).size(), 16000u);
  EXPECT_EQ(ReadFileBytes(dir.File("small.pm0")).size(), 4u);
}
