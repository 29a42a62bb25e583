// gravik bmp over arbitrary bytes named as the picture formats users bring.
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>

#include <FreeImage.h>

#include <memory>

#include "fuzz/fuzz_support.h"
#include "toolkit/image_ops/image_format.h"
#include "toolkit/source_image.h"

namespace {

// A few bytes may declare a picture of a gigabyte, which the library then
// allocates and fills: slow, not wrong. Such inputs are skipped by reading
// the header alone first, which is why only readers that can do that are
// named here (GIF and PICT cannot; the tests cover them).
constexpr uint64_t kMaxPixels = uint64_t{1} << 22;

bool DeclaresHugePicture(const std::string& path, FREE_IMAGE_FORMAT format) {
  // The BMP, TGA and PCX readers are not probed: the command checks their
  // headers itself (a probe of a hostile PCX here corrupted the heap), and
  // those checks cap the picture's size.
  if (format == FIF_BMP || format == FIF_TARGA || format == FIF_PCX) return false;
  if (!FreeImage_Validate(format, path.c_str())) return false;
  FIBITMAP* header = FreeImage_Load(format, path.c_str(), FIF_LOAD_NOPIXELS);
  if (header == nullptr) return false;
  const bool is_huge = uint64_t{FreeImage_GetWidth(header)} * FreeImage_GetHeight(header) > kMaxPixels;
  FreeImage_Unload(header);
  return is_huge;
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
  if (DeclaresHugePicture(input.path(), name.format)) return 0;
  const std::string output = "/tmp/tarsel_fuzz_" + std::to_string(getpid()) + "_out.bmp";
  ChangeImageFormat(input.path(), output);
  std::remove(output.c_str());
  return 0;
}
