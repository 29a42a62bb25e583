// The size check that comes before every decode of a picture in a format
// the image library names: the library allocates whatever a header claims, so
// a 176-byte JPEG claiming 30000 x 30000 pixels would take gigabytes. Used by
// the loaders of common/image_io/ only.
#pragma once

#include <FreeImage.h>

#include <cstdint>
#include <string>

// The most pixels a decode may hold: 2^28 at 8 bits a pixel or less, 2^26
// for deeper pictures, so that no decoded picture passes 256 MB.
inline constexpr uint64_t kMaxPalettedPixels = uint64_t{1} << 28;
inline constexpr uint64_t kMaxDeepPixels = uint64_t{1} << 26;

enum class PictureProbe {
  kOk,
  kDamaged,      // not of the format, or headers our own checks refuse
  kTooLarge,     // more pixels than the cap for its depth
  kSizeUnknown,  // a format whose size can not be read before decoding
};

// Checks the file at path, taken to be of format, before any decode: its
// signature (some of the library's readers never return on a file of
// another format), the toolkit's own header checks for BMP, TGA, PCX, PNG and
// GIF, then the size and depth read from the header alone (FIF_LOAD_NOPIXELS)
// for every format whose reader can do that. GIF, whose reader can not, is
// sized by its logical screen; any other format that can not is kSizeUnknown.
// most_pixels is a further cap of the caller's, whatever the depth.
PictureProbe ProbePicture(const std::string& path, FREE_IMAGE_FORMAT format,
                          uint64_t most_pixels = UINT64_MAX);
