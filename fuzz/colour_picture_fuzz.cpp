// The colour picture loader (the ink words' reader) over arbitrary bytes: the
// format comes from the contents, so one name serves every reader.
#include <cstddef>
#include <cstdint>

#include "common/image_io/colour_picture.h"
#include "fuzz/fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  SilenceConsole();
  StartImageLibrary();
  const FuzzInputFile input(data, size, ".bin");
  const Checked<ColourPicture> picture = LoadColourPicture(input.path());
  if (picture && picture->rgba.size() != static_cast<size_t>(picture->width) * picture->height * 4)
    __builtin_trap();
  return 0;
}
