// Writes an 8-bit BMP of pseudo-random pens 0 to 15 for the benchmarks:
// make_picture <path> <width> <height>
#include <FreeImage.h>

#include <cstdint>
#include <cstdlib>

int main(int argc, char** argv) {
  if (argc < 4) return 2;
  const int width = std::atoi(argv[2]);
  const int height = std::atoi(argv[3]);
  FreeImage_Initialise(FALSE);
  FIBITMAP* image = FreeImage_Allocate(width, height, 8);
  if (image == nullptr) return 1;
  RGBQUAD* palette = FreeImage_GetPalette(image);
  for (int k = 0; k < 256; ++k) palette[k].rgbRed = palette[k].rgbGreen = palette[k].rgbBlue = static_cast<BYTE>(k);
  uint32_t state = 12345;
  for (int y = 0; y < height; ++y) {
    BYTE* line = FreeImage_GetScanLine(image, y);
    for (int x = 0; x < width; ++x) {
      state = state * 1103515245u + 12345u;
      line[x] = static_cast<BYTE>((state >> 16) & 15);
    }
  }
  const bool is_ok = FreeImage_Save(FIF_BMP, image, argv[1], 0) != 0;
  FreeImage_Unload(image);
  FreeImage_DeInitialise();
  return is_ok ? 0 : 1;
}
