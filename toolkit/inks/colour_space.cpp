#include "toolkit/inks/colour_space.h"

LabTableSet MakeLabTables() {
  LabTableSet t{};
  for (int c = 0; c < 256; ++c) {
    const double v = c / 255.0;
    t.linear[c] = static_cast<float>(v <= 0.04045 ? v / 12.92 : std::pow((v + 0.055) / 1.055, 2.4));
  }
  constexpr double kEpsilon = 216.0 / 24389.0;  // (6/29)^3
  constexpr double kKappa = 24389.0 / 27.0;
  for (int i = 0; i <= kCubeRootSteps + 1; ++i) {
    const double x = static_cast<double>(i) / kCubeRootSteps;
    t.cube_root_f[i] = static_cast<float>(x > kEpsilon ? std::cbrt(x) : (kKappa * x + 16.0) / 116.0);
  }
  return t;
}

uint8_t SrgbOfLinear(float value) {
  if (!(value > 0)) return 0;
  if (value >= 1) return 255;
  const double v = value <= 0.0031308 ? value * 12.92 : 1.055 * std::pow(value, 1 / 2.4) - 0.055;
  return static_cast<uint8_t>(v * 255 + 0.5);
}
