// gravik ink0, ink1 and ink2 on pictures made by ImageMagick in a scratch
// folder: exact inks for art drawn at any usual half level, the choice of
// inks, pen order, transparency, strict refusals, dithering and the round trip
// through mode0.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <set>
#include <string>
#include <vector>

#include "common/cpc_pixels.h"
#include "common/image_io/colour_picture.h"
#include "tests/asm_check.h"
#include "tests/test_support.h"
#include "toolkit/inks/colour_space.h"
#include "toolkit/inks/ink_choice.h"
#include "toolkit/inks/seen_error.h"
#include "toolkit/source_image.h"

namespace {

bool Magick(const TempDir& dir, const std::vector<std::string>& args) {
  return RunProgram(RequiredTool("convert"), args, dir.path()).exit_code == 0;
}

std::vector<std::string> Gravik(const TempDir& dir, const std::vector<std::string>& args) {
  return AfterStartup(RunProgram(GRAVIK_BIN, args, dir.path()));
}

std::string HexColour(int r, int g, int b) {
  char text[8];
  std::snprintf(text, sizeof text, "#%02X%02X%02X", r, g, b);
  return text;
}

struct Bmp {
  int width = 0;
  int height = 0;
  std::vector<uint8_t> pens;
  std::vector<std::array<uint8_t, 3>> palette;
};

Bmp LoadPens(const std::string& path) {
  Bmp bmp;
  const ImagePtr image(FreeImage_Load(FIF_BMP, path.c_str(), 0));
  if (!image || FreeImage_GetBPP(image.get()) != 8) return bmp;
  const Picture view = PictureOfBitmap(image.get());
  bmp.width = view.width;
  bmp.height = view.height;
  for (int y = 0; y < view.height; ++y)
    bmp.pens.insert(bmp.pens.end(), view.Row(y), view.Row(y) + view.width);
  const RGBQUAD* palette = FreeImage_GetPalette(image.get());
  for (int e = 0; e < 256; ++e)
    bmp.palette.push_back({palette[e].rgbRed, palette[e].rgbGreen, palette[e].rgbBlue});
  return bmp;
}

// Pens in the pixels of columns [x0, x1) of every row.
std::set<uint8_t> PensIn(const Bmp& bmp, int x0, int x1) {
  std::set<uint8_t> pens;
  for (int y = 0; y < bmp.height; ++y) {
    for (int x = x0; x < x1; ++x) pens.insert(bmp.pens[static_cast<size_t>(y * bmp.width + x)]);
  }
  return pens;
}

// Blocks of 16 x 16 pixels side by side, one per colour, as ImageMagick arguments.
std::vector<std::string> Blocks(const std::vector<std::string>& colours) {
  std::vector<std::string> args;
  for (const std::string& colour : colours) args.insert(args.end(), {"-size", "16x16", "xc:" + colour});
  args.push_back("+append");
  return args;
}

std::vector<std::string> With(std::vector<std::string> args, const std::vector<std::string>& tail) {
  args.insert(args.end(), tail.begin(), tail.end());
  return args;
}

// CIELAB (D65) of an 8-bit sRGB colour in double precision, straight from the
// definitions, as a check on the program's table-driven one.
std::array<double, 3> ExactLab(int red, int green, int blue) {
  const auto linear = [](int c) {
    const double v = c / 255.0;
    return v <= 0.04045 ? v / 12.92 : std::pow((v + 0.055) / 1.055, 2.4);
  };
  const auto f = [](double t) {
    return t > 216.0 / 24389.0 ? std::cbrt(t) : (24389.0 / 27.0 * t + 16) / 116;
  };
  const double r = linear(red), g = linear(green), b = linear(blue);
  const double fx = f((0.4124564 * r + 0.3575761 * g + 0.1804375 * b) / 0.95047);
  const double fy = f(0.2126729 * r + 0.7151522 * g + 0.0721750 * b);
  const double fz = f((0.0193339 * r + 0.1191920 * g + 0.9503041 * b) / 1.08883);
  return {116 * fy - 16, 500 * (fx - fy), 200 * (fy - fz)};
}

// The mean delta E between the source's opaque pixels and the colours of the
// pens written for them, every opaque pixel counted.
double TrueMeanError(const std::string& source, const Bmp& bmp) {
  const Checked<ColourPicture> picture = LoadColourPicture(source);
  if (!picture || picture->width != bmp.width || picture->height != bmp.height) return -1;
  double total = 0;
  size_t opaque = 0;
  for (size_t i = 0; i < bmp.pens.size(); ++i) {
    const uint8_t* p = picture->rgba.data() + i * 4;
    if (p[3] < 128) continue;
    const std::array<uint8_t, 3>& ink = bmp.palette[bmp.pens[i]];
    const std::array<double, 3> x = ExactLab(p[0], p[1], p[2]);
    const std::array<double, 3> y = ExactLab(ink[0], ink[1], ink[2]);
    total += std::sqrt((x[0] - y[0]) * (x[0] - y[0]) + (x[1] - y[1]) * (x[1] - y[1]) +
                       (x[2] - y[2]) * (x[2] - y[2]));
    ++opaque;
  }
  return opaque == 0 ? 0 : total / static_cast<double>(opaque);
}

// The figure of a "mean colour error" line, or -1.
double PrintedError(const std::vector<std::string>& lines) {
  const std::string start = "ConvertToInks : mean colour error ";
  for (const std::string& line : lines) {
    if (line.rfind(start, 0) == 0 && line.size() > start.size())
      return std::atof(line.c_str() + start.size());
  }
  return -1;
}

// The printed figure, rounded to hundredths, against the one computed here.
void ExpectTrueMeanError(const TempDir& dir, const std::string& source,
                         const std::vector<std::string>& lines) {
  const double printed = PrintedError(lines);
  const double computed = TrueMeanError(dir.File(source), LoadPens(dir.File("out.bmp")));
  ASSERT_GE(computed, 0) << source;
  EXPECT_NEAR(printed, computed, 0.006) << source;
}

// The seen error (blurred delta E) of a result against its source, both
// files in dir; 1000 when either can not be read or the sizes differ.
double SeenErrorOf(const TempDir& dir, const std::string& source, const std::string& result) {
  const Checked<ColourPicture> from = LoadColourPicture(dir.File(source));
  const Checked<ColourPicture> shown = LoadColourPicture(dir.File(result));
  if (!from || !shown || shown->width != from->width || shown->height != from->height) return 1000.0;
  return SeenError(from->width, from->height, from->rgba.data(), shown->rgba.data());
}

}  // namespace

