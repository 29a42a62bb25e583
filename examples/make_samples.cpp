// Writes the sample assets that the demo converts, so that the project ships
// no binary pictures: make_samples <folder>.
#include <FreeImage.h>

#include <cmath>
#include <cstdio>
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

// Image utilities: a 64 x 32 sheet of eight 16 x 16 balls, one pen each on
// pen 0, for spt; a small logo in all 16 pens for raw and pal.
int SheetPen(int x, int y) {
  const int dx = x % 16 - 8;
  const int dy = y % 16 - 8;
  return dx * dx + dy * dy < 40 ? 1 + (x / 16 + 4 * (y / 16)) % 15 : 0;
}

int LogoPen(int x, int y) { return (x / 3 + y) % 16; }

// A picture as another tool would hand it over: drawn as BMP, then saved
// through FreeImage in the format that path's extension names.
bool WritePictureAsOtherFormat(const std::string& path, int width, int height, const PenAt& pen_at,
                               bool is_truecolour) {
  const std::string drawn = path + ".tmp.bmp";
  if (!WritePicture(drawn, width, height, pen_at)) return false;
  ImagePtr image(FreeImage_Load(FIF_BMP, drawn.c_str(), 0));
  std::remove(drawn.c_str());
  if (image && is_truecolour) image.reset(FreeImage_ConvertTo24Bits(image.get()));
  if (!image || !FreeImage_Save(FreeImage_GetFIFFromFilename(path.c_str()), image.get(), path.c_str(), 0)) {
    std::fprintf(stderr, "make_samples: can not write %s\n", path.c_str());
    return false;
  }
  return true;
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
  is_ok = WritePicture(folder + "sheet.bmp", 64, 32, SheetPen) && is_ok;
  is_ok = WritePicture(folder + "logo.bmp", 48, 16, LogoPen) && is_ok;
  is_ok = WritePictureAsOtherFormat(folder + "art.png", 32, 32, SheetPen, false) && is_ok;
  is_ok = WritePictureAsOtherFormat(folder + "photo.tga", 32, 16, LogoPen, true) && is_ok;

  // Sprites

  // Tiles and maps

  // Sound

  // Level builder

  FreeImage_DeInitialise();
  return is_ok ? 0 : 1;
}
