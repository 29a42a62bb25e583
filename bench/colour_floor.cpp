// The floor the ink words are measured against: load a picture through
// FreeImage, nothing else.
// bench_colour_floor <picture>
#include <FreeImage.h>

int main(int argc, char** argv) {
  if (argc != 2) return 2;
  FreeImage_Initialise(FALSE);
  FIBITMAP* image = FreeImage_Load(FreeImage_GetFileType(argv[1], 0), argv[1], 0);
  if (image == nullptr) return 1;
  const bool is_ok = FreeImage_GetBits(image) != nullptr;
  FreeImage_Unload(image);
  FreeImage_DeInitialise();
  return is_ok ? 0 : 1;
}