TEST(GravikInks, ArtAtEveryHalfLevelMapsToTheIntendedInksInEveryFormat) {
  const TempDir dir;
  for (const int half : {0x60, 0x6E, 0x77, 0x7F, 0x80}) {
    // Black, Red, Green, White, Pastel Blue, Orange: pens by firmware number.
    const std::vector<std::string> art =
        Blocks({HexColour(0, 0, 0), HexColour(half, 0, 0), HexColour(0, half, 0), HexColour(half, half, half),
                HexColour(half, half, 255), HexColour(255, half, 0)});
    const std::vector<std::string> files = {"PNG24:rgb.png", "PNG8:indexed8.png", "PNG32:alpha.png",
                                            "art.gif"};
    std::vector<std::vector<std::string>> makes;
    for (const std::string& file : files) makes.push_back(With(art, {file}));
    makes.push_back(With(art, {"-define", "png:bit-depth=4", "-type", "Palette", "PNG:indexed4.png"}));
    makes.push_back(With(art, {"-quality", "100", "-sampling-factor", "1x1", "art.jpg"}));
    for (const std::vector<std::string>& make : makes) {
      ASSERT_TRUE(Magick(dir, make));
      const std::string source = make.back().substr(make.back().find(':') + 1);
      const std::vector<std::string> lines = Gravik(dir, {"ink0", source, "out"});
      EXPECT_EQ(lines, (std::vector<std::string>{
                           "ConvertToInks : source " + source, "ConvertToInks : size 96 x 16",
                           "ConvertToInks : pen 0 : ink 0 Black", "ConvertToInks : pen 1 : ink 3 Red",
                           "ConvertToInks : pen 2 : ink 9 Green", "ConvertToInks : pen 3 : ink 13 White",
                           "ConvertToInks : pen 4 : ink 14 Pastel Blue",
                           "ConvertToInks : pen 5 : ink 15 Orange", lines.size() > 8 ? lines[8] : "",
                           "ConvertToInks : wrote out.bmp, out_inks.asm, out_preview.png"}))
          << source << " half " << half;
      // Art within the bands keeps its inks, but its distance from them counts.
      ExpectTrueMeanError(dir, source, lines);
      if (half != 0x80) {
        EXPECT_GT(PrintedError(lines), 0) << source << " half " << half;
      }
      const Bmp bmp = LoadPens(dir.File("out.bmp"));
      ASSERT_EQ(bmp.width, 96);
      for (int block = 0; block < 6; ++block) {
        EXPECT_EQ(PensIn(bmp, block * 16, block * 16 + 16), std::set<uint8_t>{static_cast<uint8_t>(block)})
            << source << " half " << half;
      }
      // Nominal colours in entries 0 to 5, black after them.
      EXPECT_EQ(bmp.palette[1], (std::array<uint8_t, 3>{0x80, 0, 0}));
      EXPECT_EQ(bmp.palette[5], (std::array<uint8_t, 3>{0xFF, 0x80, 0}));
      EXPECT_EQ(bmp.palette[6], (std::array<uint8_t, 3>{0, 0, 0}));
    }
  }
}

TEST(GravikInks, RareColoursGiveWayToFrequentOnesAndInksKeepTheirOrder) {
  const TempDir dir;
  // Mode 1: four inks over large areas, three more on one pixel each.
  ASSERT_TRUE(
      Magick(dir, With(Blocks({"#000000", "#FFFF00", "#0000FF", "#FF0000"}),
                       {"-fill", "#00FF00", "-draw", "point 1,1", "-fill", "#FF00FF", "-draw", "point 20,3",
                        "-fill", "#808080", "-draw", "point 40,5", "PNG24:seven.png"})));
  EXPECT_EQ(Gravik(dir, {"ink1", "seven.png", "seven", "--preview=no"}),
            (std::vector<std::string>{
                "ConvertToInks : source seven.png", "ConvertToInks : size 64 x 16",
                "ConvertToInks : pen 0 : ink 0 Black", "ConvertToInks : pen 1 : ink 2 Bright Blue",
                "ConvertToInks : pen 2 : ink 6 Bright Red", "ConvertToInks : pen 3 : ink 24 Bright Yellow",
                "ConvertToInks : mean colour error 0.17 (CIELAB delta E)",
                "ConvertToInks : wrote seven.bmp, seven_inks.asm"}));
  EXPECT_FALSE(std::filesystem::exists(dir.File("seven_preview.png")));
  // --inks: exactly these, in this pen order, in the picture and the source.
  const std::vector<std::string> lines = Gravik(dir, {"ink1", "seven.png", "seven", "--inks=24,6,0,2"});
  ASSERT_GE(lines.size(), 4u);
  EXPECT_EQ(lines[2], "ConvertToInks : pen 0 : ink 24 Bright Yellow");
  const Bmp bmp = LoadPens(dir.File("seven.bmp"));
  EXPECT_EQ(PensIn(bmp, 2, 16), std::set<uint8_t>{2});
  EXPECT_EQ(PensIn(bmp, 16, 19), std::set<uint8_t>{0});
  EXPECT_EQ(PensIn(bmp, 32, 35), std::set<uint8_t>{3});
  EXPECT_EQ(PensIn(bmp, 48, 64), std::set<uint8_t>{1});
  EXPECT_EQ(
      ReadTextLines(dir.File("seven_inks.asm")),
      (std::vector<std::string>{
          "; seven : inks of pens 0 to 3 (gravik ink1): firmware numbers, then the bytes for port &7F00",
          "; pen 0 : ink 24 Bright Yellow", "; pen 1 : ink 6 Bright Red", "; pen 2 : ink 0 Black",
          "; pen 3 : ink 2 Bright Blue", "inks_seven:", " db 24,6,0,2",
          "gate_seven:", " db #4A,#4C,#54,#55", "inks_seven_COUNT equ 4"}));
  const AssembledSource assembled = AssembleWithPasmo(dir.File("seven_inks.asm"));
  ASSERT_TRUE(assembled.is_ok) << assembled.messages;
  EXPECT_EQ(assembled.binary, (std::vector<uint8_t>{24, 6, 0, 2, 0x4A, 0x4C, 0x54, 0x55}));
  EXPECT_EQ(assembled.symbols.at("gate_seven"), 4);
  // The pens a program sets: the inks in use, never the 16 a mode 0 screen has.
  EXPECT_EQ(assembled.symbols.at("inks_seven_COUNT"), 4);
}

