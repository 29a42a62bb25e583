// Writes the sample assets that the demo converts, so that the project ships
// no binary pictures: make_samples <folder>.
#include <FreeImage.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "common/image_io/bitmap.h"

namespace {

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

// Sprites are 16 x 16; pen 255 marks the pixels a compiled sprite leaves alone.
constexpr int kClear = 255;

// A ship: hull, cockpit and engine flame on a clear background.
int ShipPen(int x, int y) {
  const int half_width = y < 4 ? y / 2 : (y < 12 ? 2 + (y - 4) : 0);
  if (y >= 12) return (x >= 6 && x <= 9) ? (y % 2 == 0 ? 11 : 3) : kClear;
  if (x < 8 - half_width || x > 7 + half_width) return kClear;
  if (y >= 3 && y <= 5 && x >= 7 && x <= 8) return 2;
  return (x == 8 - half_width || x == 7 + half_width) ? 13 : 4;
}

// A coin: bands of few pens, good runs for the RLE and packed forms.
int CoinPen(int x, int y) {
  const int dx = 2 * x - 15;
  const int dy = 2 * y - 15;
  const int r2 = dx * dx + dy * dy;
  if (r2 > 225) return 0;
  if (r2 > 144) return 9;
  return (x >= 7 && x <= 8 && y >= 4 && y <= 11) ? 9 : 1;
}

// Two frames of a walking figure: only the legs and an arm move.
int WalkPen(int x, int y, int frame) {
  if (y < 4) return (x >= 6 && x <= 9) ? 10 : 0;
  if (y < 10) {
    if (x >= 5 && x <= 10) return 6;
    const bool is_arm_forward = (frame == 0) == (y >= 6);
    return (is_arm_forward ? x == 11 : x == 4) ? 10 : 0;
  }
  const int spread = frame == 0 ? (y - 10) : 1;
  return (x == 6 - spread || x == 9 + spread) ? 5 : 0;
}

// Sound: a short square-wave blip at 15625 Hz, four notes of falling loudness
// and a silence, and the table that maps its sample values to AY volumes.
bool WriteBytes(const std::string& path, const std::vector<unsigned char>& bytes) {
  std::FILE* file = std::fopen(path.c_str(), "wb");
  const bool is_ok = file != nullptr && std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
  if (file != nullptr) std::fclose(file);
  if (!is_ok) std::fprintf(stderr, "make_samples: can not write %s\n", path.c_str());
  return is_ok;
}

std::vector<unsigned char> BlipSample() {
  std::vector<unsigned char> samples;
  for (int note = 0; note < 4; ++note) {
    const int amplitude = 120 >> note;
    // 20 samples a period: a 781 Hz tone for an eighth of a second.
    for (int k = 0; k < 1953; ++k) {
      samples.push_back(static_cast<unsigned char>(128 + ((k / 10) % 2 == 0 ? amplitude : -amplitude)));
    }
  }
  samples.insert(samples.end(), 1562, 128);
  return samples;
}

// The AY's output is unipolar and its 16 volumes are roughly 3 dB apart: each
// sample value, read as a loudness from 0 to 255, gets the nearest volume.
std::vector<unsigned char> VolumeTable() {
  std::vector<unsigned char> table(256);
  for (int k = 0; k < 256; ++k) {
    const double amplitude = k / 255.0;
    const long level = amplitude < 0.01 ? 0 : std::lround(15.0 + 2.0 * std::log2(amplitude));
    table[k] = static_cast<unsigned char>(level < 0 ? 0 : level);
  }
  return table;
}

// Two rooms cut from the same 4 x 8 tiles: sky (pen 0), two brick tiles, a
// platform; the second room also has a window. Tile rows count from the top.
int RoomPen(int x, int y, bool has_window) {
  const int tile_x = x / 4, tile_y = y / 8, px = x % 4, py = y % 8;
  if (tile_y == 5) return py == 0 || (px == 0 && (py < 4) == (tile_x % 2 == 0)) ? 5 : 9;
  if (tile_y == 3 && tile_x >= 5 && tile_x < 9) return py < 2 ? 12 : 0;
  if (has_window && tile_y == 1 && tile_x >= 10 && tile_x < 13) return px == 0 || py == 0 ? 14 : 2;
  return 0;
}

// A 16 x 6 map, one byte a cell, rows from the top: the shape of the rooms.
std::vector<unsigned char> RoomMap() {
  std::vector<unsigned char> cells;
  for (int y = 0; y < 6; ++y) {
    for (int x = 0; x < 16; ++x) cells.push_back(y == 5 ? 1 + x % 2 : (y == 3 && x >= 5 && x < 9 ? 3 : 0));
  }
  return cells;
}

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

// A painting as a paint program saves it: true colour, a sky of smooth
// shades (no CPC level: the ink words choose and may dither), a sun and hills
// drawn with the &77 many artists use for a CPC half level.
bool WritePainting(const std::string& path, int width, int height) {
  ImagePtr image(FreeImage_Allocate(width, height, 24));
  if (!image) return false;
  for (int y = 0; y < height; ++y) {
    BYTE* line = FreeImage_GetScanLine(image.get(), height - 1 - y);
    for (int x = 0; x < width; ++x, line += 3) {
      int red = 40 + y * 120 / height;
      int green = 60 + y * 100 / height;
      int blue = 200 - y * 60 / height;
      const int sun_x = x - width * 3 / 4;
      const int sun_y = y - height / 4;
      if (sun_x * sun_x + sun_y * sun_y < 18 * 18) red = 0xFF, green = 0xFF, blue = 0x77;
      const double hill = height * 0.65 + 15 * std::sin(x / 11.0);
      if (y > hill) red = 0x00, green = 0x77, blue = 0x00;
      if (y > hill + 40) red = 0x77, green = 0x77, blue = 0x00;
      line[FI_RGBA_RED] = static_cast<BYTE>(red);
      line[FI_RGBA_GREEN] = static_cast<BYTE>(green);
      line[FI_RGBA_BLUE] = static_cast<BYTE>(blue);
    }
  }
  return FreeImage_Save(FIF_PNG, image.get(), path.c_str(), 0) != 0;
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
  is_ok = WritePainting(folder + "painting.png", 160, 200) && is_ok;

  // Image utilities
  is_ok = WritePicture(folder + "sheet.bmp", 64, 32, SheetPen) && is_ok;
  is_ok = WritePicture(folder + "logo.bmp", 48, 16, LogoPen) && is_ok;
  is_ok = WritePictureAsOtherFormat(folder + "art.png", 32, 32, SheetPen, false) && is_ok;
  is_ok = WritePictureAsOtherFormat(folder + "photo.tga", 32, 16, LogoPen, true) && is_ok;

  // Sprites
  is_ok = WritePicture(folder + "ship.bmp", 16, 16, ShipPen) && is_ok;
  is_ok = WritePicture(folder + "coin.bmp", 16, 16, CoinPen) && is_ok;
  is_ok = WritePicture(folder + "walk1.bmp", 16, 16, [](int x, int y) { return WalkPen(x, y, 0); }) && is_ok;
  is_ok = WritePicture(folder + "walk2.bmp", 16, 16, [](int x, int y) { return WalkPen(x, y, 1); }) && is_ok;

  // Tiles and maps
  is_ok = WritePicture(folder + "room1.bmp", 64, 48, [](int x, int y) { return RoomPen(x, y, false); }) && is_ok;
  is_ok = WritePicture(folder + "room2.bmp", 64, 48, [](int x, int y) { return RoomPen(x, y, true); }) && is_ok;
  is_ok = WriteBytes(folder + "room_map.bin", RoomMap()) && is_ok;

  // Sound
  is_ok = WriteBytes(folder + "blip.snd", BlipSample()) && is_ok;
  is_ok = WriteBytes(folder + "volumes.tab", VolumeTable()) && is_ok;

  // Level builder
  is_ok = WritePicture(folder + "castle.BMP", 256, 160, LevelPen) && is_ok;

  FreeImage_DeInitialise();
  return is_ok ? 0 : 1;
}
