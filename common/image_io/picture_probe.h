// The size check that comes before every decode of a picture in a format
// the image library names: the library allocates whatever a header claims, so
// a 176-byte JPEG claiming 30000 x 30000 pixels would take gigabytes. Used by
// the loaders of common/image_io/ only.
#pragma once

#include <FreeImage.h>

#include <cstdint>
#include <string>

#include "common/refusal.h"

// Checks the file at path, taken to be of format, before any decode: its
// signature (some of the library's readers never return on a file of
// another format), the toolkit's own header checks for BMP, TGA, PCX, PNG and
// GIF, then the size and depth read from the header alone (FIF_LOAD_NOPIXELS)
// for every format whose reader can do that. GIF, whose reader can not, is
// sized by its logical screen. The pixel caps are those of
// common/picture_header.h; most_pixels is a further cap of the caller's,
// whatever the depth. Refused with cannot_load (the caller's "Can not load
// PATH"), alone for a damaged file or one not of the format, followed by
// " : picture too large" or, for a format whose size can not be read before
// decoding, " : its size can not be read before decoding".
// When the file passes, size (when given) gets the width and height the
// header claims (a GIF's logical screen).
struct ProbedSize {
  uint64_t width = 0;
  uint64_t height = 0;
};
Refusal ProbePicture(const std::string& path, FREE_IMAGE_FORMAT format, const std::string& cannot_load,
                     uint64_t most_pixels = UINT64_MAX, ProbedSize* size = nullptr);
