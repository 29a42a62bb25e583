#include "toolkit/inks/seen_error.h"

#include <algorithm>
#include <array>
#include <cmath>

#include "toolkit/inks/colour_space.h"

namespace {

// A Gaussian of sigma one pixel, cut at three pixels each side, summing to 1.
constexpr int kReach = 3;
std::array<float, 2 * kReach + 1> GaussianTaps() {
  std::array<float, 2 * kReach + 1> taps{};
  float sum = 0;
  for (int i = -kReach; i <= kReach; ++i) sum += taps[static_cast<size_t>(i + kReach)] = std::exp(-0.5f * i * i);
  for (float& tap : taps) tap /= sum;
  return taps;
}

using Taps = std::array<float, 2 * kReach + 1>;

// The blur along each row, the edges repeating their last pixel.
void BlurRows(const std::vector<float>& in, std::vector<float>& out, size_t width, size_t height, const Taps& taps) {
  std::vector<float> padded((width + 2 * kReach) * 3);
  for (size_t y = 0; y < height; ++y) {
    const float* row = in.data() + y * width * 3;
    for (size_t x = 0; x < width + 2 * kReach; ++x) {
      const size_t from = std::clamp<size_t>(x, kReach, width + kReach - 1) - kReach;
      for (size_t c = 0; c < 3; ++c) padded[x * 3 + c] = row[from * 3 + c];
    }
    float* target = out.data() + y * width * 3;
    for (size_t k = 0; k < width * 3; ++k) {
      float sum = 0;
      for (size_t i = 0; i < taps.size(); ++i) sum += taps[i] * padded[k + i * 3];
      target[k] = sum;
    }
  }
}

// The blur down each column: whole rows weighted and summed.
void BlurColumns(const std::vector<float>& in, std::vector<float>& out, size_t width, size_t height,
                 const Taps& taps) {
  const size_t stride = width * 3;
  for (size_t y = 0; y < height; ++y) {
    float* target = out.data() + y * stride;
    std::fill(target, target + stride, 0.0f);
    for (size_t i = 0; i < taps.size(); ++i) {
      const long from = std::clamp<long>(static_cast<long>(y + i) - kReach, 0, static_cast<long>(height) - 1);
      const float* row = in.data() + static_cast<size_t>(from) * stride;
      for (size_t k = 0; k < stride; ++k) target[k] += taps[i] * row[k];
    }
  }
}

// The picture in linear light, blurred: three floats a pixel.
std::vector<float> BlurredLinear(int width, int height, const uint8_t* rgba) {
  static const Taps taps = GaussianTaps();
  const float* const linear_of = LabTables().linear;
  const size_t w = static_cast<size_t>(width);
  const size_t h = static_cast<size_t>(height);
  std::vector<float> linear(w * h * 3);
  for (size_t i = 0; i < w * h; ++i) {
    for (size_t c = 0; c < 3; ++c) linear[i * 3 + c] = linear_of[rgba[i * 4 + c]];
  }
  std::vector<float> across(linear.size());
  BlurRows(linear, across, w, h, taps);
  BlurColumns(across, linear, w, h, taps);
  return linear;
}

}  // namespace

SeenPicture SeePicture(int width, int height, const uint8_t* rgba) {
  SeenPicture seen{width, height, {}};
  if (width <= 0 || height <= 0) return seen;
  const std::vector<float> linear = BlurredLinear(width, height, rgba);
  seen.labs.reserve(linear.size() / 3);
  for (size_t i = 0; i < linear.size(); i += 3)
    seen.labs.push_back(LabOfLinear(linear[i], linear[i + 1], linear[i + 2]));
  return seen;
}

namespace {

// The distances of the blurred result's pixels first to first + kLanes (those
// in the picture) from the source's, as Distance works them out, the
// result's CIELAB a lane each (the ink choice judges hundreds of results).
LANE_LOOP void SeenDistances(const SeenPicture& source, const std::vector<float>& linear, size_t first,
                             float (&distances)[kLanes]) {
  const size_t count = source.labs.size();
  LaneFloats red{};
  LaneFloats green{};
  LaneFloats blue{};
  LabLanes seen;
  for (int k = 0; k < kLanes; ++k) {
    const size_t i = std::min(first + static_cast<size_t>(k), count - 1);  // past the end: not kept
    red[k] = linear[i * 3];
    green[k] = linear[i * 3 + 1];
    blue[k] = linear[i * 3 + 2];
    seen.l[k] = source.labs[i].l;
    seen.a[k] = source.labs[i].a;
    seen.b[k] = source.labs[i].b;
  }
  LabLanes shown;
  LabOfLinearLanes(red, green, blue, shown);
  LaneFloats squared;
  DistanceSquaredLanes(seen, shown, squared);
  for (int k = 0; k < kLanes; ++k) distances[k] = std::sqrt(squared[k]);
}

}  // namespace

double SeenError(const SeenPicture& source, const uint8_t* result) {
  if (source.labs.empty()) return 0;
  const std::vector<float> linear = BlurredLinear(source.width, source.height, result);
  const size_t count = source.labs.size();
  double total = 0;
  float distances[kLanes];
  // Summed pixel by pixel in order, as ever: the same total to the last bit.
  for (size_t first = 0; first < count; first += kLanes) {
    SeenDistances(source, linear, first, distances);
    for (size_t k = 0; k < kLanes && first + k < count; ++k) total += distances[k];
  }
  return total / static_cast<double>(count);
}

double SeenError(int width, int height, const uint8_t* source, const uint8_t* result) {
  return SeenError(SeePicture(width, height, source), result);
}
