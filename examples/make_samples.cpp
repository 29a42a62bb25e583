// Writes the sample assets that the demo converts, so that the project ships
// no binary pictures: make_samples <folder>.
#include <FreeImage.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <memory>
#include <string>

namespace {

struct Unloader {
  void operator()(FIBITMAP* image) const { FreeImage_Unload(image); }
};
using ImagePtr = std::unique_ptr<FIBITMAP, Unloader>;

struct Rgb {
  int red, green, blue;
};

// The CPC firmware's default mode 0 inks, close enough for a PC preview.
constexpr Rgb kCpcInks[16] = {{0, 0, 128},     {255, 255, 0},   {0, 255, 255}, {255, 0, 0},
                              {255, 255, 255}, {0, 0, 0},       {0, 0, 255},   {255, 0, 255},
                              {0, 128, 128},   {128, 128, 0},   {255, 128, 255}, {255, 128, 0},
                              {128, 255, 0},   {128, 255, 255}, {128, 0, 0},   {0, 128, 0}};

using PenAt = std::function<int(int x, int y)>;

bool WritePicture(const std::string& path, int width, int height, const PenAt& pen_at) {
  ImagePtr image(FreeImage_Allocate(width, height, 8));
  if (!image) return false;
  RGBQUAD* palette = FreeImage_GetPalette(image.get());
  for (int k = 0; k < 256; ++k) {
    const Rgb ink = kCpcInks[k % 16];
    palette[k].rgbRed = static_cast<BYTE>(ink.red);
    palette[k].rgbGreen = static_cast<BYTE>(ink.green);
    palette[k].rgbBlue = static_cast<BYTE>(ink.blue);
    palette[k].rgbReserved = 0;
  }
  for (int y = 0; y < height; ++y) {
    BYTE* line = FreeImage_GetScanLine(image.get(), height - 1 - y);  // bottom-up in memory
    for (int x = 0; x < width; ++x) line[x] = static_cast<BYTE>(pen_at(x, y));
  }
  if (!FreeImage_Save(FIF_BMP, image.get(), path.c_str(), 0)) {
    std::fprintf(stderr, "make_samples: can not write %s\n", path.c_str());
    return false;
  }
  return true;
}

// A title screen: sky bands, a sun and hills, all 16 pens in use.
int TitlePen(int x, int y) {
  const double dx = x - 110.0;
  const double dy = (y - 60.0) / 2.0;
  if (dx * dx + dy * dy < 300.0) return 1;
  const double hill = 140.0 + 20.0 * std::sin(x / 14.0);
  if (y > hill) return 12 + (x / 8 + y / 8) % 4;
  return 2 + (y / 14) % 10;
}

int Mode1Pen(int x, int y) { return ((x / 20) + (y / 25)) % 4; }

int Mode2Pen(int x, int y) { return ((x / 8) ^ (y / 8)) & 1; }

// A level for quarn: 8 x 5 blocks of 32 x 32 pixels, many of them repeated.
// Two spikes hang from the ceiling and the same spike stands upside down on
// a ledge, so those blocks are stored once with the flip flag.
bool IsSpike(int x_in_block, int depth) { return std::abs(2 * x_in_block - 31) < 32 - depth; }

int BrickPen(int x, int y) {
  const bool is_mortar = y % 8 == 0 || (x + (y / 8) % 2 * 8) % 16 == 0;
  return is_mortar ? 4 : 3;
}

int LevelPen(int x, int y) {
  const int column = x / 32;
  const int row = y / 32;
  if (row == 0 && (column == 2 || column == 5)) return IsSpike(x % 32, y % 32) ? 9 : 0;
  if (row == 3 && (column == 4 || column == 7)) return IsSpike(x % 32, 31 - y % 32) ? 9 : 0;
  if (row == 4) return y % 32 < 4 ? 12 : 14 + (x / 4 + y / 4) % 2;
  if (row == 3 && column >= 1 && column <= 2) return BrickPen(x, y);
  if (column == 6 && row >= 1) return BrickPen(x, y);
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: make_samples <folder>\n");
    return 2;
  }
  FreeImage_Initialise(FALSE);
  const std::string folder = std::string(argv[1]) + "/";
  bool is_ok = true;

  // Screens
  is_ok = WritePicture(folder + "title.bmp", 160, 200, TitlePen) && is_ok;
  is_ok = WritePicture(folder + "menu.bmp", 320, 200, Mode1Pen) && is_ok;
  is_ok = WritePicture(folder + "font.bmp", 640, 200, Mode2Pen) && is_ok;

  // Image utilities

  // Sprites

  // Tiles and maps

  // Sound

  // Level builder
  is_ok = WritePicture(folder + "castle.BMP", 256, 160, LevelPen) && is_ok;

  FreeImage_DeInitialise();
  return is_ok ? 0 : 1;
}
