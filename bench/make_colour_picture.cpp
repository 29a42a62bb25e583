// Writes a true-colour PNG for the ink benchmarks: smooth gradients (most of
// a photo or a painted title), a little noise on them, and flat areas drawn
// in CPC inks, so that the colour counts overflow and the cells are used.
// With "noise", every pixel a random colour instead: the worst picture, one
// whose colours almost never repeat, so that nothing can be kept per colour.
// make_colour_picture <path.png> <width> <height> [noise]
#include <FreeImage.h>

#include <cstdint>
#include <cstdlib>
#include <string>

int main(int argc, char** argv) {
  if (argc < 4) return 2;
  const int width = std::atoi(argv[2]);
  const int height = std::atoi(argv[3]);
  if (width <= 0 || height <= 0) return 2;
  const bool is_noise = argc > 4 && std::string(argv[4]) == "noise";
  FreeImage_Initialise(FALSE);
  FIBITMAP* image = FreeImage_Allocate(width, height, 24);
  if (image == nullptr) return 1;
  uint32_t state = 12345;
  for (int y = 0; y < height; ++y) {
    BYTE* line = FreeImage_GetScanLine(image, y);
    for (int x = 0; x < width; ++x, line += 3) {
      state = state * 1103515245u + 12345u;
      const int noise = static_cast<int>((state >> 16) & 7) - 4;
      int red = x * 255 / width + noise;
      int green = y * 255 / height + noise;
      int blue = (x + y) * 255 / (width + height) + noise;
      if (is_noise) {
        red = static_cast<int>(state >> 24);
        state = state * 1103515245u + 12345u;
        green = static_cast<int>(state >> 24);
        state = state * 1103515245u + 12345u;
        blue = static_cast<int>(state >> 24);
      }
      // A flat block of CPC inks every 256 pixels each way.
      if (!is_noise && (x / 256 + y / 256) % 5 == 0) {
        red = (x / 256) % 3 * 0x80;
        green = (y / 256) % 3 * 0x80;
        blue = 0x80;
      }
      line[FI_RGBA_RED] = static_cast<BYTE>(red < 0 ? 0 : red > 255 ? 255 : red);
      line[FI_RGBA_GREEN] = static_cast<BYTE>(green < 0 ? 0 : green > 255 ? 255 : green);
      line[FI_RGBA_BLUE] = static_cast<BYTE>(blue < 0 ? 0 : blue > 255 ? 255 : blue);
    }
  }
  const bool is_ok = FreeImage_Save(FIF_PNG, image, argv[1], 0) != 0;
  FreeImage_Unload(image);
  FreeImage_DeInitialise();
  return is_ok ? 0 : 1;
}
