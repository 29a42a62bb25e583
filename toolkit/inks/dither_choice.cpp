#include "toolkit/inks/dither_choice.h"

#include <algorithm>

#include "common/cpc_colours.h"
#include "common/two_halves.h"
#include "toolkit/inks/seen_error.h"

namespace {

// The sample a choice is judged on: the whole picture when small, else tiles
// on a 4 x 4 grid across it, stacked into one column (tiles keep the dither's
// patterns and the blur's neighbours; a grid covers the picture's regions).
constexpr int kGrid = 4;
constexpr int kTile = 16;
constexpr size_t kWholeLimit = kGrid * kGrid * kTile * kTile;
// Evaluations at most: each dithers and blurs the sample once.
constexpr int kEvaluationBudget = 360;
constexpr int kSwapPasses = 2;

struct Sample {
  std::vector<uint8_t> rgba;
  PictureRef ref;
};

Sample TakeSample(const PictureRef& picture) {
  Sample sample{{}, picture};
  if (static_cast<size_t>(picture.width) * static_cast<size_t>(picture.height) <= kWholeLimit) return sample;
  const int width = std::min(kTile, picture.width);
  const int height = std::min(kTile, picture.height);
  for (int gy = 0; gy < kGrid; ++gy) {
    const int top = (picture.height - height) * gy / (kGrid - 1);
    for (int gx = 0; gx < kGrid; ++gx) {
      const int left = (picture.width - width) * gx / (kGrid - 1);
      for (int y = top; y < top + height; ++y) {
        const uint8_t* row = picture.rgba + (static_cast<size_t>(y) * static_cast<size_t>(picture.width) +
                                             static_cast<size_t>(left)) * 4;
        sample.rgba.insert(sample.rgba.end(), row, row + static_cast<size_t>(width) * 4);
      }
    }
  }
  sample.ref.width = width;
  sample.ref.height = height * kGrid * kGrid;
  sample.ref.rgba = sample.rgba.data();
  return sample;
}

// The inks a dithered choice may take: the 27 colours (for CPC+, at its
// levels 0, 8 and 15: the corners and middles that mixtures need).
std::vector<int> CandidateKeys(ColourModel model) {
  std::vector<int> keys;
  for (int f = 0; f < kCpcColourCount; ++f) {
    if (model == ColourModel::kFirmware) {
      keys.push_back(f);
      continue;
    }
    const CpcColour& c = CpcColours()[static_cast<size_t>(f)];
    const auto level = [](uint8_t channel) { return channel == 0 ? 0 : channel == 0xFF ? 15 : 8; };
    keys.push_back(level(c.red) << 8 | level(c.green) << 4 | level(c.blue));
  }
  std::sort(keys.begin(), keys.end());
  return keys;
}

class Judge {
 public:
  Judge(const PictureRef& picture, ColourModel model, Dither dither, int first_opaque_pen, bool is_exact)
      : sample_(TakeSample(picture)),
        seen_(SeePicture(sample_.ref.width, sample_.ref.height, sample_.ref.rgba)),
        model_(model),
        dither_(dither),
        first_opaque_pen_(first_opaque_pen),
        is_exact_(is_exact) {}

  bool HasBudget() const { return evaluations_ < kEvaluationBudget; }
  int Left() const { return kEvaluationBudget - evaluations_; }
  // Evaluations whose costs the choice used.
  void Count(int evaluations) { evaluations_ += evaluations; }

  // The seen error of the sample dithered onto keys (ascending), counted.
  double Cost(const std::vector<int>& keys) {
    Count(1);
    return CostOf(keys);
  }

  // The costs of first and, when given, second, side by side: each is a
  // dither and a blur of the sample, independent of the other, and the
  // machines the toolkit runs on have two cores. Not counted.
  void Costs(const std::vector<int>& first, const std::vector<int>* second, double& first_cost,
             double& second_cost) const {
    auto one = [&] { first_cost = CostOf(first); };
    auto two = [&] {
      if (second != nullptr) second_cost = CostOf(*second);
    };
    AtOnce(second != nullptr, one, two);
  }

 private:
  double CostOf(const std::vector<int>& keys) const {
    const PenMap map{model_, keys, first_opaque_pen_, is_exact_};
    const MappedPicture mapped = MapToPens(sample_.ref, map, dither_, false);
    std::vector<uint8_t> shown(sample_.ref.rgba, sample_.ref.rgba + mapped.pens.size() * 4);
    for (size_t i = 0; i < mapped.pens.size(); ++i) {
      if (sample_.ref.IsTransparent(sample_.ref.rgba + i * 4)) continue;
      const Rgb ink = NominalColour(model_, keys[static_cast<size_t>(mapped.pens[i] - first_opaque_pen_)]);
      shown[i * 4] = ink.red;
      shown[i * 4 + 1] = ink.green;
      shown[i * 4 + 2] = ink.blue;
    }
    return SeenError(seen_, shown.data());
  }