TEST(GravikInks, TransparentPixelsTakeAReservedPenZero) {
  const TempDir dir;
  // By colour: magenta is the background; the black outline keeps a pen of its own.
  ASSERT_TRUE(Magick(dir, With(Blocks({"#FF00FF", "#000000", "#FFFFFF"}), {"PNG24:sprite.png"})));
  EXPECT_EQ(Gravik(dir, {"ink2", "sprite.png", "sprite", "--transparent=FF00FF"}),
            (std::vector<std::string>{
                "ConvertToInks : source sprite.png", "ConvertToInks : size 48 x 16",
                "ConvertToInks : pen 0 : ink 0 Black (transparent)", "ConvertToInks : pen 1 : ink 0 Black",
                "ConvertToInks : mean colour error 50.00 (CIELAB delta E)",
                "ConvertToInks : wrote sprite.bmp, sprite_inks.asm, sprite_preview.png"}));
  Bmp bmp = LoadPens(dir.File("sprite.bmp"));
  EXPECT_EQ(PensIn(bmp, 0, 16), std::set<uint8_t>{0});
  EXPECT_EQ(PensIn(bmp, 16, 48), std::set<uint8_t>{1});
  // By alpha, with pen 0's ink from --inks and the same ink once more for opaque pixels.
  ASSERT_TRUE(Magick(dir, With(Blocks({"none", "#000000", "#FFFFFF", "#FF0000"}), {"PNG32:clear.png"})));
  ASSERT_TRUE(Magick(dir, With(Blocks({"none", "#000000", "#FFFFFF", "#FF0000"}), {"clear.gif"})));
  for (const char* source : {"clear.png", "clear.gif"}) {
    const std::vector<std::string> lines = Gravik(dir, {"ink1", source, "clear", "--inks=0,0,26,6"});
    ASSERT_EQ(lines.size(), 8u) << source;
    EXPECT_EQ(lines[2], "ConvertToInks : pen 0 : ink 0 Black (transparent)");
    bmp = LoadPens(dir.File("clear.bmp"));
    for (int block = 0; block < 4; ++block) {
      EXPECT_EQ(PensIn(bmp, block * 16, block * 16 + 16), std::set<uint8_t>{static_cast<uint8_t>(block)})
          << source;
    }
  }
  // Without --inks, black behind the transparent pixels and three inks chosen.
  const std::vector<std::string> lines = Gravik(dir, {"ink1", "clear.png", "clear"});
  EXPECT_EQ(std::vector<std::string>(lines.begin() + 2, lines.begin() + 6),
            (std::vector<std::string>{
                "ConvertToInks : pen 0 : ink 0 Black (transparent)", "ConvertToInks : pen 1 : ink 0 Black",
                "ConvertToInks : pen 2 : ink 6 Bright Red", "ConvertToInks : pen 3 : ink 26 Bright White"}));
}

TEST(GravikInks, StrictRefusesWhatWouldBeSnapped) {
  const TempDir dir;
  ASSERT_TRUE(WriteFileBytes(dir.File("out.bmp"), {'o', 'l', 'd'}));
  ASSERT_TRUE(Magick(dir, With(Blocks({"#000000", "#7F7F7F"}),
                               {"-fill", "#A0A0A0", "-draw", "point 21,3", "PNG24:off.png"})));
  EXPECT_EQ(
      Gravik(dir, {"ink0", "off.png", "out", "--strict"}),
      std::vector<std::string>{
          "ConvertToInks : pixel 21,3 #A0A0A0 is not a CPC colour within the tolerance bands (--strict)"});
  ASSERT_TRUE(Magick(dir, With(Blocks({"#000000", "#7F7F7F"}),
                               {"-fill", "#FF0000", "-draw", "point 20,2", "PNG24:three.png"})));
  EXPECT_EQ(Gravik(dir, {"ink2", "three.png", "out", "--strict"}),
            std::vector<std::string>{
                "ConvertToInks : pixel 20,2 #FF0000 needs more inks than the 2 pens (--strict)"});
  EXPECT_EQ(
      Gravik(dir, {"ink1", "three.png", "out", "--strict", "--inks=0,13"}),
      std::vector<std::string>{"ConvertToInks : pixel 20,2 #FF0000 is not one of --inks=0,13 (--strict)"});
  // Without --strict the same pictures convert.
  EXPECT_EQ(Gravik(dir, {"ink2", "three.png", "out"}).back(),
            "ConvertToInks : wrote out.bmp, out_inks.asm, out_preview.png");
  ASSERT_TRUE(WriteFileBytes(dir.File("out.bmp"), {'o', 'l', 'd'}));
  // Bad options and names: one line, nothing written.
  const std::pair<std::vector<std::string>, std::string> refusals[] = {
      {{"ink0", "three.png", "out", "--colour"}, "unknown option --colour"},
      {{"ink0", "three.png", "out", "--inks=0,1", "--inks=2,3"}, "--inks given twice"},
      {{"ink1", "three.png", "out", "--dither=floyd", "--strict", "--dither=floyd"}, "--dither given twice"},
      {{"ink2", "three.png", "out", "--plus", "--plus"}, "--plus given twice"},
      {{"ink0", "three.png", "out", "--preview=no", "--preview=yes"}, "--preview given twice"},
      {{"ink0", "three.png", "out", "--transparent=FF00FF", "--transparent=FF00FF"},
       "--transparent given twice"},
      {{"ink0", "three.png", "out", "--dither=random"}, "bad value in --dither=random"},
      {{"ink0", "three.png", "out", "--transparent=F0F"}, "bad value in --transparent=F0F"},
      {{"ink0", "three.png", "out", "--strict=yes"}, "bad value in --strict=yes"},
      {{"ink0", "three.png", "out", "--inks=0,27"},
       "bad value in --inks=0,27 : inks are firmware numbers 0 to 26"},
      {{"ink0", "three.png", "out", "--plus", "--inks=0,26"},
       "bad value in --inks=0,26 : colours are 3 hex digits RGB"},
      {{"ink2", "three.png", "out", "--inks=0,1,2"}, "--inks=0,1,2 names more inks than the 2 pens"},
      {{"ink1", "three.png", "out", "--inks=0,6,0"}, "--inks=0,6,0 names an ink twice"},
      {{"ink0", "three.png", "three.png", "--preview=no"},
       "three.png_inks.asm would replace the source three.png_inks.asm"},
      {{"ink0", "out.bmp", "out"}, "out.bmp would replace the source out.bmp"},
      {{"ink0", "three.png", "a\nb"}, "the output name has a control character"},
      {{"ink0", "missing.png", "out"}, "Can not find missing.png"},
      {{"ink0", "out.bmp", "other"}, "Can not load out.bmp"},
  };
  // A source named three.png_inks.asm is what NAME three.png would write.
  std::filesystem::copy_file(dir.File("three.png"), dir.File("three.png_inks.asm"));
  for (const auto& [args, line] : refusals) {
    std::vector<std::string> run_args = args;
    if (run_args[2] == "three.png") run_args[1] = "three.png_inks.asm";
    EXPECT_EQ(Gravik(dir, run_args), std::vector<std::string>{"ConvertToInks : " + line}) << line;
  }
  EXPECT_EQ(ReadFileBytes(dir.File("out.bmp")), (std::vector<uint8_t>{'o', 'l', 'd'}));
  EXPECT_FALSE(std::filesystem::exists(dir.File("other.bmp")));
}

