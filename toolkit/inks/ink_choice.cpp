#include "toolkit/inks/ink_choice.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <cmath>
#include <cstring>
#include <limits>
#include <numeric>

#include "common/cpc_colours.h"
#include "common/picture_header.h"
#include "common/two_halves.h"
#include "toolkit/inks/colour_space.h"

namespace {

constexpr int kPlusLevelStep = 17;  // 255 / 15

}  // namespace

Rgb NominalColour(ColourModel model, int key) {
  if (model == ColourModel::kPlus) {
    return {static_cast<uint8_t>((key >> 8 & 15) * kPlusLevelStep),
            static_cast<uint8_t>((key >> 4 & 15) * kPlusLevelStep),
            static_cast<uint8_t>((key & 15) * kPlusLevelStep)};
  }
  const CpcColour& colour = CpcColours()[static_cast<size_t>(key)];
  return {colour.red, colour.green, colour.blue};
}

bool BandsHoldUnderDither(const PictureRef& picture, ColourModel model) {
  if (model == ColourModel::kPlus) return true;
  // Art repeats its colours: the last one seen saves most searches.
  std::vector<uint32_t> seen;
  uint32_t last = 0xFFFFFFFF;
  const uint8_t* p = picture.rgba;
  const size_t pixels = static_cast<size_t>(picture.width) * static_cast<size_t>(picture.height);
  for (size_t i = 0; i < pixels; ++i, p += 4) {
    const uint32_t colour = uint32_t{p[0]} << 16 | uint32_t{p[1]} << 8 | p[2];
    if (colour == last || picture.IsTransparent(p) || ExactKey(model, p[0], p[1], p[2]) < 0) continue;
    last = colour;
    if (std::find(seen.begin(), seen.end(), colour) != seen.end()) continue;
    if (seen.size() == kArtColourLimit) return false;
    seen.push_back(colour);
  }
  return true;
}

namespace {

uint32_t Packed(const Rgb& c) { return uint32_t{c.red} << 16 | uint32_t{c.green} << 8 | c.blue; }

// An open-addressed table of up to kExactHistogramLimit distinct colours.
class DistinctColours {
 public:
  // CPC+ colours, counted as their nominal colours, are at most 4096: each
  // has a slot of its own, its 4-bit levels, and is found without a probe.
  explicit DistinctColours(ColourModel model) : slots_(kSlots, kEmpty), is_plus_(model == ColourModel::kPlus) {}

  // False once a colour beyond the limit turns up.
  bool Add(const Rgb& colour, uint64_t weight = 1) {
    const uint32_t packed = Packed(colour);
    size_t at = is_plus_ ? static_cast<size_t>((colour.red >> 4) << 8 | (colour.green >> 4) << 4 | colour.blue >> 4)
                         : (packed * 2654435761u) >> 19 & (kSlots - 1);
    while (slots_[at] != kEmpty) {
      if (slots_[at] == packed) {
        colours_[index_[at]].weight += weight;
        return true;
      }
      at = (at + 1) & (kSlots - 1);
    }
    if (colours_.size() == kExactHistogramLimit) return false;
    slots_[at] = packed;
    index_[at] = static_cast<uint32_t>(colours_.size());
    colours_.push_back({colour, weight});
    return true;
  }

  std::vector<WeightedColour>& colours() { return colours_; }
  const std::vector<WeightedColour>& colours() const { return colours_; }

 private:
  static constexpr size_t kSlots = 8192;
  static constexpr uint32_t kEmpty = 0xFFFFFFFF;
  std::vector<uint32_t> slots_;
  std::array<uint32_t, kSlots> index_{};
  std::vector<WeightedColour> colours_;
  bool is_plus_;
};

// Each channel's nominal value once its colour IS an ink: [0] the 27
// colours' 0, &80, &FF by band, [1] the CPC+ level times 17.
constexpr std::array<std::array<uint8_t, 256>, 2> MakeNominalChannels() {
  std::array<std::array<uint8_t, 256>, 2> nominal{};
  constexpr uint8_t kLevels[] = {0x00, 0x80, 0xFF};
  for (int c = 0; c < 256; ++c) {
    const int level = BandLevel(static_cast<uint8_t>(c));
    nominal[0][static_cast<size_t>(c)] = level < 0 ? 0 : kLevels[level];
    nominal[1][static_cast<size_t>(c)] = static_cast<uint8_t>((c + 8) / 17 * 17);
  }
  return nominal;
}
constexpr std::array<std::array<uint8_t, 256>, 2> kNominalChannel = MakeNominalChannels();

struct Cell {
  uint64_t count = 0;
  uint64_t red = 0;
  uint64_t green = 0;
  uint64_t blue = 0;
};

}  // namespace