  Sample sample_;
  SeenPicture seen_;
  ColourModel model_;
  Dither dither_;
  int first_opaque_pen_;
  bool is_exact_;
  int evaluations_ = 0;
};

std::vector<int> With(std::vector<int> keys, size_t position, int key) {
  if (position == keys.size()) {
    keys.push_back(key);
  } else {
    keys[position] = key;
  }
  std::sort(keys.begin(), keys.end());
  return keys;
}

bool Has(const std::vector<int>& keys, int key) { return std::find(keys.begin(), keys.end(), key) != keys.end(); }

// Fills unused pens, each time with the ink that lowers the cost most (the
// first of those as low). The inks not yet taken are tried two at a time.
void AddInks(Judge& judge, const std::vector<int>& candidates, int n, std::vector<int>& keys, double& cost) {
  while (static_cast<int>(keys.size()) < n && judge.HasBudget()) {
    std::vector<std::vector<int>> tried;
    for (const int key : candidates) {
      if (Has(keys, key) || static_cast<int>(tried.size()) >= judge.Left()) continue;
      tried.push_back(With(keys, keys.size(), key));
    }
    std::vector<double> costs(tried.size() + 1);
    for (size_t t = 0; t < tried.size(); t += 2)
      judge.Costs(tried[t], t + 1 < tried.size() ? &tried[t + 1] : nullptr, costs[t], costs[t + 1]);
    judge.Count(static_cast<int>(tried.size()));
    size_t best = tried.size();
    double best_cost = cost;
    for (size_t t = 0; t < tried.size(); ++t) {
      if (costs[t] < best_cost) {
        best_cost = costs[t];
        best = t;
      }
    }
    if (best == tried.size()) return;
    keys = std::move(tried[best]);
    cost = best_cost;
  }
}

// The first candidate from next on that is not one of keys; candidates.size() when none is.
size_t NextUntaken(const std::vector<int>& candidates, size_t next, const std::vector<int>& keys) {
  while (next < candidates.size() && Has(keys, candidates[next])) ++next;
  return next;
}

// Swaps a chosen ink for another while that lowers the cost, the first swap
// that does at each try. Two candidates are tried at once: when the first
// is taken, the second's cost (against the inks before) is not used, and it
// is tried again against the new ones, so the choice is the same as one at
// a time.
void SwapInks(Judge& judge, const std::vector<int>& candidates, std::vector<int>& keys, double& cost) {
  for (int pass = 0; pass < kSwapPasses; ++pass) {
    bool is_better = false;
    for (size_t position = 0; position < keys.size(); ++position) {
      size_t next = 0;
      while (judge.HasBudget()) {
        const size_t first = NextUntaken(candidates, next, keys);
        if (first == candidates.size()) break;
        const size_t second = judge.Left() >= 2 ? NextUntaken(candidates, first + 1, keys) : candidates.size();
        const std::vector<int> tried_first = With(keys, position, candidates[first]);
        const std::vector<int> tried_second =
            second < candidates.size() ? With(keys, position, candidates[second]) : std::vector<int>{};
        double costs[2] = {0, 0};
        judge.Costs(tried_first, second < candidates.size() ? &tried_second : nullptr, costs[0], costs[1]);
        const size_t tried[2] = {first, second};
        next = candidates.size();
        for (int t = 0; t < 2 && tried[t] < candidates.size(); ++t) {
          judge.Count(1);
          next = tried[t] + 1;
          if (costs[t] >= cost * (1 - 1e-6)) continue;
          keys = t == 0 ? tried_first : tried_second;
          cost = costs[t];
          is_better = true;
          // The keys stay ascending: the new ink's place is where the search goes on.
          position = static_cast<size_t>(std::find(keys.begin(), keys.end(), candidates[tried[t]]) - keys.begin());
          break;
        }
      }
    }
    if (!is_better) return;
  }
}

}  // namespace

std::vector<int> InksForDither(const PictureRef& picture, ColourModel model, Dither dither, int first_opaque_pen,
                               bool is_exact, std::vector<int> keys, int n) {
  if (dither == Dither::kNone || keys.empty() || n <= 0) return keys;
  // Art whose every pixel IS one of its inks is shown exactly: nothing is
  // left to mix, and inks that mix nearer to its off-nominal halves would
  // break the flat areas the bands keep.
  if (is_exact && !FirstStrictFault(picture, PenMap{model, keys, first_opaque_pen, true})) return keys;
  std::vector<int> candidates = CandidateKeys(model);
  for (const int key : keys) {
    if (std::find(candidates.begin(), candidates.end(), key) == candidates.end()) candidates.push_back(key);
  }
  Judge judge(picture, model, dither, first_opaque_pen, is_exact);
  double cost = judge.Cost(keys);
  AddInks(judge, candidates, n, keys, cost);
  SwapInks(judge, candidates, keys, cost);
  return keys;
}