TEST(GravikInks, DitheringMixesInksOnlyWhereNoInkFits) {
  const TempDir dir;
  // A mid grey that is no CPC level beside a flat Bright White.
  ASSERT_TRUE(Magick(dir, With(Blocks({"#B0B0B0", "#B0B0B0", "#FFFFFF", "#FFFFFF"}), {"PNG24:grey.png"})));
  for (const char* dither : {"--dither=floyd", "--dither=ordered"}) {
    ASSERT_EQ(Gravik(dir, {"ink2", "grey.png", "grey", "--inks=0,26", dither}).back(),
              "ConvertToInks : wrote grey.bmp, grey_inks.asm, grey_preview.png");
    const Bmp bmp = LoadPens(dir.File("grey.bmp"));
    EXPECT_EQ(PensIn(bmp, 0, 32), (std::set<uint8_t>{0, 1})) << dither;
    EXPECT_EQ(PensIn(bmp, 32, 64), std::set<uint8_t>{1}) << dither;
  }
  Gravik(dir, {"ink2", "grey.png", "grey", "--inks=0,26"});
  EXPECT_EQ(PensIn(LoadPens(dir.File("grey.bmp")), 0, 32), std::set<uint8_t>{1});
}

// Under a dither the bands hold for art drawn in CPC colours, which has few
// colours in them: every block keeps its ink. A texture whose many greys all
// lie in the half band is no art: the bands would make it one flat White,
// and Floyd-Steinberg mixes inks for it instead.
TEST(GravikInks, UnderADitherTheBandsHoldForArtOnly) {
  const TempDir dir;
  const int half = 0x6E;
  ASSERT_TRUE(Magick(
      dir, With(Blocks({HexColour(0, 0, 0), HexColour(half, 0, 0), HexColour(0, half, 0),
                        HexColour(half, half, half), HexColour(half, half, 255), HexColour(255, half, 0)}),
                {"PNG24:art.png"})));
  for (const char* dither : {"--dither=floyd", "--dither=ordered"}) {
    Gravik(dir, {"ink0", "art.png", "out", "--preview=no", dither});
    const Bmp bmp = LoadPens(dir.File("out.bmp"));
    ASSERT_EQ(bmp.width, 96) << dither;
    for (int block = 0; block < 6; ++block)
      EXPECT_EQ(PensIn(bmp, block * 16, block * 16 + 16), std::set<uint8_t>{static_cast<uint8_t>(block)})
          << dither;
  }
  ASSERT_TRUE(Magick(dir, {"-seed", "4", "-size", "48x32", "xc:", "+noise", "Random", "-colorspace", "gray",
                           "+level", "38%,62%", "PNG24:texture.png"}));
  const Checked<ColourPicture> texture = LoadColourPicture(dir.File("texture.png"));
  ASSERT_TRUE(texture);
  std::set<uint8_t> greys;
  for (size_t i = 0; i < texture->rgba.size(); i += 4) {
    ASSERT_EQ(BandLevel(texture->rgba[i]), 1);
    greys.insert(texture->rgba[i]);
  }
  ASSERT_GT(greys.size(), 27u);
  Gravik(dir, {"ink0", "texture.png", "out", "--preview=no", "--dither=floyd"});
  EXPECT_GT(PensIn(LoadPens(dir.File("out.bmp")), 0, 48).size(), 1u);
  // --strict takes the picture as art: every pixel is White, as it passed.
  Gravik(dir, {"ink0", "texture.png", "out", "--preview=no", "--dither=floyd", "--strict"});
  EXPECT_EQ(PensIn(LoadPens(dir.File("out.bmp")), 0, 48), std::set<uint8_t>{0});
}

TEST(GravikInks, RoundTripThroughMode0GivesBackThePens) {
  const TempDir dir;
  // 30 pixels: BMP rows padded to 32 bytes.
  ASSERT_TRUE(Magick(dir, {"-size", "30x24", "gradient:#102030-#F0E0C0", "-fill", "#800080", "-draw",
                           "rectangle 4,4 11,9", "PNG24:title.png"}));
  const std::vector<std::string> lines = Gravik(dir, {"ink0", "title.png", "title", "--dither=floyd"});
  ASSERT_EQ(lines.back(), "ConvertToInks : wrote title.bmp, title_inks.asm, title_preview.png");
  const Bmp bmp = LoadPens(dir.File("title.bmp"));
  ASSERT_EQ(bmp.pens.size(), 30u * 24u);
  EXPECT_LT(*std::max_element(bmp.pens.begin(), bmp.pens.end()), 16);
  ASSERT_EQ(Gravik(dir, {"mode0", "title"}).size(), 3u);
  const std::vector<uint8_t> screen = ReadFileBytes(dir.File("title.pm0"));
  ASSERT_EQ(screen.size(), bmp.pens.size() / 2);
  std::vector<uint8_t> decoded;
  for (const uint8_t byte : screen) {
    const Mode0Pens pair = DecodeMode0Byte(byte);
    decoded.push_back(pair.left);
    decoded.push_back(pair.right);
  }
  EXPECT_EQ(decoded, bmp.pens);
  // The preview shows each pixel 4 x 2 in its ink's colour.
  const Checked<ColourPicture> preview = LoadColourPicture(dir.File("title_preview.png"));
  ASSERT_TRUE(preview);
  EXPECT_EQ(preview->width, 120);
  EXPECT_EQ(preview->height, 48);
  const int pen = bmp.pens[static_cast<size_t>(5 * 30 + 6)];
  for (const int px : {24, 27}) {
    for (const int py : {10, 11}) {
      const uint8_t* p = preview->rgba.data() + (static_cast<size_t>(py) * 120 + px) * 4;
      EXPECT_EQ((std::array<uint8_t, 3>{p[0], p[1], p[2]}), bmp.palette[static_cast<size_t>(pen)]);
    }
  }
}

TEST(GravikInks, PlusTakesThePicturesOwnColours) {
  const TempDir dir;
  ASSERT_TRUE(Magick(dir, With(Blocks({"#000000", "#FF8800", "#F7890A", "#3366CC"}), {"PNG24:plus.png"})));
  EXPECT_EQ(
      Gravik(dir, {"ink1", "plus.png", "plus", "--plus"}),
      (std::vector<std::string>{"ConvertToInks : source plus.png", "ConvertToInks : size 64 x 16",
                                "ConvertToInks : pen 0 : colour 000", "ConvertToInks : pen 1 : colour 36C",
                                "ConvertToInks : pen 2 : colour F80", "ConvertToInks : pen 3 : colour F81",
                                // #F7890A is F81 (#FF8811) to the ASIC, 3.87 away: a quarter of the pixels.
                                "ConvertToInks : mean colour error 0.97 (CIELAB delta E)",
                                "ConvertToInks : wrote plus.bmp, plus_inks.asm, plus_preview.png"}));
  const std::vector<std::string> source = ReadTextLines(dir.File("plus_inks.asm"));
  ASSERT_EQ(source.size(), 8u);
  EXPECT_EQ(source[5], "plus_plus:");
  EXPECT_EQ(source[6], " db #00,#00,#3C,#06,#F0,#08,#F1,#08");
  EXPECT_EQ(source[7], "plus_plus_COUNT equ 4");
  const AssembledSource assembled = AssembleWithPasmo(dir.File("plus_inks.asm"));
  EXPECT_TRUE(assembled.is_ok) << assembled.messages;
  const Bmp bmp = LoadPens(dir.File("plus.bmp"));
  EXPECT_EQ(bmp.palette[3], (std::array<uint8_t, 3>{0xFF, 0x88, 0x11}));
  EXPECT_EQ(PensIn(bmp, 32, 48), std::set<uint8_t>{3});
}

