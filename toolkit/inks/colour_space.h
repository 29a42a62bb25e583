// How far apart two colours look. Distances between a picture's colours and
// the inks are taken in CIELAB (sRGB with the D65 white, CIE 1976 delta E):
// plain RGB distance weighs the channels alike, while the eye does not, so it
// maps dark blues and greens to the wrong inks. delta E 1976 is the plain
// Euclidean distance in CIELAB; the later formulas (CIE94, CIEDE2000) refine
// it for small differences between near colours, which matter little when
// the nearest of 27 widely spaced inks is wanted, and cost several times more.
#pragma once

#include <cmath>
#include <cstdint>

#include "common/picture.h"

struct Lab {
  float l = 0;
  float a = 0;
  float b = 0;
};

// CIELAB of an 8-bit sRGB colour. The cube root of the definition comes from
// a table with linear steps of 1/4096 (off by less than 0.001 in L), so that
// a picture's pixels can be converted one by one.
Lab LabOf(uint8_t red, uint8_t green, uint8_t blue);
inline Lab LabOf(const Rgb& colour) { return LabOf(colour.red, colour.green, colour.blue); }

// An 8-bit sRGB channel in linear light (0 to 1), and CIELAB of a colour in
// linear light: light mixes, and so blurs, in linear light, not in sRGB.
float LinearOf(uint8_t channel);
Lab LabOfLinear(float red, float green, float blue);

inline float DistanceSquared(const Lab& x, const Lab& y) {
  const float dl = x.l - y.l;
  const float da = x.a - y.a;
  const float db = x.b - y.b;
  return dl * dl + da * da + db * db;
}

// An 8-bit sRGB channel as linear light, 0 to 1; and back, rounded to the
// nearest 8-bit value (clamped). Light adds up in linear terms, so averages
// of colours (scaling a picture) are taken there.
float LinearLight(uint8_t channel);
uint8_t SrgbOfLinear(float value);

// delta E 1976.
inline float Distance(const Lab& x, const Lab& y) { return std::sqrt(DistanceSquared(x, y)); }
