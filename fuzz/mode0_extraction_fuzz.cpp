// The input is a CPC data file: its first two bytes choose the start offset
// and the options, the rest is the data decoded through a fixed 8 x 4 template.
#include <FreeImage.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>

#include "fuzz/fuzz_support.h"
#include "toolkit/sprites/mode0_extraction.h"

namespace {

const std::string& TemplatePath() {
  static const std::string path = [] {
    const std::string name = "/tmp/tarsel_fuzz_template_" + std::to_string(getpid()) + ".bmp";
    ImagePtr image(FreeImage_Allocate(8, 4, 8));
    FreeImage_Save(FIF_BMP, image.get(), name.c_str(), 0);
    return name;
  }();
  return path;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  SilenceConsole();
  StartImageLibrary();
  if (size < 2) return 0;
  const FuzzInputFile input(data + 2, size - 2, ".bin");
  const std::string output = input.path() + ".out.bmp";
  const int offset = static_cast<int8_t>(data[0]);
  if (ExtractMode0Sprite(input.path(), TemplatePath(), output, offset, data[1] & 3)) {
    // A saved picture must read back as 8 x 4 pens of 0 to 15.
    ImagePtr saved(FreeImage_Load(FIF_BMP, output.c_str(), 0));
    if (!saved || FreeImage_GetWidth(saved.get()) != 8 || FreeImage_GetBPP(saved.get()) != 8) __builtin_trap();
    for (unsigned y = 0; y < 4; ++y) {
      const BYTE* line = FreeImage_GetScanLine(saved.get(), y);
      for (unsigned x = 0; x < 8; ++x) {
        if (line[x] > 15) __builtin_trap();
      }
    }
  }
  std::remove(output.c_str());
  return 0;
}