TEST(GravikInks, AnOutputThatCannotBeWrittenReplacesNone) {
  const TempDir dir;
  ASSERT_TRUE(Magick(dir, With(Blocks({"#000000", "#FF0000"}), {"PNG24:art.png"})));
  // A name at the length limit too: NAME_preview.png just fits a folder entry,
  // and the old NAME.bmp and NAME_inks.asm kept aside must not meet.
  for (const std::string& name : {std::string("long"), std::string(242, 'n')}) {
    ASSERT_TRUE(WriteFileBytes(dir.File(name + ".bmp"), {'o', 'l', 'd', 'B'}));
    ASSERT_TRUE(WriteFileBytes(dir.File(name + "_inks.asm"), {'o', 'l', 'd', 'A'}));
    std::filesystem::create_directory(dir.File(name + "_preview.png"));
    const RunResult run = RunProgram(GRAVIK_BIN, {"--fail", "ink0", "art.png", name}, dir.path());
    EXPECT_EQ(AfterStartup(run),
              std::vector<std::string>{"ConvertToInks : Can not write " + name + "_preview.png"});
    EXPECT_EQ(run.exit_code, 1);
    EXPECT_EQ(ReadFileBytes(dir.File(name + ".bmp")), (std::vector<uint8_t>{'o', 'l', 'd', 'B'}))
        << name.size();
    EXPECT_EQ(ReadFileBytes(dir.File(name + "_inks.asm")), (std::vector<uint8_t>{'o', 'l', 'd', 'A'}))
        << name.size();
    EXPECT_EQ(CountEntries(dir.path()), 4);  // nothing staged or kept aside is left behind
    std::filesystem::remove_all(dir.File(name + ".bmp"));
    std::filesystem::remove_all(dir.File(name + "_inks.asm"));
    std::filesystem::remove_all(dir.File(name + "_preview.png"));
  }
  ASSERT_TRUE(WriteFileBytes(dir.File("out.bmp"), {'o', 'l', 'd'}));
  ASSERT_TRUE(WriteFileBytes(dir.File("out_inks.asm"), {'o', 'l', 'd'}));
  std::filesystem::create_directory(dir.File("out_preview.png"));
  EXPECT_EQ(Gravik(dir, {"ink0", "art.png", "out"}),
            std::vector<std::string>{"ConvertToInks : Can not write out_preview.png"});
  EXPECT_EQ(ReadFileBytes(dir.File("out.bmp")), (std::vector<uint8_t>{'o', 'l', 'd'}));
  EXPECT_EQ(ReadFileBytes(dir.File("out_inks.asm")), (std::vector<uint8_t>{'o', 'l', 'd'}));
  EXPECT_EQ(CountEntries(dir.path()), 4);  // nothing staged is left behind
  // Without the preview the other two are written.
  EXPECT_EQ(Gravik(dir, {"ink0", "art.png", "out", "--preview=no"}).back(),
            "ConvertToInks : wrote out.bmp, out_inks.asm");
  EXPECT_EQ(LoadPens(dir.File("out.bmp")).width, 32);
}

// The mean colour error is the mean delta E of the opaque pixels, printed
// with two decimals rounded to the nearest: a red whose distance to the one
// ink, Black, lies well past a half hundredth is shown rounded up.
TEST(GravikInks, MeanColourErrorIsRoundedToTheNearestHundredth) {
  const TempDir dir;
  double error = 0;
  int red = 0x40;
  for (; red < 256; ++red) {
    error = Distance(LabOf(static_cast<uint8_t>(red), 0, 0), LabOf(0, 0, 0));
    const double hundredths = error * 100;
    if (hundredths - std::floor(hundredths) > 0.6 && hundredths - std::floor(hundredths) < 0.9) break;
  }
  ASSERT_LT(red, 256);
  const std::vector<PaletteEntry> palette = {{static_cast<uint8_t>(red), 0, 0}};
  ASSERT_TRUE(WriteIndexedBmp(dir.File("red.bmp"), 8, 2, std::vector<uint8_t>(16, 0), palette));
  char expected[64];
  std::snprintf(expected, sizeof expected, "ConvertToInks : mean colour error %.2f (CIELAB delta E)",
                std::floor(error * 100 + 0.5) / 100);
  const std::vector<std::string> lines = Gravik(dir, {"ink2", "red.bmp", "out", "--inks=0", "--preview=no"});
  ASSERT_GE(lines.size(), 2u);
  EXPECT_EQ(lines[lines.size() - 2], expected) << "red " << red << ", delta E " << error;
}

// Dithered or not, the printed error is the mean distance of every opaque
// pixel from its pen's ink, pixels in the bands included.
TEST(GravikInks, PrintedErrorIsTheTrueMeanOverEveryPixel) {
  const TempDir dir;
  ASSERT_TRUE(Magick(dir, {"-size", "64x32", "gradient:#102080-#F0E060", "PNG24:ramp.png"}));
  ASSERT_TRUE(Magick(dir, With(Blocks({"#6E6E6E", "#000000", "#F0F0F0", "#B0B0B0"}), {"PNG24:bands.png"})));
  // Large enough to be mapped and summed on two threads.
  ASSERT_TRUE(Magick(dir, {"-seed", "7", "-size", "320x256", "xc:gray", "+noise", "Random", "PNG24:noise.png"}));
  ASSERT_TRUE(Magick(dir, {"-seed", "7", "-size", "40x2200", "xc:gray", "+noise", "Random", "PNG24:tall.png"}));
  const std::vector<std::vector<std::string>> runs = {
      {"ink0", "noise.png", "out", "--preview=no"},
      {"ink0", "noise.png", "out", "--preview=no", "--dither=floyd"},
      {"ink1", "noise.png", "out", "--preview=no", "--plus", "--dither=ordered"},
      {"ink0", "ramp.png", "out", "--preview=no"},
      {"ink0", "ramp.png", "out", "--preview=no", "--dither=floyd"},
      {"ink1", "ramp.png", "out", "--preview=no", "--dither=ordered"},
      {"ink1", "ramp.png", "out", "--preview=no", "--plus", "--dither=floyd"},
      {"ink2", "bands.png", "out", "--preview=no", "--inks=0,26"},
      {"ink2", "bands.png", "out", "--preview=no", "--inks=0,26", "--dither=floyd"},
      // Dithered in two bands, each summed on its own.
      {"ink1", "tall.png", "out", "--preview=no", "--dither=floyd"},
  };
  for (const std::vector<std::string>& run : runs) {
    const std::vector<std::string> lines = Gravik(dir, run);
    ASSERT_FALSE(lines.empty());
    EXPECT_EQ(lines.back(), "ConvertToInks : wrote out.bmp, out_inks.asm") << run[0] << " " << run.back();
    EXPECT_GT(PrintedError(lines), 0);
    ExpectTrueMeanError(dir, run[1], lines);
  }
}

