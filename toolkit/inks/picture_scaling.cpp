#include "toolkit/inks/picture_scaling.h"

#include <algorithm>
#include <cmath>
#include <vector>

#include "toolkit/inks/colour_space.h"

namespace {

// Catmull-Rom's cubic: 1 at 0, 0 at the other whole numbers, none past 2.
float CatmullRom(float x) {
  x = std::fabs(x);
  if (x < 1) return (1.5f * x - 2.5f) * x * x + 1;
  if (x < 2) return ((-0.5f * x + 2.5f) * x - 4) * x + 2;
  return 0;
}

struct Tap {
  int index = 0;
  float weight = 0;
};

// For each of out_size positions, the source positions it reads and their
// weights (summing to 1), along one axis of in_size pixels.
std::vector<std::vector<Tap>> AxisTaps(int in_size, int out_size) {
  const double ratio = static_cast<double>(in_size) / out_size;
  const double spread = std::max(1.0, ratio);
  std::vector<std::vector<Tap>> taps(static_cast<size_t>(out_size));
  for (int o = 0; o < out_size; ++o) {
    const double centre = (o + 0.5) * ratio - 0.5;
    const int first = static_cast<int>(std::floor(centre - 2 * spread)) + 1;
    const int last = static_cast<int>(std::floor(centre + 2 * spread));
    float total = 0;
    for (int i = first; i <= last; ++i) {
      const float weight = CatmullRom(static_cast<float>((i - centre) / spread));
      if (weight == 0) continue;
      taps[static_cast<size_t>(o)].push_back({std::clamp(i, 0, in_size - 1), weight});
      total += weight;
    }
    for (Tap& tap : taps[static_cast<size_t>(o)]) tap.weight /= total;
  }
  return taps;
}

// The taps of every position along one axis.
using AxisPlan = std::vector<std::vector<Tap>>;

// A source pixel as linear light times alpha, then alpha.
void LinearPixel(const uint8_t* pixel, float* out) {
  const float alpha = pixel[3] / 255.0f;
  for (int c = 0; c < 3; ++c) out[c] = LinearOf(pixel[c]) * alpha;
  out[3] = alpha;
}

// A pixel of linear light times alpha back to 8-bit sRGB and alpha.
void StorePixel(const float* in, uint8_t* out) {
  const float alpha = std::clamp(in[3], 0.0f, 1.0f);
  for (int c = 0; c < 3; ++c) out[c] = alpha > 0 ? SrgbOfLinear(in[c] / alpha) : 0;
  out[3] = static_cast<uint8_t>(alpha * 255 + 0.5f);
}

// Four floats a pixel, rows from the top: the picture between the passes.
struct FloatPicture {
  int width = 0;
  int height = 0;
  std::vector<float> values;
};

// The source filtered along one axis (across: along its rows), in linear light.
FloatPicture FirstPass(const ColourPicture& source, const AxisPlan& plan, bool is_across) {
  FloatPicture out{is_across ? static_cast<int>(plan.size()) : source.width,
                   is_across ? source.height : static_cast<int>(plan.size()),
                   {}};
  out.values.assign(static_cast<size_t>(out.width) * static_cast<size_t>(out.height) * 4, 0.0f);
  float linear[4];
  for (int y = 0; y < out.height; ++y) {
    for (int x = 0; x < out.width; ++x) {
      float* sum = out.values.data() + (static_cast<size_t>(y) * static_cast<size_t>(out.width) + x) * 4;
      for (const Tap& tap : plan[static_cast<size_t>(is_across ? x : y)]) {
        const size_t at = is_across ? static_cast<size_t>(y) * static_cast<size_t>(source.width) + tap.index
                                    : static_cast<size_t>(tap.index) * static_cast<size_t>(source.width) + x;
        LinearPixel(source.rgba.data() + at * 4, linear);
        for (int c = 0; c < 4; ++c) sum[c] += linear[c] * tap.weight;
      }
    }
  }
  return out;
}

// The first pass's picture filtered along the other axis, back in sRGB.
ColourPicture SecondPass(const FloatPicture& in, const AxisPlan& plan, bool is_across) {
  ColourPicture out;
  out.width = is_across ? static_cast<int>(plan.size()) : in.width;
  out.height = is_across ? in.height : static_cast<int>(plan.size());
  out.rgba.resize(static_cast<size_t>(out.width) * static_cast<size_t>(out.height) * 4);
  for (int y = 0; y < out.height; ++y) {
    for (int x = 0; x < out.width; ++x) {
      float sum[4] = {0, 0, 0, 0};
      for (const Tap& tap : plan[static_cast<size_t>(is_across ? x : y)]) {
        const size_t at = is_across ? static_cast<size_t>(y) * static_cast<size_t>(in.width) + tap.index
                                    : static_cast<size_t>(tap.index) * static_cast<size_t>(in.width) + x;
        for (int c = 0; c < 4; ++c) sum[c] += in.values[at * 4 + c] * tap.weight;
      }
      uint8_t* pixel = out.rgba.data() + (static_cast<size_t>(y) * static_cast<size_t>(out.width) + x) * 4;
      StorePixel(sum, pixel);
      out.has_transparency |= pixel[3] < 128;
    }
  }
  return out;
}

}  // namespace

ColourPicture ScaleInLinearLight(const ColourPicture& source, int width, int height) {
  const AxisPlan across = AxisTaps(source.width, width);
  const AxisPlan down = AxisTaps(source.height, height);
  // The axis whose pass leaves the smaller picture between the two goes
  // first: a tall strip shrunk to a short wide picture would otherwise hold
  // its every row at the new width.
  const bool is_across_first =
      uint64_t{static_cast<uint32_t>(width)} * static_cast<uint32_t>(source.height) <=
      uint64_t{static_cast<uint32_t>(source.width)} * static_cast<uint32_t>(height);
  const FloatPicture between = FirstPass(source, is_across_first ? across : down, is_across_first);
  return SecondPass(between, is_across_first ? down : across, !is_across_first);
}
