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
#include <cstring>

#include "common/picture.h"

struct Lab {
  float l = 0;
  float a = 0;
  float b = 0;
};

// The tables CIELAB is worked out from; defined here so that the per-pixel
// conversions below are inlined into the loops over a picture's pixels.
inline constexpr int kCubeRootSteps = 4096;
struct LabTableSet {
  float linear[256];                      // sRGB channel to linear light
  float cube_root_f[kCubeRootSteps + 2];  // CIELAB's f(t) for t = i / kCubeRootSteps
};
LabTableSet MakeLabTables();
inline const LabTableSet& LabTables() {
  static const LabTableSet tables = MakeLabTables();
  return tables;
}

// CIELAB's f(t), from the table between its steps.
inline float CubeRootF(const LabTableSet& t, float x) {
  if (x <= 0) return t.cube_root_f[0];
  if (x >= 1) return x > 1.0001f ? std::cbrt(x) : t.cube_root_f[kCubeRootSteps];
  const float at = x * kCubeRootSteps;
  const int i = static_cast<int>(at);
  const float fraction = at - static_cast<float>(i);
  const float low = t.cube_root_f[i];
  return low + (t.cube_root_f[i + 1] - low) * fraction;
}

// An 8-bit sRGB channel in linear light (0 to 1), and CIELAB of a colour in
// linear light: light mixes, and so blurs, in linear light, not in sRGB.
inline float LinearOf(uint8_t channel) { return LabTables().linear[channel]; }
inline Lab LabOfLinear(float r, float g, float b) {
  const LabTableSet& t = LabTables();
  // sRGB to XYZ, each divided by the D65 white's own value.
  const float x = (0.4124564f * r + 0.3575761f * g + 0.1804375f * b) / 0.95047f;
  const float y = 0.2126729f * r + 0.7151522f * g + 0.0721750f * b;
  const float z = (0.0193339f * r + 0.1191920f * g + 0.9503041f * b) / 1.08883f;
  const float fx = CubeRootF(t, x);
  const float fy = CubeRootF(t, y);
  const float fz = CubeRootF(t, z);
  return {116 * fy - 16, 500 * (fx - fy), 200 * (fy - fz)};
}

// CIELAB of an 8-bit sRGB colour. The cube root of the definition comes from
// a table with linear steps of 1/4096 (off by less than 0.001 in L), so that
// a picture's pixels can be converted one by one.
inline Lab LabOf(uint8_t red, uint8_t green, uint8_t blue) {
  const LabTableSet& t = LabTables();
  return LabOfLinear(t.linear[red], t.linear[green], t.linear[blue]);
}
inline Lab LabOf(const Rgb& colour) { return LabOf(colour.red, colour.green, colour.blue); }

// Several colours at once, one in each lane of a vector: a picture whose
// colours never repeat (noise, a photograph) has every pixel worked out
// anew, and lanes side by side keep the processor's vector units busy. The
// arithmetic is LabOf's, lane by lane and in the same order, so the values
// are the same to the last bit (no fused multiply-add is ever asked for).
// Eight lanes fill the 256-bit registers of processors that have them (the
// loops over a picture's pixels are built for those too, see LANE_LOOP);
// elsewhere each vector is two 128-bit halves. Vectors go in and out of
// these functions by reference only: a function built for the wider
// registers may call one built without them, and values passed by
// reference are laid out alike for both. They are always inlined, so that
// each is built with the vectors of the loop it is in.
// The vectors ask for no more than their elements' alignment: the compiler
// would take the 256-bit build's alignment for granted in memory laid out by
// the other, and the loads and stores of either cost the same.
inline constexpr int kLanes = 8;

// The loops that use these lanes over a picture's pixels are built twice on
// x86-64, for processors with 256-bit vectors (AVX2, which brings no fused
// multiply-add with it) and for all others, the one to run chosen when the
// program starts; on other processors once.
#if defined(__x86_64__)
#define LANE_LOOP __attribute__((target_clones("avx2", "default")))
#else
#define LANE_LOOP
#endif
using LaneFloats = float __attribute__((vector_size(4 * kLanes), aligned(4)));
using LaneInts = int32_t __attribute__((vector_size(4 * kLanes), aligned(4)));
struct LabLanes {
  LaneFloats l{};
  LaneFloats a{};
  LaneFloats b{};
};