namespace {

// The counts of a part of the picture: its distinct colours while they are
// few enough, and its cells.
struct ColourCounts {
  explicit ColourCounts(ColourModel model) : distinct(model) {}
  DistinctColours distinct;
  std::vector<Cell> cells = std::vector<Cell>(4096);
  bool is_exact = true;
};

// A cell's four sums as one vector: a pixel adds to them in one step.
using CellSums = uint64_t __attribute__((vector_size(32), aligned(8)));
static_assert(sizeof(Cell) == sizeof(CellSums));

// Once a part's colours are too many to count one by one, only its cells: a
// colour that IS one of the 27 inks is counted by its key and added to its
// nominal colour's cell at the end (whole numbers: the same sums as pixel by
// pixel), any other to the cell of its own colour.

LANE_LOOP void CountCellsSpan(const PictureRef& picture, size_t begin, size_t end, std::vector<Cell>& cells) {
  const std::array<uint8_t, 256>& nominal = kNominalChannel[0];
  std::array<uint64_t, kCpcColourCount> inks{};
  std::array<Rgb, kCpcColourCount> nominal_of{};
  const uint8_t* p = picture.rgba + begin * 4;
  for (size_t i = begin; i < end; ++i, p += 4) {
    if (picture.IsTransparent(p)) continue;
    const int key = ExactKey(ColourModel::kFirmware, p[0], p[1], p[2]);
    if (key >= 0) {
      ++inks[static_cast<size_t>(key)];
      nominal_of[static_cast<size_t>(key)] = {nominal[p[0]], nominal[p[1]], nominal[p[2]]};
      continue;
    }
    Cell& cell = cells[static_cast<size_t>((p[0] >> 4) << 8 | (p[1] >> 4) << 4 | p[2] >> 4)];
    CellSums sums;
    std::memcpy(&sums, static_cast<const void*>(&cell), sizeof sums);
    sums += CellSums{1, p[0], p[1], p[2]};
    std::memcpy(static_cast<void*>(&cell), &sums, sizeof sums);
  }
  for (size_t key = 0; key < inks.size(); ++key) {
    const Rgb& c = nominal_of[key];
    Cell& cell = cells[static_cast<size_t>((c.red >> 4) << 8 | (c.green >> 4) << 4 | c.blue >> 4)];
    cell.count += inks[key];
    cell.red += inks[key] * c.red;
    cell.green += inks[key] * c.green;
    cell.blue += inks[key] * c.blue;
  }
}

void CountSpan(const PictureRef& picture, ColourModel model, size_t begin, size_t end, ColourCounts& counts) {
  const uint8_t* p = picture.rgba + begin * 4;
  // Neighbours often share a colour: the last one's result is kept.
  uint32_t last_packed = 0xFFFFFFFF;
  Rgb last_colour;
  Cell* last_cell = nullptr;
  const std::array<uint8_t, 256>& nominal = kNominalChannel[model == ColourModel::kPlus ? 1 : 0];
  size_t i = begin;
  for (; i < end && counts.is_exact; ++i, p += 4) {
    if (picture.IsTransparent(p)) continue;
    const uint32_t packed = uint32_t{p[0]} << 16 | uint32_t{p[1]} << 8 | p[2];
    if (packed != last_packed) {
      last_packed = packed;
      const int key = ExactKey(model, p[0], p[1], p[2]);
      last_colour = key >= 0 ? Rgb{nominal[p[0]], nominal[p[1]], nominal[p[2]]} : Rgb{p[0], p[1], p[2]};
      last_cell = &counts.cells[static_cast<size_t>((last_colour.red >> 4) << 8 | (last_colour.green >> 4) << 4 |
                                                    (last_colour.blue >> 4))];
    }
    ++last_cell->count;
    last_cell->red += last_colour.red;
    last_cell->green += last_colour.green;
    last_cell->blue += last_colour.blue;
    counts.is_exact = counts.distinct.Add(last_colour);
  }
  CountCellsSpan(picture, i, end, counts.cells);
}

// CPC+ colours, counted as their nominal colours, are never more than the
// distinct colours' limit, so their cells would never be used: each 12-bit
// colour gets a count, and the colours go to the distinct ones in the order
// they first appeared, with their counts, as one by one they would have.
// The count asks nothing else of a pixel (a test for a colour's first
// time, in the same loop, kept it waiting on each count); the order comes
// from the span read again from its start, only until every colour counted
// was met: within the first few thousand pixels of a photograph or noise.
void CountPlusSpan(const PictureRef& picture, size_t begin, size_t end, ColourCounts& counts) {
  static_assert(kExactHistogramLimit >= 16 * 16 * 16);
  // 32-bit counts: a picture has at most 2^26 pixels.
  static_assert(kMaxDeepPixels <= std::numeric_limits<uint32_t>::max());
  std::array<uint32_t, 16 * 16 * 16> weights{};
  const uint8_t* const first = picture.rgba + begin * 4;
  const uint8_t* p = first;
  for (size_t i = begin; i < end; ++i, p += 4) {
    if (!picture.IsTransparent(p)) ++weights[static_cast<size_t>(ExactKey(ColourModel::kPlus, p[0], p[1], p[2]))];
  }
  const size_t colours = static_cast<size_t>(
      std::count_if(weights.begin(), weights.end(), [](uint32_t weight) { return weight != 0; }));
  std::array<bool, 16 * 16 * 16> is_met{};
  std::vector<int> order;
  p = first;
  for (size_t i = begin; i < end && order.size() < colours; ++i, p += 4) {
    if (picture.IsTransparent(p)) continue;
    const int key = ExactKey(ColourModel::kPlus, p[0], p[1], p[2]);
    if (is_met[static_cast<size_t>(key)]) continue;
    is_met[static_cast<size_t>(key)] = true;
    order.push_back(key);
  }
  for (const int key : order)
    counts.distinct.Add(NominalColour(ColourModel::kPlus, key), weights[static_cast<size_t>(key)]);
}

// The second half's counts added to the first's: its colours new to the
// first come after the first's, as they appear after them in the picture.
void AddCounts(ColourCounts& first, const ColourCounts& second) {
  for (size_t i = 0; i < first.cells.size(); ++i) {
    first.cells[i].count += second.cells[i].count;
    first.cells[i].red += second.cells[i].red;
    first.cells[i].green += second.cells[i].green;
    first.cells[i].blue += second.cells[i].blue;
  }
  first.is_exact = first.is_exact && second.is_exact;
  for (const WeightedColour& colour : second.distinct.colours()) {
    if (!first.is_exact) break;
    first.is_exact = first.distinct.Add(colour.colour, colour.weight);
  }
}

}  // namespace

