// gravik bmp over arbitrary bytes named as the picture formats users bring:
// PNG, TGA, BMP, PCX, TIFF and JPEG (the first byte picks the name).
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>

#include "common/image_io/picture_probe.h"
#include "fuzz/fuzz_support.h"
#include "toolkit/image_ops/image_format.h"
#include "toolkit/source_image.h"

namespace {

// The command itself refuses, from the header alone, pictures over its cap
// (2^26 to 2^28 pixels). Pictures under the cap but still large decode for
// seconds under the sanitizer: slow, not wrong, so the fuzzer skips those it
// can size cheaply. The probe runs only once the command's own checks pass
// (a probe of a hostile PCX corrupted the heap before they existed).
constexpr uint64_t kMaxPixels = uint64_t{1} << 22;

bool DeclaresLargePicture(const std::string& path, FREE_IMAGE_FORMAT format) {
  if (ProbePicture(path, format, "") || format == FIF_GIF) return false;
  const ImagePtr header(FreeImage_Load(format, path.c_str(), FIF_LOAD_NOPIXELS));
  if (!header) return false;
  return uint64_t{FreeImage_GetWidth(header.get())} * FreeImage_GetHeight(header.get()) > kMaxPixels;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  SilenceConsole();
  StartImageLibrary();
  if (size == 0) return 0;
  // The first byte picks the name's extension, and so the reader.
  struct Named {
    const char* extension;
    FREE_IMAGE_FORMAT format;
  };
  static const Named kNames[] = {{".png", FIF_PNG}, {".tga", FIF_TARGA}, {".bmp", FIF_BMP},
                                 {".pcx", FIF_PCX}, {".tif", FIF_TIFF},  {".jpg", FIF_JPEG}};
  const Named& name = kNames[data[0] % (sizeof kNames / sizeof kNames[0])];
  const FuzzInputFile input(data + 1, size - 1, name.extension);
  if (DeclaresLargePicture(input.path(), name.format)) return 0;
  const std::string output = "/tmp/tarsel_fuzz_" + std::to_string(getpid()) + "_out.bmp";
  ChangeImageFormat(input.path(), output);
  std::remove(output.c_str());
  return 0;
}