// Whether any lane is set (all its bits, as comparisons set them), read as
// whole words rather than lane by lane.
[[gnu::always_inline]] inline bool IsAnyLane(const LaneInts& is) {
  uint64_t words[sizeof(LaneInts) / sizeof(uint64_t)];
  std::memcpy(words, &is, sizeof words);
  uint64_t any = 0;
  for (const uint64_t word : words) any |= word;
  return any != 0;
}

// A vector of at(0) to at(kLanes - 1), put together in registers: filled
// lane by lane in memory, it would be read back whole before the lanes'
// stores reach the cache, a wait of a dozen cycles each time.
// (Given back through lanes, as vectors always are here.)
template <typename Lanes, typename At>
[[gnu::always_inline]] inline void LanesOf(const At& at, Lanes& lanes) {
  static_assert(kLanes == 8);
  lanes = Lanes{at(0), at(1), at(2), at(3), at(4), at(5), at(6), at(7)};
}

// table[index] for each lane.
[[gnu::always_inline]] inline void TableLanes(const float* table, const LaneInts& index, LaneFloats& value) {
  LanesOf([&](int k) { return table[index[k]]; }, value);
}

// CubeRootF for each lane.
[[gnu::always_inline]] inline void CubeRootFLanes(const LabTableSet& t, const LaneFloats& x, LaneFloats& f) {
  const LaneInts is_inside = (x > 0) & (x < 1);
  const LaneFloats at = is_inside ? x * static_cast<float>(kCubeRootSteps) : LaneFloats{};
  const LaneInts i = __builtin_convertvector(at, LaneInts);
  const LaneFloats fraction = at - __builtin_convertvector(i, LaneFloats);
  LaneFloats low;
  LaneFloats high;
  TableLanes(t.cube_root_f, i, low);
  TableLanes(t.cube_root_f + 1, i, high);
  const LaneFloats inside = low + (high - low) * fraction;
  f = is_inside ? inside : x <= 0 ? t.cube_root_f[0] : t.cube_root_f[kCubeRootSteps];
  // Past white: rare, and off the table.
  if (!IsAnyLane(x >= 1)) return;
  for (int k = 0; k < kLanes; ++k) {
    if (x[k] >= 1) f[k] = CubeRootF(t, x[k]);
  }
}

[[gnu::always_inline]] inline void LabOfLinearLanes(const LaneFloats& r, const LaneFloats& g,
                                                    const LaneFloats& b, LabLanes& lab) {
  const LabTableSet& t = LabTables();
  const LaneFloats x = (0.4124564f * r + 0.3575761f * g + 0.1804375f * b) / 0.95047f;
  const LaneFloats y = 0.2126729f * r + 0.7151522f * g + 0.0721750f * b;
  const LaneFloats z = (0.0193339f * r + 0.1191920f * g + 0.9503041f * b) / 1.08883f;
  LaneFloats fx;
  LaneFloats fy;
  LaneFloats fz;
  CubeRootFLanes(t, x, fx);
  CubeRootFLanes(t, y, fy);
  CubeRootFLanes(t, z, fz);
  lab = {116 * fy - 16, 500 * (fx - fy), 200 * (fy - fz)};
}

// DistanceSquared for each lane (given back through squared: a vector
// returned by value would be passed differently by the 256-bit build).
[[gnu::always_inline]] inline void DistanceSquaredLanes(const LabLanes& x, const LabLanes& y, LaneFloats& squared) {
  const LaneFloats dl = x.l - y.l;
  const LaneFloats da = x.a - y.a;
  const LaneFloats db = x.b - y.b;
  squared = dl * dl + da * da + db * db;
}

inline float DistanceSquared(const Lab& x, const Lab& y) {
  const float dl = x.l - y.l;
  const float da = x.a - y.a;
  const float db = x.b - y.b;
  return dl * dl + da * da + db * db;
}

// Linear light (LinearOf) back to an 8-bit sRGB channel, rounded to the
// nearest value (clamped). Light adds up in linear terms, so averages of
// colours (scaling a picture) are taken there.
uint8_t SrgbOfLinear(float value);

// delta E 1976.
inline float Distance(const Lab& x, const Lab& y) { return std::sqrt(DistanceSquared(x, y)); }