// A picture of 2048 rows or more is dithered in bands, each as a picture of
// its own: a picture stacked on itself gives each half the pens the picture
// alone gets (no row left out, none dithered twice, no error carried from
// one band into the next, each band's rows alternating from its first).
TEST(GravikInks, TallPicturesDitherEachBandAsAPictureOfItsOwn) {
  const TempDir dir;
  // An odd height: the second band starts on an odd row of the picture.
  ASSERT_TRUE(Magick(dir, {"-seed", "3", "-size", "24x1025", "xc:gray", "+noise", "Random", "PNG24:one.png"}));
  ASSERT_TRUE(Magick(dir, {"one.png", "one.png", "-append", "PNG24:two.png"}));
  const std::vector<std::string> options = {"--preview=no", "--dither=floyd", "--inks=0,3,6,9,13,15,18,24,26"};
  ASSERT_EQ(Gravik(dir, With({"ink0", "one.png", "one"}, options)).back(), "ConvertToInks : wrote one.bmp, one_inks.asm");
  ASSERT_EQ(Gravik(dir, With({"ink0", "two.png", "two"}, options)).back(), "ConvertToInks : wrote two.bmp, two_inks.asm");
  const Bmp one = LoadPens(dir.File("one.bmp"));
  const Bmp two = LoadPens(dir.File("two.bmp"));
  ASSERT_EQ(one.pens.size(), size_t{24} * 1025);
  ASSERT_EQ(two.pens.size(), 2 * one.pens.size());
  EXPECT_TRUE(std::equal(one.pens.begin(), one.pens.end(), two.pens.begin()));
  EXPECT_TRUE(std::equal(one.pens.begin(), one.pens.end(), two.pens.begin() + static_cast<std::ptrdiff_t>(one.pens.size())));
  EXPECT_GT(PensIn(one, 0, one.width).size(), 2u);
}

// A large picture is counted in two halves: a colour found only in the
// second half still counts.
TEST(GravikInks, ColoursOfBothHalvesOfALargePictureCount) {
  const TempDir dir;
  ASSERT_TRUE(Magick(dir, {"-size", "256x256", "xc:#0000FF", "xc:#FF0000", "-append", "PNG24:halves.png"}));
  for (const std::string plus : {"--strict", "--plus"}) {
    const std::vector<std::string> lines = Gravik(dir, {"ink2", "halves.png", "out", "--preview=no", plus});
    ASSERT_EQ(lines.size(), 6u) << plus;
    EXPECT_EQ(lines[2], plus == "--plus" ? "ConvertToInks : pen 0 : colour 00F"
                                         : "ConvertToInks : pen 0 : ink 2 Bright Blue");
    EXPECT_EQ(lines[4], "ConvertToInks : mean colour error 0.00 (CIELAB delta E)");
    const Bmp bmp = LoadPens(dir.File("out.bmp"));
    EXPECT_EQ(std::set<uint8_t>(bmp.pens.begin(), bmp.pens.begin() + 256 * 256), std::set<uint8_t>{0});
    EXPECT_EQ(std::set<uint8_t>(bmp.pens.begin() + 256 * 256, bmp.pens.end()), std::set<uint8_t>{1});
  }
}

// --fit: the largest picture of the source's shape as the CPC shows it, whole
// bytes wide, centred on the mode's screen in pen 0; --size exactly as asked.
TEST(GravikInks, FitCentresTheScaledSourceOnTheScreenInWholeBytes) {
  const TempDir dir;
  ASSERT_TRUE(Magick(dir, {"-size", "70x150", "xc:white", "PNG24:tall.png"}));
  ASSERT_TRUE(Magick(dir, {"-size", "300x100", "xc:white", "PNG24:wide.png"}));
  struct Case {
    std::string word, source;
    int width, height, screen_width, left, top;
  };
  // Tall: 200 rows; 70 x 150 shown 2.67 times as large is 186.7 mode 2
  // pixels wide, 23.3 bytes in every mode. Wide: the screen's width, 106.7 rows.
  const Case cases[] = {
      {"ink0", "tall.png", 46, 200, 160, 57, 0},   {"ink1", "tall.png", 92, 200, 320, 114, 0},
      {"ink2", "tall.png", 184, 200, 640, 228, 0}, {"ink0", "wide.png", 160, 107, 160, 0, 46},
      {"ink1", "wide.png", 320, 107, 320, 0, 46},  {"ink2", "wide.png", 640, 107, 640, 0, 46}};
  for (const Case& c : cases) {
    const std::vector<std::string> lines = Gravik(dir, {c.word, c.source, "out", "--fit", "--inks=0,26"});
    ASSERT_GE(lines.size(), 3u);
    EXPECT_EQ(lines[2], "ConvertToInks : scaled to " + std::to_string(c.width) + " x " +
                            std::to_string(c.height) + ", centred on " + std::to_string(c.screen_width) +
                            " x 200");
    const Bmp bmp = LoadPens(dir.File("out.bmp"));
    ASSERT_EQ(bmp.width, c.screen_width) << c.word << " " << c.source;
    ASSERT_EQ(bmp.height, 200);
    for (int y = 0; y < 200; ++y) {
      for (int x = 0; x < bmp.width; ++x) {
        const bool inside = x >= c.left && x < c.left + c.width && y >= c.top && y < c.top + c.height;
        ASSERT_EQ(bmp.pens[static_cast<size_t>(y * bmp.width + x)], inside ? 1 : 0)
            << c.word << " " << c.source << " at " << x << "," << y;
      }
    }
  }
  // In linear light a fine black and white checker halves to #BCBCBC (CPC+
  // level B); averaged as sRGB values it would be #808080 (level 8).
  ASSERT_TRUE(Magick(dir, {"-size", "64x64", "pattern:gray50", "PNG24:checker.png"}));
  const std::vector<std::string> lines = Gravik(dir, {"ink1", "checker.png", "out", "--plus", "--size=32x8"});
  ASSERT_EQ(lines.size(), 6u);
  EXPECT_EQ(lines[2], "ConvertToInks : scaled to 32 x 8");
  EXPECT_EQ(lines[3], "ConvertToInks : pen 0 : colour BBB");
  EXPECT_EQ(LoadPens(dir.File("out.bmp")).pens.size(), 32u * 8u);
  // The key colour is made transparent before scaling: none of it blends
  // into the white, whose edge would otherwise take pinks.
  ASSERT_TRUE(Magick(dir, {"-size", "40x40", "xc:#FF00FF", "-fill", "white", "-draw", "rectangle 10,10 29,29",
                           "PNG24:key.png"}));
  ASSERT_EQ(Gravik(dir, {"ink0", "key.png", "out", "--fit", "--transparent=FF00FF"}).size(), 7u);
  const Bmp keyed = LoadPens(dir.File("out.bmp"));
  EXPECT_EQ(std::set<uint8_t>(keyed.pens.begin(), keyed.pens.end()), (std::set<uint8_t>{0, 1}));
}

