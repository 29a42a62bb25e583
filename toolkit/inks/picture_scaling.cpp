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

// One source row as linear light times alpha, then alpha: four floats a pixel.
void LinearRow(const uint8_t* row, int width, std::vector<float>& out) {
  for (int x = 0; x < width; ++x, row += 4) {
    const float alpha = row[3] / 255.0f;
    float* p = out.data() + static_cast<size_t>(x) * 4;
    for (int c = 0; c < 3; ++c) p[c] = LinearLight(row[c]) * alpha;
    p[3] = alpha;
  }
}

// Accumulates weight times the four floats at in into out.
void AddPixel(const float* in, float weight, float* out) {
  for (int c = 0; c < 4; ++c) out[c] += in[c] * weight;
}

// A pixel of linear light times alpha back to 8-bit sRGB and alpha.
void StorePixel(const float* in, uint8_t* out) {
  const float alpha = std::clamp(in[3], 0.0f, 1.0f);
  for (int c = 0; c < 3; ++c) out[c] = alpha > 0 ? SrgbOfLinear(in[c] / alpha) : 0;
  out[3] = static_cast<uint8_t>(alpha * 255 + 0.5f);
}

}  // namespace

ColourPicture ScaleInLinearLight(const ColourPicture& source, int width, int height) {
  const std::vector<std::vector<Tap>> across = AxisTaps(source.width, width);
  const std::vector<std::vector<Tap>> down = AxisTaps(source.height, height);
  // Rows first: each source row becomes a row of the new width.
  std::vector<float> rows(static_cast<size_t>(width) * static_cast<size_t>(source.height) * 4, 0.0f);
  std::vector<float> linear(static_cast<size_t>(source.width) * 4);
  for (int y = 0; y < source.height; ++y) {
    LinearRow(source.rgba.data() + static_cast<size_t>(y) * static_cast<size_t>(source.width) * 4,
              source.width, linear);
    float* out = rows.data() + static_cast<size_t>(y) * static_cast<size_t>(width) * 4;
    for (int x = 0; x < width; ++x) {
      for (const Tap& tap : across[static_cast<size_t>(x)])
        AddPixel(linear.data() + static_cast<size_t>(tap.index) * 4, tap.weight, out + x * 4);
    }
  }
  ColourPicture scaled{width, height, std::vector<uint8_t>(static_cast<size_t>(width) * height * 4), false};
  std::vector<float> pixel(4);
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      std::fill(pixel.begin(), pixel.end(), 0.0f);
      for (const Tap& tap : down[static_cast<size_t>(y)])
        AddPixel(rows.data() + (static_cast<size_t>(tap.index) * width + x) * 4, tap.weight, pixel.data());
      uint8_t* out = scaled.rgba.data() + (static_cast<size_t>(y) * width + x) * 4;
      StorePixel(pixel.data(), out);
      scaled.has_transparency |= out[3] < 128;
    }
  }
  return scaled;
}
