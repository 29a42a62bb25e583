// The measure of an ink picture: the mean delta E between a source and a
// result as the CPC shows it, both blurred by a Gaussian of one pixel (what
// the eye sees of a dither). The result is any picture of the source's size:
// the ink words' 8-bit BMP, or another converter's PNG.
// bench_seen_error <source> <result>
#include <cstdio>

#include "common/image_io/colour_picture.h"
#include "toolkit/inks/seen_error.h"

int main(int argc, char** argv) {
  if (argc != 3) return 2;
  const Checked<ColourPicture> source = LoadColourPicture(argv[1]);
  const Checked<ColourPicture> result = LoadColourPicture(argv[2]);
  if (!source || !result) return 1;
  if (source->width != result->width || source->height != result->height) return 1;
  std::printf("%.3f\n", SeenError(source->width, source->height, source->rgba.data(), result->rgba.data()));
  return 0;
}
