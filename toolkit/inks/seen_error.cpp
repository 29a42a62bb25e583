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

// One pass of the blur along rows (step 3) or columns (step 3 * width), the
// edges repeating their last pixel.
void BlurPass(const std::vector<float>& in, std::vector<float>& out, int width, int height, bool is_rows) {
  static const std::array<float, 2 * kReach + 1> taps = GaussianTaps();
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      float sum[3] = {0, 0, 0};
      for (int i = -kReach; i <= kReach; ++i) {
        const int sx = is_rows ? std::clamp(x + i, 0, width - 1) : x;
        const int sy = is_rows ? y : std::clamp(y + i, 0, height - 1);
        const float* p = in.data() + (static_cast<size_t>(sy) * static_cast<size_t>(width) + static_cast<size_t>(sx)) * 3;
        for (int c = 0; c < 3; ++c) sum[c] += taps[static_cast<size_t>(i + kReach)] * p[c];
      }
      float* q = out.data() + (static_cast<size_t>(y) * static_cast<size_t>(width) + static_cast<size_t>(x)) * 3;
      for (int c = 0; c < 3; ++c) q[c] = sum[c];
    }
  }
}

// The picture in linear light, blurred: three floats a pixel.
std::vector<float> BlurredLinear(int width, int height, const uint8_t* rgba) {
  const size_t pixels = static_cast<size_t>(width) * static_cast<size_t>(height);
  std::vector<float> linear(pixels * 3);
  for (size_t i = 0; i < pixels; ++i) {
    for (size_t c = 0; c < 3; ++c) linear[i * 3 + c] = LinearOf(rgba[i * 4 + c]);
  }
  std::vector<float> across(linear.size());
  BlurPass(linear, across, width, height, true);
  BlurPass(across, linear, width, height, false);
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

double SeenError(const SeenPicture& source, const uint8_t* result) {
  if (source.labs.empty()) return 0;
  const std::vector<float> linear = BlurredLinear(source.width, source.height, result);
  double total = 0;
  for (size_t i = 0; i < source.labs.size(); ++i)
    total += Distance(source.labs[i], LabOfLinear(linear[i * 3], linear[i * 3 + 1], linear[i * 3 + 2]));
  return total / static_cast<double>(source.labs.size());
}

double SeenError(int width, int height, const uint8_t* source, const uint8_t* result) {
  return SeenError(SeePicture(width, height, source), result);
}
