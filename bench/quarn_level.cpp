// Writes the benchmark levels of quarn: quarn_level <folder>
//   full: four step files, 10 x 5 blocks, 50 patterns a group and about 1500
//         distinct tiles, so that both banks are nearly full;
//   wide: one common image 500 x 5 blocks, a row of 16 patterns repeating.
#include <FreeImage.h>

#include <cstdio>
#include <random>
#include <string>
#include <vector>

namespace {

constexpr int kBlockSide = 32;
constexpr int kTileSide = 8;
constexpr int kLevelHeight = 5 * kBlockSide;

struct Picture {
  int width = 0;
  std::vector<unsigned char> pens;  // top row first
  unsigned char& At(int x, int y) { return pens[static_cast<size_t>(y) * width + x]; }
};

bool Save(const std::string& path, Picture& picture) {
  FIBITMAP* image = FreeImage_Allocate(picture.width, kLevelHeight, 8);
  if (image == nullptr) return false;
  RGBQUAD* palette = FreeImage_GetPalette(image);
  for (int k = 0; k < 256; ++k) {
    palette[k].rgbRed = palette[k].rgbGreen = static_cast<BYTE>(k * 16);
    palette[k].rgbBlue = static_cast<BYTE>(255 - k);
  }
  for (int y = 0; y < kLevelHeight; ++y) {
    BYTE* line = FreeImage_GetScanLine(image, kLevelHeight - 1 - y);
    for (int x = 0; x < picture.width; ++x) line[x] = picture.At(x, y);
  }
  const bool is_saved = FreeImage_Save(FIF_BMP, image, path.c_str(), 0) != 0;
  FreeImage_Unload(image);
  return is_saved;
}

// Step n: 50 patterns, each 16 tiles from the step's own pool of 375 random
// tiles, drawn 2n pixels to the right so that quarn's shift brings them home.
bool WriteFullStep(const std::string& path, int step) {
  constexpr int kPoolTiles = 375;
  std::mt19937 generator(1000 + step);
  std::uniform_int_distribution<int> pen(0, 15);
  std::vector<unsigned char> pool(kPoolTiles * 64);
  for (unsigned char& p : pool) p = static_cast<unsigned char>(pen(generator));
  Picture picture{10 * kBlockSide + 8, std::vector<unsigned char>((10 * kBlockSide + 8) * kLevelHeight, 0)};
  for (int block = 0; block < 50; ++block) {
    const int bx = block % 10;
    const int by = block / 10;
    for (int k = 0; k < 16; ++k) {
      const unsigned char* tile = &pool[((block * 16 + k) % kPoolTiles) * 64];
      for (int r = 0; r < kTileSide; ++r) {
        for (int c = 0; c < kTileSide; ++c) {
          picture.At(bx * kBlockSide + (k % 4) * kTileSide + c + 2 * step,
                     by * kBlockSide + (k / 4) * kTileSide + r) = tile[r * kTileSide + c];
        }
      }
    }
  }
  return Save(path, picture);
}

bool WriteWideLevel(const std::string& path) {
  constexpr int kBlocksWide = 500;
  std::mt19937 generator(77);
  std::uniform_int_distribution<int> pen(0, 15);
  std::vector<unsigned char> pool(16 * kBlockSide * kBlockSide);
  for (unsigned char& p : pool) p = static_cast<unsigned char>(pen(generator));
  Picture picture{kBlocksWide * kBlockSide,
                  std::vector<unsigned char>(kBlocksWide * kBlockSide * kLevelHeight)};
  for (int by = 0; by < 5; ++by) {
    for (int bx = 0; bx < kBlocksWide; ++bx) {
      const unsigned char* pattern = &pool[((bx + 3 * by) % 16) * kBlockSide * kBlockSide];
      for (int r = 0; r < kBlockSide; ++r) {
        for (int c = 0; c < kBlockSide; ++c)
          picture.At(bx * kBlockSide + c, by * kBlockSide + r) = pattern[r * kBlockSide + c];
      }
    }
  }
  return Save(path, picture);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: quarn_level <folder>\n");
    return 2;
  }
  FreeImage_Initialise(FALSE);
  const std::string folder = std::string(argv[1]) + "/";
  bool is_ok = true;
  for (int step = 0; step < 4; ++step) {
    is_ok =
        WriteFullStep(folder + "full_step" + std::string(1, static_cast<char>('A' + step)) + ".BMP", step) &&
        is_ok;
  }
  is_ok = WriteWideLevel(folder + "wide.BMP") && is_ok;
  FreeImage_DeInitialise();
  return is_ok ? 0 : 1;
}