// --pen0 moves one chosen ink to pen 0, the others in firmware order; the
// inks themselves do not change.
TEST(GravikInks, PenZeroTakesTheAskedInk) {
  const TempDir dir;
  ASSERT_TRUE(Magick(dir, {"-size", "64x32", "xc:white", "-fill", "black", "-draw", "rectangle 20,8 40,20",
                           "-fill", "red", "-draw", "rectangle 44,8 50,20", "PNG24:logo.png"}));
  const std::string black = "ink 0 Black", red = "ink 6 Bright Red", white = "ink 26 Bright White";
  const std::pair<std::string, std::vector<std::string>> cases[] = {
      {"--preview=yes", {black, red, white}},  // no --pen0: firmware order
      {"--pen0=edge", {white, black, red}},
      {"--pen0=F01010", {red, black, white}},  // in the bands: Bright Red itself
      {"--pen0=503020", {black, red, white}},  // nearest in CIELAB
  };
  for (const auto& [option, inks] : cases) {
    const std::vector<std::string> lines = Gravik(dir, {"ink1", "logo.png", "out", option});
    ASSERT_EQ(lines.size(), 7u) << option;
    for (size_t pen = 0; pen < 3; ++pen)
      EXPECT_EQ(lines[2 + pen], "ConvertToInks : pen " + std::to_string(pen) + " : " + inks[pen]) << option;
    const Bmp bmp = LoadPens(dir.File("out.bmp"));
    EXPECT_EQ(PensIn(bmp, 0, 20), std::set<uint8_t>{static_cast<uint8_t>(option == "--pen0=edge" ? 0 : 2)});
  }
}

// Refused in one line, nothing written.
TEST(GravikInks, SizeAndPenZeroRefusals) {
  const TempDir dir;
  ASSERT_TRUE(Magick(dir, {"-size", "31x10", "xc:red", "PNG24:odd.png"}));
  ASSERT_TRUE(Magick(dir, {"-size", "36x10", "xc:red", "PNG24:wide36.png"}));
  ASSERT_TRUE(Magick(dir, With(Blocks({"none", "#FFFFFF"}), {"PNG32:clear.png"})));
  // A picture whose mode 0 preview would be 2 000 000 rows, past what PNG takes.
  ASSERT_TRUE(WriteIndexedBmp(dir.File("tall.bmp"), 2, 1000000, std::vector<uint8_t>(2000000, 0)));
  const std::pair<std::vector<std::string>, std::string> refusals[] = {
      {{"ink0", "odd.png", "out"},
       "width 31 is not a whole number of bytes in mode 0 (2 pixels a byte): scale the picture with --fit or "
       "--size=WxH"},
      {{"ink2", "wide36.png", "out"},
       "width 36 is not a whole number of bytes in mode 2 (8 pixels a byte): scale the picture with --fit or "
       "--size=WxH"},
      {{"ink1", "odd.png", "out", "--size=30x10"},
       "bad value in --size=30x10 : the width is not a whole number of bytes in mode 1 (4 pixels a byte)"},
      {{"ink0", "odd.png", "out", "--size=0x10"},
       "bad value in --size=0x10 : WxH, each 1 to 4096, at most 2^20 pixels"},
      {{"ink0", "odd.png", "out", "--size=2048x1024"},
       "bad value in --size=2048x1024 : WxH, each 1 to 4096, at most 2^20 pixels"},
      {{"ink0", "odd.png", "out", "--fit=yes"}, "bad value in --fit=yes"},
      {{"ink0", "odd.png", "out", "--fit", "--size=32x8"}, "--fit and --size can not be used together"},
      {{"ink0", "odd.png", "out", "--pen0=white"}, "bad value in --pen0=white"},
      {{"ink0", "odd.png", "out", "--pen0=edge", "--transparent=FF0000"},
       "--pen0 can not be used with --transparent: pen 0 holds the transparent pixels"},
      {{"ink0", "odd.png", "out", "--pen0=edge", "--inks=0,6"},
       "--pen0 can not be used with --inks, whose first ink is pen 0's"},
      {{"ink1", "clear.png", "out", "--pen0=FFFFFF"},
       "--pen0 can not be used on a picture with transparency: pen 0 holds its transparent pixels"},
      {{"ink0", "tall.bmp", "out"}, "preview too large, use --preview=no"},
  };
  for (const auto& [args, line] : refusals)
    EXPECT_EQ(Gravik(dir, args), std::vector<std::string>{"ConvertToInks : " + line}) << line;
  EXPECT_FALSE(std::filesystem::exists(dir.File("out.bmp")));
  EXPECT_EQ(Gravik(dir, {"ink0", "tall.bmp", "out", "--preview=no"}).back(),
            "ConvertToInks : wrote out.bmp, out_inks.asm");
  EXPECT_EQ(Gravik(dir, {"ink0", "odd.png", "out", "--fit", "--preview=no"})[2],
            "ConvertToInks : scaled to 160 x 103, centred on 160 x 200");
}