std::vector<WeightedColour> CountColours(const PictureRef& picture, ColourModel model) {
  std::array<ColourCounts, 2> halves{ColourCounts(model), ColourCounts(model)};
  auto work = [&](size_t begin, size_t end, int half) {
    ColourCounts& counts = halves[static_cast<size_t>(half)];
    if (model == ColourModel::kPlus) {
      CountPlusSpan(picture, begin, end, counts);
    } else {
      CountSpan(picture, model, begin, end, counts);
    }
  };
  InTwoHalves(static_cast<size_t>(picture.width) * static_cast<size_t>(picture.height), work);
  ColourCounts& counts = halves[0];
  AddCounts(counts, halves[1]);
  if (counts.is_exact) return std::move(counts.distinct.colours());
  std::vector<WeightedColour> means;
  for (const Cell& cell : counts.cells) {
    if (cell.count == 0) continue;
    const uint64_t half = cell.count / 2;
    means.push_back({{static_cast<uint8_t>((cell.red + half) / cell.count),
                      static_cast<uint8_t>((cell.green + half) / cell.count),
                      static_cast<uint8_t>((cell.blue + half) / cell.count)},
                     cell.count});
  }
  return means;
}

namespace {

constexpr uint64_t kExhaustiveBudget = uint64_t{1} << 27;
constexpr int kSwapPasses = 16;

// C(n, k), or a value over the budget when it would pass it.
uint64_t Combinations(uint64_t n, uint64_t k) {
  uint64_t result = 1;
  for (uint64_t i = 1; i <= k; ++i) {
    result = result * (n - k + i) / i;
    if (result > kExhaustiveBudget) return kExhaustiveBudget + 1;
  }
  return result;
}

// distances[c * entry_count + e]: candidate c to entry e.
struct DistanceTable {
  size_t entry_count = 0;
  std::vector<float> distances;
  const float* Row(size_t c) const { return distances.data() + c * entry_count; }
};

class ExhaustiveSearch {
 public:
  ExhaustiveSearch(const DistanceTable& table, const std::vector<double>& weights, size_t candidates, int n)
      : table_(table),
        weights_(weights),
        candidates_(candidates),
        n_(n),
        minima_(static_cast<size_t>(n) + 1,
                std::vector<float>(table.entry_count, std::numeric_limits<float>::infinity())),
        current_(static_cast<size_t>(n)) {}

