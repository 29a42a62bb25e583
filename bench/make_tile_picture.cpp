// Writes the picture the add0 benchmark cuts: side x side pixels, 8 bits, made
// of 4 x 8 tiles drawn from a fixed number of different designs.
// make_tile_picture <picture.bmp> <side> <designs>
#include <FreeImage.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>

namespace {

uint32_t NextRandom(uint32_t& state) {
  state = state * 1664525u + 1013904223u;
  return state >> 8;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 4) return 2;
  const int side = std::atoi(argv[2]);
  const int designs = std::atoi(argv[3]);
  if (side <= 0 || side % 8 != 0 || designs <= 0) return 2;
  FreeImage_Initialise(FALSE);
  FIBITMAP* image = FreeImage_Allocate(side, side, 8);
  if (image == nullptr) return 1;
  uint32_t state = 12345;
  for (int tile_y = 0; tile_y < side / 8; ++tile_y) {
    for (int tile_x = 0; tile_x < side / 4; ++tile_x) {
      // Design d: pen (d + x + 3 * y) % 16 with pen d / 16 in the top left corner.
      const int design = static_cast<int>(NextRandom(state) % static_cast<uint32_t>(designs));
      for (int y = 0; y < 8; ++y) {
        BYTE* line = FreeImage_GetScanLine(image, tile_y * 8 + y) + tile_x * 4;
        for (int x = 0; x < 4; ++x) line[x] = static_cast<BYTE>((design + x + 3 * y) % 16);
        if (y == 7) line[0] = static_cast<BYTE>(design / 16);
      }
    }
  }
  const bool is_saved = FreeImage_Save(FIF_BMP, image, argv[1], 0) != 0;
  FreeImage_Unload(image);
  FreeImage_DeInitialise();
  return is_saved ? 0 : 1;
}
