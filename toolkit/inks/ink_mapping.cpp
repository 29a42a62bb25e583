#include "toolkit/inks/ink_mapping.h"

#include <algorithm>
#include <array>
#include <limits>

namespace {

constexpr uint8_t kUnknown = 0xFF;

// Pen of each ink key (-1 when the key is not one of the map's inks).
std::vector<int> PensByKey(const PenMap& map) {
  std::vector<int> pens(4096, -1);
  for (size_t i = 0; i < map.opaque_keys.size(); ++i) {
    int& pen = pens[static_cast<size_t>(map.opaque_keys[i])];
    // A key given twice keeps its first pen.
    if (pen < 0) pen = map.first_opaque_pen + static_cast<int>(i);
  }
  return pens;
}

// The nearest pen of every colour, worked out once per colour met.
class NearestPens {
 public:
  explicit NearestPens(const PenMap& map) : pens_(size_t{1} << 24, kUnknown), first_pen_(map.first_opaque_pen) {
    for (const int key : map.opaque_keys) {
      nominal_.push_back(NominalColour(map.model, key));
      labs_.push_back(LabOf(nominal_.back()));
    }
  }

  int PenOf(uint8_t red, uint8_t green, uint8_t blue) {
    uint8_t& pen = pens_[size_t{red} << 16 | size_t{green} << 8 | blue];
    if (pen == kUnknown) {
      const Lab lab = LabOf(red, green, blue);
      size_t best = 0;
      float best_distance = std::numeric_limits<float>::infinity();
      for (size_t i = 0; i < labs_.size(); ++i) {
        const float d = DistanceSquared(lab, labs_[i]);
        if (d < best_distance) {
          best_distance = d;
          best = i;
        }
      }
      pen = static_cast<uint8_t>(best);
    }
    return first_pen_ + pen;
  }

  const Rgb& Nominal(int pen) const { return nominal_[static_cast<size_t>(pen - first_pen_)]; }
  const Lab& LabOfPen(int pen) const { return labs_[static_cast<size_t>(pen - first_pen_)]; }

 private:
  std::vector<uint8_t> pens_;
  int first_pen_;
  std::vector<Rgb> nominal_;
  std::vector<Lab> labs_;
};

constexpr std::array<std::array<int, 4>, 4> kBayer = {{{0, 8, 2, 10}, {12, 4, 14, 6}, {3, 11, 1, 9}, {15, 7, 13, 5}}};

uint8_t Clamped(int value) { return static_cast<uint8_t>(std::clamp(value, 0, 255)); }

// Error carried in sixteenths, three channels a pixel, one spare pixel each side.
struct ErrorRows {
  explicit ErrorRows(int width) : current(static_cast<size_t>(width + 2) * 3, 0), next(current.size(), 0) {}
  int* At(std::vector<int>& row, int x) { return row.data() + static_cast<size_t>(x + 1) * 3; }
  std::vector<int> current;
  std::vector<int> next;
};

}  // namespace

MappedPicture MapToPens(const PictureRef& picture, const PenMap& map, Dither dither) {
  MappedPicture mapped;
  const int width = picture.width;
  const int height = picture.height;
  mapped.pens.assign(static_cast<size_t>(width) * static_cast<size_t>(height), 0);
  if (map.opaque_keys.empty()) return mapped;
  const std::vector<int> pens_by_key = PensByKey(map);
  NearestPens nearest(map);
  ErrorRows errors(width);
  double total_error = 0;
  uint64_t opaque = 0;
  // The error of the last colour mapped without dithering, kept for its neighbours.
  uint32_t last_packed = 0xFFFFFFFF;
  int last_pen = 0;
  float last_error = 0;
  for (int y = 0; y < height; ++y) {
    const bool is_reversed = dither == Dither::kFloyd && y % 2 == 1;
    const int step = is_reversed ? -1 : 1;
    const uint8_t* row = picture.rgba + static_cast<size_t>(y) * static_cast<size_t>(width) * 4;
    uint8_t* out = mapped.pens.data() + static_cast<size_t>(y) * static_cast<size_t>(width);
    for (int i = 0; i < width; ++i) {
      const int x = is_reversed ? width - 1 - i : i;
      const uint8_t* p = row + static_cast<size_t>(x) * 4;
      if (picture.IsTransparent(p)) continue;  // pen 0, no error taken or passed
      ++opaque;
      const int key = ExactKey(map.model, p[0], p[1], p[2]);
      if (key >= 0 && pens_by_key[static_cast<size_t>(key)] >= 0) {
        out[x] = static_cast<uint8_t>(pens_by_key[static_cast<size_t>(key)]);
        continue;
      }
      if (dither == Dither::kNone) {
        const uint32_t packed = uint32_t{p[0]} << 16 | uint32_t{p[1]} << 8 | p[2];
        if (packed != last_packed) {
          last_packed = packed;
          last_pen = nearest.PenOf(p[0], p[1], p[2]);
          last_error = Distance(LabOf(p[0], p[1], p[2]), nearest.LabOfPen(last_pen));
        }
        out[x] = static_cast<uint8_t>(last_pen);
        total_error += last_error;
        continue;
      }
      int wanted[3];
      if (dither == Dither::kOrdered) {
        const int offset = (2 * kBayer[static_cast<size_t>(y & 3)][static_cast<size_t>(x & 3)] + 1) * 4 - 64;
        for (int c = 0; c < 3; ++c) wanted[c] = p[c] + offset;
      } else {
        const int* carried = errors.At(errors.current, x);
        // Arithmetic shift: the same rounding for every input.
        for (int c = 0; c < 3; ++c) wanted[c] = p[c] + ((carried[c] + 8) >> 4);
      }
      const int pen = nearest.PenOf(Clamped(wanted[0]), Clamped(wanted[1]), Clamped(wanted[2]));
      out[x] = static_cast<uint8_t>(pen);
      total_error += Distance(LabOf(p[0], p[1], p[2]), nearest.LabOfPen(pen));
      if (dither == Dither::kFloyd) {
        const Rgb& ink = nearest.Nominal(pen);
        const int error[3] = {Clamped(wanted[0]) - ink.red, Clamped(wanted[1]) - ink.green, Clamped(wanted[2]) - ink.blue};
        int* ahead = errors.At(errors.current, x + step);
        int* below_behind = errors.At(errors.next, x - step);
        int* below = errors.At(errors.next, x);
        int* below_ahead = errors.At(errors.next, x + step);
        for (int c = 0; c < 3; ++c) {
          ahead[c] += error[c] * 7;
          below_behind[c] += error[c] * 3;
          below[c] += error[c] * 5;
          below_ahead[c] += error[c];
        }
      }
    }
    if (dither == Dither::kFloyd) {
      errors.current.swap(errors.next);
      std::fill(errors.next.begin(), errors.next.end(), 0);
    }
  }
  mapped.mean_error = opaque == 0 ? 0 : total_error / static_cast<double>(opaque);
  return mapped;
}

std::optional<StrictFault> FirstStrictFault(const PictureRef& picture, const PenMap& map) {
  const std::vector<int> pens_by_key = PensByKey(map);
  const uint8_t* p = picture.rgba;
  for (int y = 0; y < picture.height; ++y) {
    for (int x = 0; x < picture.width; ++x, p += 4) {
      if (picture.IsTransparent(p)) continue;
      const int key = ExactKey(map.model, p[0], p[1], p[2]);
      if (key >= 0 && pens_by_key[static_cast<size_t>(key)] >= 0) continue;
      return StrictFault{x, y, {p[0], p[1], p[2]}, key >= 0};
    }
  }
  return std::nullopt;
}