  std::vector<int> Run() {
    Descend(0, 0);
    return best_;
  }

 private:
  void Descend(int depth, size_t first) {
    const std::vector<float>& above = minima_[static_cast<size_t>(depth)];
    std::vector<float>& here = minima_[static_cast<size_t>(depth) + 1];
    const size_t remaining = static_cast<size_t>(n_ - depth);
    for (size_t c = first; c + remaining <= candidates_; ++c) {
      const float* row = table_.Row(c);
      current_[static_cast<size_t>(depth)] = static_cast<int>(c);
      if (depth + 1 == n_) {
        double cost = 0;
        for (size_t e = 0; e < table_.entry_count; ++e) {
          cost += weights_[e] * std::min(above[e], row[e]);
        }
        if (best_.empty() || cost < best_cost_) {
          best_cost_ = cost;
          best_ = current_;
        }
        continue;
      }
      for (size_t e = 0; e < table_.entry_count; ++e) here[e] = std::min(above[e], row[e]);
      Descend(depth + 1, c + 1);
    }
  }

  const DistanceTable& table_;
  const std::vector<double>& weights_;
  size_t candidates_;
  int n_;
  std::vector<std::vector<float>> minima_;
  std::vector<int> current_;
  std::vector<int> best_;
  double best_cost_ = 0;
};

// Each entry's nearest and second nearest chosen candidate, and the sum.
struct Nearest {
  std::vector<int> first;  // position in chosen
  std::vector<float> first_distance;
  std::vector<float> second_distance;
  double cost = 0;
};

Nearest NearestOf(const DistanceTable& table, const std::vector<double>& weights,
                  const std::vector<int>& chosen) {
  Nearest nearest;
  const size_t entries = table.entry_count;
  nearest.first.assign(entries, 0);
  nearest.first_distance.assign(entries, std::numeric_limits<float>::infinity());
  nearest.second_distance.assign(entries, std::numeric_limits<float>::infinity());
  for (size_t position = 0; position < chosen.size(); ++position) {
    const float* row = table.Row(static_cast<size_t>(chosen[position]));
    for (size_t e = 0; e < entries; ++e) {
      if (row[e] < nearest.first_distance[e]) {
        nearest.second_distance[e] = nearest.first_distance[e];
        nearest.first_distance[e] = row[e];
        nearest.first[e] = static_cast<int>(position);
      } else if (row[e] < nearest.second_distance[e]) {
        nearest.second_distance[e] = row[e];
      }
    }
  }
  for (size_t e = 0; e < entries; ++e)
    nearest.cost += weights[e] * nearest.first_distance[e];
  return nearest;
}

// The costs of four candidates are summed at once, a lane each.
constexpr size_t kCostLanes = 4;
using CostLanes = double __attribute__((vector_size(8 * kCostLanes), aligned(8)));  // as LaneFloats
using DistanceLanes = float __attribute__((vector_size(4 * kCostLanes), aligned(4)));

// Up to four candidates not chosen, from c on, in order, into group; their
// count. c is left past the last of them.
size_t NextGroup(const std::vector<char>& is_chosen, size_t candidates, size_t& c,
                 std::array<size_t, kCostLanes>& group) {
  size_t count = 0;
  for (; c < candidates && count < kCostLanes; ++c) {
    if (!is_chosen[c]) group[count++] = c;
  }
  return count;
}

bool IsAnyBelow(const CostLanes& cost, double bound) {
  for (size_t k = 0; k < kCostLanes; ++k) {
    if (cost[k] < bound) return true;
  }
  return false;
}

// The weighted sums of nearest distances once a chosen candidate, whose
// entries keep the distances kept without it, is replaced by each of the
// group's count candidates; or a sum at least bound once it passes bound
// (its terms are never negative, so it only grows: looked at every 64
// entries, the lanes stopping once all have passed it). Each lane adds its
// terms in the entries' order, so its sum is the one a candidate-by-candidate
// loop gives, to the last bit. Built a second time for 256-bit vectors.
LANE_LOOP void CostsWithSwap(const std::vector<float>& kept, const std::vector<double>& weights,
                             const DistanceTable& table, const std::array<size_t, kCostLanes>& group, size_t count,
                             double bound, double (&costs)[kCostLanes]) {
  constexpr size_t kBlock = 64;
  const float* rows[kCostLanes];
  for (size_t k = 0; k < kCostLanes; ++k) rows[k] = table.Row(group[k < count ? k : 0]);
  const size_t entries = kept.size();
  CostLanes cost{};
  for (size_t start = 0; start < entries && IsAnyBelow(cost, bound); start += kBlock) {
    const size_t end = std::min(entries, start + kBlock);
    for (size_t e = start; e < end; ++e) {
      const DistanceLanes row = {rows[0][e], rows[1][e], rows[2][e], rows[3][e]};
      const DistanceLanes nearest = row < kept[e] ? row : kept[e] + DistanceLanes{};
      cost += weights[e] * __builtin_convertvector(nearest, CostLanes);
    }
  }
  for (size_t k = 0; k < kCostLanes; ++k) costs[k] = cost[k];
}

// The candidates not chosen, in order, four to a group.
struct Groups {
  std::vector<std::array<size_t, kCostLanes>> members;
  std::vector<size_t> counts;
};

Groups GroupsOf(const std::vector<char>& is_chosen, size_t candidates) {
  Groups groups;
  std::array<size_t, kCostLanes> group{};
  size_t c = 0;
  while (const size_t count = NextGroup(is_chosen, candidates, c, group)) {
    groups.members.push_back(group);
    groups.counts.push_back(count);
  }
  return groups;
}

// The groups are worked on two at a time, the even ones on the calling
// thread and the odd ones on a second: the candidates' costs are
// independent, and a CPC+ choice weighs hundreds of candidates against
// thousands of colours. Each side keeps the order of its own groups, and
// the two are put together so that the outcome is the one-by-one search's.
template <typename Side>
void OnBothSides(const Groups& groups, Side& side) {
  auto even = [&] { side(size_t{0}); };
  auto odd = [&] { side(size_t{1}); };
  AtOnce(groups.counts.size() >= 2, even, odd);
}

// Picks n candidates one at a time, each the one that lowers the weighted
// sum of nearest distances most given those picked before it (of two as
// low, the first).
std::vector<int> GreedyChoice(const DistanceTable& table, const std::vector<double>& weights,
                              size_t candidates, int n, std::vector<char>& is_chosen) {
  const size_t entries = table.entry_count;
  std::vector<int> chosen;
  std::vector<float> current(entries, std::numeric_limits<float>::infinity());
  for (int step = 0; step < n; ++step) {
    const Groups groups = GroupsOf(is_chosen, candidates);
    int best[2] = {-1, -1};
    double best_cost[2] = {0, 0};
    auto side = [&](size_t parity) {
      double costs[kCostLanes];
      for (size_t g = parity; g < groups.counts.size(); g += 2) {
        const std::array<size_t, kCostLanes>& group = groups.members[g];
        // Once the sum reaches the side's best, a candidate is out.
        const double bound = best[parity] < 0 ? std::numeric_limits<double>::infinity() : best_cost[parity];
        CostsWithSwap(current, weights, table, group, groups.counts[g], bound, costs);
        for (size_t k = 0; k < groups.counts[g]; ++k) {
          if (best[parity] < 0 || costs[k] < best_cost[parity]) {
            best[parity] = static_cast<int>(group[k]);
            best_cost[parity] = costs[k];
          }
        }
      }
    };
    OnBothSides(groups, side);
    // The lower cost; of two as low, the first candidate.
    const bool is_odd = best[1] >= 0 && (best_cost[1] < best_cost[0] ||
                                         (best_cost[1] == best_cost[0] && best[1] < best[0]));
    const int picked = is_odd ? best[1] : best[0];
    chosen.push_back(picked);
    is_chosen[static_cast<size_t>(picked)] = 1;
    const float* row = table.Row(static_cast<size_t>(picked));
    for (size_t e = 0; e < entries; ++e) current[e] = std::min(current[e], row[e]);
  }
  return chosen;
}

constexpr size_t kNoneFound = std::numeric_limits<size_t>::max();

// The first candidate, as group * kCostLanes + lane, whose cost with kept is
// below bound; kNoneFound when none is. A side stops once its next group
// comes after one the other side found, so the first of all is the one kept.
size_t FirstBelow(const Groups& groups, const std::vector<float>& kept, const std::vector<double>& weights,
                  const DistanceTable& table, double bound) {
  std::atomic<size_t> found{kNoneFound};
  auto side = [&](size_t parity) {
    double costs[kCostLanes];
    for (size_t g = parity; g < groups.counts.size(); g += 2) {
      if (g * kCostLanes > found.load(std::memory_order_relaxed)) return;
      CostsWithSwap(kept, weights, table, groups.members[g], groups.counts[g], bound, costs);
      for (size_t k = 0; k < groups.counts[g]; ++k) {
        if (costs[k] >= bound) continue;
        size_t seen = found.load(std::memory_order_relaxed);
        const size_t mine = g * kCostLanes + k;
        while (mine < seen && !found.compare_exchange_weak(seen, mine, std::memory_order_relaxed)) {
        }
        return;
      }
    }
  };
  OnBothSides(groups, side);
  return found.load();
}

// Makes the first swap of a chosen candidate for another that lowers the
// cost; false when none does.
bool SwapOnce(const DistanceTable& table, const std::vector<double>& weights, size_t candidates,
              std::vector<int>& chosen, std::vector<char>& is_chosen) {
  const Nearest nearest = NearestOf(table, weights, chosen);
  // A relative margin: sums of floats in another order must not swap back and forth.
  const double bound = nearest.cost * (1 - 1e-9);
  const Groups groups = GroupsOf(is_chosen, candidates);
  std::vector<float> kept(table.entry_count);
  for (size_t position = 0; position < chosen.size(); ++position) {
    for (size_t e = 0; e < kept.size(); ++e) {
      kept[e] = nearest.first[e] == static_cast<int>(position) ? nearest.second_distance[e]
                                                                : nearest.first_distance[e];
    }
    const size_t first = FirstBelow(groups, kept, weights, table, bound);
    if (first == kNoneFound) continue;
    const size_t taken = groups.members[first / kCostLanes][first % kCostLanes];
    is_chosen[static_cast<size_t>(chosen[position])] = 0;
    chosen[position] = static_cast<int>(taken);
    is_chosen[taken] = 1;
    return true;
  }
  return false;
}

std::vector<int> GreedyWithSwaps(const DistanceTable& table, const std::vector<double>& weights,
                                 size_t candidates, int n) {
  std::vector<char> is_chosen(candidates, 0);
  std::vector<int> chosen = GreedyChoice(table, weights, candidates, n, is_chosen);
  for (int pass = 0; pass < kSwapPasses; ++pass) {
    if (!SwapOnce(table, weights, candidates, chosen, is_chosen)) break;
  }
  return chosen;
}

}  // namespace

