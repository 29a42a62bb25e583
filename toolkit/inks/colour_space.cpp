#include "toolkit/inks/colour_space.h"

#include <array>

namespace {

constexpr int kCubeRootSteps = 4096;

struct Tables {
  std::array<float, 256> linear{};                      // sRGB channel to linear light
  std::array<float, kCubeRootSteps + 2> cube_root_f{};  // CIELAB's f(t) for t = i / kCubeRootSteps
};

const Tables& LabTables() {
  static const Tables tables = [] {
    Tables t;
    for (int c = 0; c < 256; ++c) {
      const double v = c / 255.0;
      t.linear[static_cast<size_t>(c)] =
          static_cast<float>(v <= 0.04045 ? v / 12.92 : std::pow((v + 0.055) / 1.055, 2.4));
    }
    constexpr double kEpsilon = 216.0 / 24389.0;  // (6/29)^3
    constexpr double kKappa = 24389.0 / 27.0;
    for (int i = 0; i <= kCubeRootSteps + 1; ++i) {
      const double x = static_cast<double>(i) / kCubeRootSteps;
      t.cube_root_f[static_cast<size_t>(i)] =
          static_cast<float>(x > kEpsilon ? std::cbrt(x) : (kKappa * x + 16.0) / 116.0);
    }
    return t;
  }();
  return tables;
}

float F(const Tables& t, float x) {
  if (x <= 0) return t.cube_root_f[0];
  if (x >= 1) return x > 1.0001f ? std::cbrt(x) : t.cube_root_f[kCubeRootSteps];
  const float at = x * kCubeRootSteps;
  const int i = static_cast<int>(at);
  const float fraction = at - static_cast<float>(i);
  const float low = t.cube_root_f[static_cast<size_t>(i)];
  return low + (t.cube_root_f[static_cast<size_t>(i) + 1] - low) * fraction;
}

}  // namespace

Lab LabOf(uint8_t red, uint8_t green, uint8_t blue) {
  const Tables& t = LabTables();
  return LabOfLinear(t.linear[red], t.linear[green], t.linear[blue]);
}

float LinearOf(uint8_t channel) { return LabTables().linear[channel]; }

Lab LabOfLinear(float r, float g, float b) {
  const Tables& t = LabTables();
  // sRGB to XYZ, each divided by the D65 white's own value.
  const float x = (0.4124564f * r + 0.3575761f * g + 0.1804375f * b) / 0.95047f;
  const float y = 0.2126729f * r + 0.7151522f * g + 0.0721750f * b;
  const float z = (0.0193339f * r + 0.1191920f * g + 0.9503041f * b) / 1.08883f;
  const float fx = F(t, x);
  const float fy = F(t, y);
  const float fz = F(t, z);
  return {116 * fy - 16, 500 * (fx - fy), 200 * (fy - fz)};
}

float LinearLight(uint8_t channel) { return LabTables().linear[channel]; }

uint8_t SrgbOfLinear(float value) {
  if (!(value > 0)) return 0;
  if (value >= 1) return 255;
  const double v = value <= 0.0031308 ? value * 12.92 : 1.055 * std::pow(value, 1 / 2.4) - 0.055;
  return static_cast<uint8_t>(v * 255 + 0.5);
}
