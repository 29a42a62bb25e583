// The input is a tileset file as a user might have left it: final0 reads it,
// then add0 reads it and adds a small picture's tiles to it.
#include <FreeImage.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "fuzz/fuzz_support.h"
#include "toolkit/tiles/tileset_add.h"
#include "toolkit/tiles/tileset_finalize.h"

namespace {

std::string PictureName() { return "fuzz_tiles_" + std::to_string(getpid()) + ".bmp"; }

// A 16 x 16 picture of eight different tiles, pens 0 to 31, written once and
// removed at exit.
std::string PicturePath() {
  static const std::string path = [] {
    const std::string name = PictureName();
    FIBITMAP* image = FreeImage_Allocate(16, 16, 8);
    for (unsigned y = 0; y < 16; ++y) {
      BYTE* line = FreeImage_GetScanLine(image, y);
      for (unsigned x = 0; x < 16; ++x) line[x] = static_cast<BYTE>((x * 7 + y * 3) % 32);
    }
    FreeImage_Save(FIF_BMP, image, name.c_str(), 0);
    FreeImage_Unload(image);
    std::atexit([] { std::remove(PictureName().c_str()); });
    return name;
  }();
  return path;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  SilenceConsole();
  StartImageLibrary();
  // final0 builds its output names from the bare name, so the set lies in the
  // working folder rather than the temp folder.
  const std::string name = "fuzz_set_" + std::to_string(getpid());
  std::FILE* file = std::fopen((name + ".set").c_str(), "wb");
  if (file == nullptr) return 0;
  if (size > 0) std::fwrite(data, 1, size, file);
  std::fclose(file);
  FinalizeTileset(name);
  AddToTileset(PicturePath(), name + ".set");
  std::remove((name + ".set").c_str());
  std::remove(("tileset_" + name + ".til").c_str());
  std::remove(("tileset_" + name + ".bmp").c_str());
  return 0;
}
