// A picture's pixels turned into pens once the inks are chosen: transparent
// pixels to pen 0, a pixel that IS one of the inks (ExactKey) to its pen with
// no error (under a dither, while the bands hold), any other pixel to the pen
// of the nearest ink (CIELAB), with or without dithering.
#pragma once

#include <cstdint>
#include <optional>
#include <vector>

#include "toolkit/inks/ink_choice.h"

enum class Dither {
  kNone,
  kFloyd,    // Floyd-Steinberg error diffusion, serpentine (rows alternate direction);
             // 2048 rows or more in two bands, each as a picture of its own
  kOrdered,  // 4 x 4 Bayer matrix
};

// The pens of a picture: opaque pixels take pens first_opaque_pen,
// first_opaque_pen + 1, ... whose inks are opaque_keys, in that order.
// Transparent pixels take pen 0 (first_opaque_pen is then 1).
struct PenMap {
  ColourModel model = ColourModel::kFirmware;
  std::vector<int> opaque_keys;
  int first_opaque_pen = 0;
  // Under a dither, a pixel that IS one of the inks keeps it and passes no
  // error (BandsHoldUnderDither); when false only a pixel of exactly an
  // ink's colour (0, &80, &FF a channel) does, and every other opaque pixel
  // is dithered. Without a dither such a pixel always keeps its ink.
  bool is_exact_under_dither = true;
};

struct MappedPicture {
  std::vector<uint8_t> pens;  // width * height, rows from the top
  double mean_error = 0;      // mean delta E between the opaque pixels and their pens' inks
};

// Floyd-Steinberg works in linear light, where the eye mixes neighbouring
// inks: the error of a pixel (its light with the error it received, less its
// ink's) spreads 7/16 ahead, 3/16, 5/16 and 1/16 on the next row. The ordered
// dither adds to each 8-bit channel an offset from -60 to +60 in steps of 8
// (half a CPC level either way) by the pixel's place in a 4 x 4 Bayer matrix.
// A pixel that IS one of the inks (with map.is_exact_under_dither) neither
// takes nor passes error, and gets no offset: a flat area of an ink stays
// that ink. map.opaque_keys must not be empty when the picture has opaque
// pixels.
// Without counts_error a dithered mapping leaves mean_error 0 (what the ink
// choice's trials need not pay for).
MappedPicture MapToPens(const PictureRef& picture, const PenMap& map, Dither dither, bool counts_error = true);

// The first opaque pixel, row by row from the top, that is not exactly one of
// the map's inks: not in the tolerance bands (is_cpc_colour false), or an ink
// not in the map.
struct StrictFault {
  int x = 0;
  int y = 0;
  Rgb colour;
  bool is_cpc_colour = false;
};
std::optional<StrictFault> FirstStrictFault(const PictureRef& picture, const PenMap& map);