namespace {

// Every candidate's distance to every entry, eight entries at a time, each
// worked out as Distance does (the same value to the last bit). Built a
// second time for 256-bit vectors.
LANE_LOOP void FillDistances(const std::vector<Lab>& candidates, const std::vector<Lab>& entries,
                             DistanceTable& table) {
  const size_t count = entries.size();
  const size_t whole = count - count % kLanes;
  std::vector<LabLanes> lanes(whole / kLanes);
  for (size_t e = 0; e < whole; ++e) {
    LabLanes& lane = lanes[e / kLanes];
    const int k = static_cast<int>(e % kLanes);
    lane.l[k] = entries[e].l;
    lane.a[k] = entries[e].a;
    lane.b[k] = entries[e].b;
  }
  for (size_t c = 0; c < candidates.size(); ++c) {
    const Lab& x = candidates[c];
    const LabLanes each{LaneFloats{} + x.l, LaneFloats{} + x.a, LaneFloats{} + x.b};
    float* row = table.distances.data() + c * count;
    for (size_t group = 0; group < lanes.size(); ++group) {
      LaneFloats squared;
      DistanceSquaredLanes(each, lanes[group], squared);
      for (int k = 0; k < kLanes; ++k) row[group * kLanes + static_cast<size_t>(k)] = std::sqrt(squared[k]);
    }
    for (size_t e = whole; e < count; ++e) row[e] = Distance(x, entries[e]);
  }
}

DistanceTable TableOf(const std::vector<Lab>& candidates, const std::vector<Lab>& entries) {
  DistanceTable table;
  table.entry_count = entries.size();
  table.distances.resize(candidates.size() * entries.size());
  FillDistances(candidates, entries, table);
  return table;
}

// For each candidate, whether it is the nearest of an entry (ties to the
// lower index). A candidate's row at a time, as rows are laid out.
std::vector<char> NearestCandidates(const DistanceTable& table, size_t candidates) {
  const size_t entries = table.entry_count;
  std::vector<float> nearest(table.Row(0), table.Row(0) + entries);
  std::vector<size_t> index(entries, 0);
  for (size_t c = 1; c < candidates; ++c) {
    const float* row = table.Row(c);
    for (size_t e = 0; e < entries; ++e) {
      if (row[e] < nearest[e]) {
        nearest[e] = row[e];
        index[e] = c;
      }
    }
  }
  std::vector<char> is_nearest(candidates, 0);
  for (const size_t c : index) is_nearest[c] = 1;
  return is_nearest;
}

}  // namespace