// Pictures ImageMagick writes by default: BMPs with the version 4 or 5
// header at every depth, and 16-bit grey PNG, PGM and TIFF, give exactly what
// the same picture as a true-colour PNG gives.
TEST(GravikInks, LongHeaderBmpsAndSixteenBitGreysReadAsTheirEightBitTwins) {
  const TempDir dir;
  const std::vector<std::string> colour = {"-size", "32x16", "gradient:#FF2000-#0020FF"};
  // Colours RGB565 holds exactly; greys of 8 bits (16-bit values 257 times
  // theirs), a flat #404040 among them.
  const std::vector<std::string> pure = Blocks({"#000000", "#FF0000", "#00FF00", "#FFFFFF"});
  ASSERT_TRUE(Magick(dir, {"-size", "32x16", "gradient:#202020-#C0C0C0", "-size", "32x16", "xc:#404040",
                           "+append", "-colorspace", "Gray", "PNG24:grey.png"}));
  const std::vector<std::string> grey = {"grey.png"};
  const std::pair<std::vector<std::string>, std::vector<std::string>> files[] = {
      {colour, {"-type", "Bilevel", "v1.bmp"}},
      {colour, {"-colors", "16", "-type", "Palette", "v4.bmp"}},
      {colour, {"-type", "Palette", "v8.bmp"}},
      {pure, {"-define", "bmp:subtype=RGB565", "v16.bmp"}},
      {colour, {"-type", "TrueColor", "v24.bmp"}},
      {colour, {"-alpha", "on", "v32.bmp"}},
      {grey, {"-depth", "16", "-define", "png:bit-depth=16", "-define", "png:color-type=0", "g.png"}},
      {grey, {"-depth", "16", "g.pgm"}},
      {grey, {"-depth", "16", "-type", "Grayscale", "g.tif"}},
  };
  for (const auto& [picture, tail] : files) {
    const std::string& source = tail.back();
    ASSERT_TRUE(Magick(dir, With(picture, tail)));
    // The twin: the picture as read back by ImageMagick, 8 bits a channel.
    ASSERT_TRUE(Magick(dir, {source, "-depth", "8", "PNG24:twin.png"}));
    const std::vector<uint8_t> bytes = ReadFileBytes(dir.File(source));
    ASSERT_GT(bytes.size(), 30u);
    if (source[0] == 'v') {
      EXPECT_TRUE(bytes[14] == 108 || bytes[14] == 124) << source;
    }
    if (source == "g.png") {
      EXPECT_EQ(bytes[24], 16);  // the bit depth in IHDR
    }
    std::vector<std::string> lines = Gravik(dir, {"ink1", source, "out", "--preview=no"});
    const std::vector<uint8_t> bmp = ReadFileBytes(dir.File("out.bmp"));
    std::vector<std::string> twin_lines = Gravik(dir, {"ink1", "twin.png", "out", "--preview=no"});
    ASSERT_GE(lines.size(), 4u) << source << ": " << lines[0];
    lines.erase(lines.begin());
    twin_lines.erase(twin_lines.begin());
    EXPECT_EQ(lines, twin_lines) << source;
    EXPECT_EQ(bmp, ReadFileBytes(dir.File("out.bmp"))) << source;
  }
}

// With a dither the inks are chosen for the picture as shown: a picture of
// many colours uses every pen, and what the eye sees (the blurred delta E)
// is never worse than the same word without dither.
TEST(GravikInks, DitheredInksUseEveryPenAndLookNoWorse) {
  const TempDir dir;
  ASSERT_TRUE(Magick(dir, {"-seed", "3", "-size", "32x24", "xc:", "+noise", "Random", "PNG24:noise.png"}));
  // Mid-level noise: its nearest inks are 8, its mixtures need more.
  ASSERT_TRUE(Magick(dir, {"-seed", "3", "-size", "32x24", "xc:", "+noise", "Random", "+level", "30%,70%",
                           "PNG24:middle.png"}));
  ASSERT_TRUE(Magick(dir, {"-size", "32x24", "gradient:#FFC040-#2040A0", "PNG24:sky.png"}));
  ASSERT_TRUE(Magick(dir, {"-size", "32x24", "gradient:#A0A0A0-#303030", "PNG24:grey.png"}));
  const auto pens_used = [&](const std::string& picture, const std::string& word, const std::string& dither) {
    Gravik(dir, {word, picture + ".png", "out", "--preview=no", "--dither=" + dither});
    const Bmp bmp = LoadPens(dir.File("out.bmp"));
    return std::set<uint8_t>(bmp.pens.begin(), bmp.pens.end()).size();
  };
  const auto seen = [&](const std::string& picture, const std::string& word, const std::string& dither) {
    Gravik(dir, {word, picture + ".png", "out", "--preview=no", "--dither=" + dither});
    return SeenErrorOf(dir, picture + ".png", "out.bmp");
  };
  EXPECT_GT(pens_used("middle", "ink0", "floyd"), pens_used("middle", "ink0", "none"));
  for (const auto& [word, pens] : {std::pair{"ink0", size_t{16}}, std::pair{"ink1", size_t{4}}}) {
    const double undithered[] = {seen("sky", word, "none"), seen("grey", word, "none")};
    for (const char* dither : {"floyd", "ordered"}) {
      EXPECT_EQ(pens_used("noise", word, dither), pens) << word << " " << dither;
      EXPECT_LE(seen("sky", word, dither), undithered[0]) << word << " " << dither;
      EXPECT_LE(seen("grey", word, dither), undithered[1]) << word << " " << dither;
    }
  }
}

// Floyd-Steinberg against the best ImageMagick result that fits the pens (its
// -colors N, then -remap onto the 27 colours, with and without its dither
// onto those N): at most 0.75 times its seen error on a ramp and a grey
// texture in modes 0 and 1. A dither that keeps the mean of the 8-bit levels
// instead of the light shows mixtures too light, and misses it.
TEST(GravikInks, FloydLooksBetterThanImageMagicksBestThatFits) {
  const TempDir dir;
  std::vector<std::string> palette;
  for (const char* r : {"00", "80", "FF"}) {
    for (const char* g : {"00", "80", "FF"}) {
      for (const char* b : {"00", "80", "FF"}) palette.push_back(std::string("xc:#") + r + g + b);
    }
  }
  ASSERT_TRUE(Magick(dir, With(palette, {"+append", "PNG24:palette.png"})));
  ASSERT_TRUE(Magick(dir, {"-size", "64x40", "gradient:navy-orange", "PNG24:ramp.png"}));
  ASSERT_TRUE(Magick(dir, {"-seed", "5", "-size", "64x40", "plasma:gray35-gray75", "-colorspace", "gray",
                           "-seed", "5", "+noise", "Gaussian", "PNG24:granite.png"}));
  for (const std::string picture : {"ramp.png", "granite.png"}) {
    for (const auto& [word, pens] : {std::pair{"ink0", "16"}, std::pair{"ink1", "4"}}) {
      ASSERT_TRUE(Magick(
          dir, {picture, "+dither", "-colors", pens, "+dither", "-remap", "palette.png", "PNG24:plain.png"}));
      ASSERT_TRUE(
          Magick(dir, {picture, "-dither", "FloydSteinberg", "-remap", "plain.png", "PNG24:mixed.png"}));
      const double best =
          std::min(SeenErrorOf(dir, picture, "plain.png"), SeenErrorOf(dir, picture, "mixed.png"));
      Gravik(dir, {word, picture, "out", "--preview=no", "--dither=floyd"});
      EXPECT_LE(SeenErrorOf(dir, picture, "out.bmp"), 0.75 * best) << picture << " " << word;
    }
  }
}
