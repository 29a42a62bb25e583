// How far a picture as the CPC shows it is from its source as the eye sees
// them: dithering puts inks side by side that the eye mixes, so the two are
// compared after both are blurred by a Gaussian of one pixel (in linear
// light, where light mixes), as the mean CIELAB delta E over the pixels.
#pragma once

#include <cstdint>
#include <vector>

#include "toolkit/inks/colour_space.h"

// A source as the eye sees it: blurred, in CIELAB, a pixel at a time. Kept
// when many results are compared with one source.
struct SeenPicture {
  int width = 0;
  int height = 0;
  std::vector<Lab> labs;
};

// Pictures are 8-bit RGBA (alpha ignored), width x height, rows from the top.
SeenPicture SeePicture(int width, int height, const uint8_t* rgba);
double SeenError(const SeenPicture& source, const uint8_t* result);
double SeenError(int width, int height, const uint8_t* source, const uint8_t* result);
