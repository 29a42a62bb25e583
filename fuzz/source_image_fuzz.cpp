#include <cstddef>
#include <cstdint>

#include "fuzz/fuzz_support.h"
#include "toolkit/image_ops/linear_screen.h"
#include "toolkit/source_image.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  SilenceConsole();
  StartImageLibrary();
  const FuzzInputFile input(data, size, ".bmp");
  std::optional<Picture> source = LoadSourceImage(input.path(), 1);
  if (source) {
    volatile size_t sink = EncodeLinearScreen(*source, ScreenMode::kMode1).size();
    (void)sink;
  }
  return 0;
}
