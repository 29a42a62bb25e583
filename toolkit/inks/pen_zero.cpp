#include "toolkit/inks/pen_zero.h"

#include <algorithm>

size_t InkIndexOf(ColourModel model, const std::vector<int>& keys, Rgb colour) {
  const int exact = ExactKey(model, colour.red, colour.green, colour.blue);
  const auto found = std::find(keys.begin(), keys.end(), exact);
  if (found != keys.end()) return static_cast<size_t>(found - keys.begin());
  const Lab lab = LabOf(colour);
  size_t nearest = 0;
  float best = DistanceSquared(lab, LabOf(NominalColour(model, keys[0])));
  for (size_t k = 1; k < keys.size(); ++k) {
    const float distance = DistanceSquared(lab, LabOf(NominalColour(model, keys[k])));
    if (distance < best) {
      best = distance;
      nearest = k;
    }
  }
  return nearest;
}

size_t EdgeInkIndex(const PictureRef& picture, ColourModel model, const std::vector<int>& keys) {
  std::vector<size_t> counts(keys.size(), 0);
  const auto count = [&](int x, int y) {
    const uint8_t* p = picture.rgba + (static_cast<size_t>(y) * static_cast<size_t>(picture.width) + x) * 4;
    ++counts[InkIndexOf(model, keys, Rgb{p[0], p[1], p[2]})];
  };
  const int right = picture.width - 1;
  const int bottom = picture.height - 1;
  for (int x = 0; x <= right; ++x) {
    count(x, 0);
    if (bottom > 0) count(x, bottom);
  }
  for (int y = 1; y < bottom; ++y) {
    count(0, y);
    if (right > 0) count(right, y);
  }
  return static_cast<size_t>(std::max_element(counts.begin(), counts.end()) - counts.begin());
}

std::vector<int> WithInkFirst(std::vector<int> keys, size_t index) {
  std::rotate(keys.begin(), keys.begin() + static_cast<std::ptrdiff_t>(index),
              keys.begin() + static_cast<std::ptrdiff_t>(index) + 1);
  return keys;
}
