// The floor a conversion is measured against: load the picture through
// FreeImage and write a given number of bytes, nothing else.
// bench_floor <picture.bmp> <output> <byte count>
#include <FreeImage.h>

#include <cstdio>
#include <cstdlib>
#include <vector>

int main(int argc, char** argv) {
  if (argc != 4) return 2;
  FreeImage_Initialise(FALSE);
  FIBITMAP* image = FreeImage_Load(FIF_BMP, argv[1], 0);
  if (image == nullptr) return 1;
  std::vector<unsigned char> bytes(std::strtoull(argv[3], nullptr, 10), FreeImage_GetBits(image)[0]);
  FILE* out = std::fopen(argv[2], "wb");
  if (out == nullptr) return 1;
  const bool is_ok = std::fwrite(bytes.data(), 1, bytes.size(), out) == bytes.size();
  std::fclose(out);
  FreeImage_Unload(image);
  FreeImage_DeInitialise();
  return is_ok ? 0 : 1;
}