std::vector<int> ChooseCandidates(const std::vector<Lab>& candidates, const std::vector<Lab>& entries,
                                  const std::vector<uint64_t>& weights, int n) {
  if (n <= 0 || candidates.empty() || entries.empty()) return {};
  const DistanceTable table = TableOf(candidates, entries);
  // The entries' own nearest candidates, when few enough, are the answer.
  const std::vector<char> is_nearest = NearestCandidates(table, candidates.size());
  std::vector<int> chosen;
  for (size_t c = 0; c < candidates.size(); ++c) {
    if (is_nearest[c]) chosen.push_back(static_cast<int>(c));
  }
  if (static_cast<int>(chosen.size()) <= n) return chosen;
  // Each weight as a double once, not once for every candidate tried.
  const std::vector<double> weight_of(weights.begin(), weights.end());
  const uint64_t subsets = Combinations(candidates.size(), static_cast<uint64_t>(n));
  const bool is_affordable = subsets <= kExhaustiveBudget && subsets * entries.size() <= kExhaustiveBudget;
  chosen = is_affordable ? ExhaustiveSearch(table, weight_of, candidates.size(), n).Run()
                         : GreedyWithSwaps(table, weight_of, candidates.size(), n);
  std::sort(chosen.begin(), chosen.end());
  return chosen;
}

