#include "toolkit/sprites/sprite_pixels.h"

SpritePixels ReadSpritePixels(const Picture& view) {
  SpritePixels pixels{};
  for (int y = 0; y < kSpriteSide; ++y) {
    for (int x = 0; x < kSpriteSide; ++x) pixels[y * kSpriteSide + x] = view.At(x, y);
  }
  return pixels;
}