namespace {

constexpr size_t kPlusCandidateLimit = 512;

}  // namespace

std::vector<int> ChooseInkKeys(const std::vector<WeightedColour>& colours, ColourModel model, int n) {
  std::vector<Lab> entries;
  std::vector<uint64_t> weights;
  for (const WeightedColour& colour : colours) {
    entries.push_back(LabOf(colour.colour));
    weights.push_back(colour.weight);
  }
  std::vector<int> keys;
  if (model == ColourModel::kFirmware) {
    for (int f = 0; f < kCpcColourCount; ++f) keys.push_back(f);
  } else {
    // The picture's own 12-bit colours, most frequent first.
    std::vector<uint64_t> counts(4096, 0);
    for (const WeightedColour& colour : colours) {
      counts[static_cast<size_t>(
          ExactKey(model, colour.colour.red, colour.colour.green, colour.colour.blue))] += colour.weight;
    }
    for (int k = 0; k < 4096; ++k) {
      if (counts[static_cast<size_t>(k)] > 0) keys.push_back(k);
    }
    if (keys.size() > kPlusCandidateLimit) {
      std::stable_sort(keys.begin(), keys.end(), [&](int x, int y) {
        return counts[static_cast<size_t>(x)] > counts[static_cast<size_t>(y)];
      });
      keys.resize(kPlusCandidateLimit);
      std::sort(keys.begin(), keys.end());
    }
  }
  std::vector<Lab> candidates;
  for (const int key : keys) candidates.push_back(LabOf(NominalColour(model, key)));
  std::vector<int> chosen_keys;
  for (const int index : ChooseCandidates(candidates, entries, weights, n)) {
    chosen_keys.push_back(keys[static_cast<size_t>(index)]);
  }
  return chosen_keys;
}
