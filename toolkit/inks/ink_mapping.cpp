#include "toolkit/inks/ink_mapping.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <bit>
#include <cmath>
#include <limits>

#include "common/large_buffer.h"
#include "common/two_halves.h"

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

// The opaque pens' inks, and the nearest of them to a colour.
class PenInks {
 public:
  explicit PenInks(const PenMap& map) : first_pen_(map.first_opaque_pen) {
    for (const int key : map.opaque_keys) {
      nominal_.push_back(NominalColour(map.model, key));
      labs_.push_back(LabOf(nominal_.back()));
    }
  }

  // The index (from 0) of the nearest ink to lab; ties to the lower.
  int NearestIndex(const Lab& lab) const {
    size_t best = 0;
    float best_distance = std::numeric_limits<float>::infinity();
    for (size_t i = 0; i < labs_.size(); ++i) {
      const float d = DistanceSquared(lab, labs_[i]);
      if (d < best_distance) {
        best_distance = d;
        best = i;
      }
    }
    return static_cast<int>(best);
  }

  int first_pen() const { return first_pen_; }
  int count() const { return static_cast<int>(labs_.size()); }
  const Rgb& Nominal(int index) const { return nominal_[static_cast<size_t>(index)]; }
  const Lab& LabOfInk(int index) const { return labs_[static_cast<size_t>(index)]; }

 private:
  int first_pen_;
  std::vector<Rgb> nominal_;
  std::vector<Lab> labs_;
};

// The nearest ink to each of kLanes colours at once, by a search of every
// ink: colours that repeat nowhere (noise, a photograph) are searched one by
// one, and kLanes of them side by side cost little more than one. The
// squared distances are worked out as DistanceSquared does, so the nearest
// and its distance are the same as a one-by-one search's, ties to the lower
// index (an ink replaces the nearest so far only when strictly nearer).
class NearestInk {
 public:
  explicit NearestInk(const PenInks& inks) {
    for (int i = 0; i < inks.count(); ++i) {
      const Lab& lab = inks.LabOfInk(i);
      lanes_.push_back({lab.l + LaneFloats{}, lab.a + LaneFloats{}, lab.b + LaneFloats{}});
    }
  }

  // The nearest ink's index in each lane, and its squared distance in
  // squared; a lane whose forced index is 0 or more takes that ink instead
  // (a colour that IS one of the inks), with its distance to it.
  [[gnu::always_inline]] void IndexOf(const LabLanes& lab, const LaneInts& forced, LaneInts& index,
                                      LaneFloats& squared) const {
    LaneFloats best = std::numeric_limits<float>::infinity() + LaneFloats{};
    LaneInts best_index{};
    // The forced ink's distance is taken as the search passes it: the same
    // arithmetic, and no branch on whether some lane is forced (under noise
    // a guess the processor often loses).
    LaneFloats forced_squared{};
    LaneFloats d;
    for (size_t i = 0; i < lanes_.size(); ++i) {
      Squared(lab, lanes_[i].l, lanes_[i].a, lanes_[i].b, d);
      const LaneInts is_nearer = d < best;
      best = is_nearer ? d : best;
      best_index = is_nearer ? static_cast<int>(i) + LaneInts{} : best_index;
      forced_squared = forced == static_cast<int>(i) ? d : forced_squared;
    }
    const LaneInts is_forced = forced >= 0;
    squared = is_forced ? forced_squared : best;
    index = is_forced ? forced : best_index;
  }

 private:
  [[gnu::always_inline]] static void Squared(const LabLanes& lab, const LaneFloats& l, const LaneFloats& a,
                                             const LaneFloats& b, LaneFloats& d) {
    DistanceSquaredLanes(lab, LabLanes{l, a, b}, d);
  }

  std::vector<LabLanes> lanes_;  // each ink in every lane
};

// Without dithering a pixel's pen and error depend on its colour alone: each
// colour is worked out once and kept in a direct-mapped table (2^16 slots,
// 512 KB, so that it stays in the cache) of the colour and its result, the
// error in thousandths of delta E above the pen + 1. Neighbouring pixels
// mostly share or nearly share colours, so a colour is rarely worked out
// twice; when it is, the result is the same. The sums are whole numbers, so
// the picture can be mapped in parts whose sums add up to the same.
struct UnditheredSums {
  uint64_t total_error = 0;  // thousandths of delta E
  uint64_t opaque = 0;
};

class UnditheredSpan {
 public:
  UnditheredSpan(const PictureRef& picture, const PenMap& map, const std::vector<int>& pens_by_key,
                 const PenInks& inks, const NearestInk& nearest)
      : picture_(picture), map_(map), inks_(inks), nearest_(nearest) {
    pens_from_no_key_.push_back(-1);
    pens_from_no_key_.insert(pens_from_no_key_.end(), pens_by_key.begin(), pens_by_key.end());
  }

  // Pixels [begin, end) into out (the whole picture's pens), a block at a
  // time: the colours not yet known are worked out together, a lane each.
  // A block of colours nearly all new (noise, a photograph's fine detail)
  // says the table does not help here: the next blocks are worked out
  // whole without asking it, until a block asks it again.
  UnditheredSums Map(size_t begin, size_t end, uint8_t* out) {
    UnditheredSums sums;
    int uncached = 0;  // blocks left to work out without the table
    for (size_t block = begin; block < end; block += kBlock) {
      const bool is_cached = uncached == 0;
      const size_t todo = Listed(block, std::min(end, block + kBlock), is_cached, out, sums);
      // The last lanes repeat a colour of the block; their results are not kept.
      for (size_t k = todo; k % kLanes != 0; ++k) pixels_[k] = pixels_[0];
      for (size_t k = 0; k < todo; k += kLanes) WorkOut(k);
      for (size_t k = 0; k < todo; ++k) {
        if (is_cached) slots_[SlotOf(colours_[k])] = uint64_t{colours_[k]} << 32 | entries_[k];
        out[pixels_[k]] = static_cast<uint8_t>((entries_[k] & 0xFF) - 1);
        sums.total_error += entries_[k] >> 8;
      }
      uncached = is_cached ? (todo > kBlock - kBlock / 8 ? kUncachedRun : 0) : uncached - 1;
    }
    return sums;
  }

 private:
  static constexpr int kSlotBits = 16;
  static constexpr size_t kBlock = 64;
  static constexpr int kUncachedRun = 16;

  static size_t SlotOf(uint32_t colour) { return (colour * 0x9E3779B1u) >> (32 - kSlotBits); }

  // The block's opaque pixels whose colour's result is kept (with
  // is_cached); the others are listed to be worked out (their count returned).
  size_t Listed(size_t begin, size_t end, bool is_cached, uint8_t* out, UnditheredSums& sums) {
    size_t todo = 0;
    const uint8_t* p = picture_.rgba + begin * 4;
    for (size_t i = begin; i < end; ++i, p += 4) {
      if (picture_.IsTransparent(p)) continue;
      ++sums.opaque;
      const uint32_t colour = uint32_t{p[0]} << 16 | uint32_t{p[1]} << 8 | p[2];
      const uint64_t slot = is_cached ? slots_[SlotOf(colour)] : 0;
      const uint32_t entry = static_cast<uint32_t>(slot);
      if (entry == 0 || static_cast<uint32_t>(slot >> 32) != colour) {
        pixels_[todo] = i;
        colours_[todo++] = colour;
        continue;
      }
      out[i] = static_cast<uint8_t>((entry & 0xFF) - 1);
      sums.total_error += entry >> 8;
    }
    return todo;
  }

  // The results of the listed pixels first to first + kLanes: the error in
  // thousandths of delta E above the pen + 1. A colour that IS one of the
  // inks keeps that ink's pen, but its distance to the nominal colour still
  // counts in the error. Built twice: with the wider vectors of processors
  // that have them, and without.
  LANE_LOOP void WorkOut(size_t first) {
    const float* linear = LabTables().linear;
    const auto pixel = [&](int k) { return picture_.rgba + pixels_[first + static_cast<size_t>(k)] * 4; };
    LaneFloats red;
    LanesOf([&](int k) { return linear[pixel(k)[0]]; }, red);
    LaneFloats green;
    LanesOf([&](int k) { return linear[pixel(k)[1]]; }, green);
    LaneFloats blue;
    LanesOf([&](int k) { return linear[pixel(k)[2]]; }, blue);
    // The pen of a key, from 0 for "no key" on: no branch on whether a
    // colour has a key (under noise a guess the processor often loses).
    LaneInts pens;
    LanesOf([&](int k) {
      const uint8_t* p = pixel(k);
      return pens_from_no_key_[static_cast<size_t>(ExactKey(map_.model, p[0], p[1], p[2]) + 1)];
    }, pens);
    const LaneInts forced = pens < 0 ? -1 + LaneInts{} : pens - inks_.first_pen();
    LabLanes lab;
    LabOfLinearLanes(red, green, blue, lab);
    LaneInts indices;
    LaneFloats squared;
    nearest_.IndexOf(lab, forced, indices, squared);
    // Each distance in thousandths, rounded as lround does without the
    // library call: the fraction x - trunc(x) is exact in floating point.
    // The thousandths are below 2^31, so a signed conversion truncates.
    LaneFloats distance;
    LanesOf([&](int k) { return std::sqrt(squared[k]); }, distance);
    const LaneFloats thousandths = distance * 1000.0f;
    const LaneInts whole = __builtin_convertvector(thousandths, LaneInts);
    const LaneInts is_up = thousandths - __builtin_convertvector(whole, LaneFloats) >= 0.5f;
    const LaneInts entries = (whole - is_up) << 8 | (indices + (inks_.first_pen() + 1));
    for (int k = 0; k < kLanes; ++k)
      entries_[first + static_cast<size_t>(k)] = static_cast<uint32_t>(entries[k]);
  }

  // A slot holds colour << 32 | result; result 0 marks an empty slot.
  std::vector<uint64_t> slots_ = std::vector<uint64_t>(size_t{1} << kSlotBits, 0);
  // A block's listed pixels and their results, room for whole lanes.
  std::array<size_t, kBlock> pixels_{};
  std::array<uint32_t, kBlock> colours_{};
  std::array<uint32_t, kBlock> entries_{};
  const PictureRef& picture_;
  const PenMap& map_;
  std::vector<int> pens_from_no_key_;  // -1, then the pen of each key (ExactKey + 1)
  const PenInks& inks_;
  const NearestInk& nearest_;
};

// The two halves of a large picture at once.
MappedPicture MapWithoutDither(const PictureRef& picture, const PenMap& map,
                               const std::vector<int>& pens_by_key) {
  MappedPicture mapped;
  const size_t pixel_count = static_cast<size_t>(picture.width) * static_cast<size_t>(picture.height);
  ReserveLarge(mapped.pens, pixel_count);
  mapped.pens.assign(pixel_count, 0);
  const PenInks inks(map);
  const NearestInk nearest(inks);
  std::array<UnditheredSums, 2> sums{};
  auto work = [&](size_t begin, size_t end, int half) {
    UnditheredSpan span(picture, map, pens_by_key, inks, nearest);
    sums[static_cast<size_t>(half)] = span.Map(begin, end, mapped.pens.data());
  };
  InTwoHalves(pixel_count, work);
  const uint64_t total_error = sums[0].total_error + sums[1].total_error;
  const uint64_t opaque = sums[0].opaque + sums[1].opaque;
  mapped.mean_error =
      opaque == 0 ? 0 : static_cast<double>(total_error) / 1000.0 / static_cast<double>(opaque);
  return mapped;
}

constexpr std::array<std::array<int, 4>, 4> kBayer = {
    {{0, 8, 2, 10}, {12, 4, 14, 6}, {3, 11, 1, 9}, {15, 7, 13, 5}}};

uint8_t Clamped(int value) { return static_cast<uint8_t>(std::clamp(value, 0, 255)); }

// A dithered colour's nearest ink (in sRGB), from the middle of its cell of
// 4 x 4 x 4 colours (each channel's top 6 bits): the error carried on is the
// colour's own, so the cell's width only moves where a choice between two
// inks falls, by less than the dithering itself does.
//
// A picture of fewer pixels than cells (every picture a CPC screen shows,
// the ink choice's trial samples) has its cells worked out where they fall:
// it would visit few of them, each at a first visit that the processor
// cannot foresee. A larger one keeps each cell's ink in a table, one of
// 8 x 8 x 8 colours (the top 5 bits), 32 KB, so that it stays in the cache
// beside the rows of error that the dither reads and writes.
constexpr int kFineBits = 6;
constexpr int kTableBits = 5;

class DitherNearest {
 public:
  DitherNearest(const PenInks& inks, size_t pixel_count)
      : inks_(inks), cells_(KeptCells()), is_direct_(pixel_count < size_t{1} << (3 * kFineBits)) {
    if (!is_direct_) std::fill(cells_.begin(), cells_.end(), kUnknown);
    SetQuads(is_direct_ ? kFineBits : kTableBits);
  }

  int IndexOf(uint8_t red, uint8_t green, uint8_t blue) {
    return IndexOfCell(static_cast<size_t>(red >> 2) << 12 | static_cast<size_t>(green >> 2) << 6 |
                       static_cast<size_t>(blue >> 2));
  }

  // A cell: its red, green and blue (each the channel's top 6 bits) side by side.
  int IndexOfCell(size_t cell) {
    if (is_direct_) return Middle(cell >> 12, cell >> 6 & 63, cell & 63);
    const size_t red = cell >> 13;
    const size_t green = cell >> 7 & 31;
    const size_t blue = cell >> 1 & 31;
    uint8_t& index = cells_[red << 10 | green << 5 | blue];
    if (index == kUnknown) index = static_cast<uint8_t>(Middle(red, green, blue));
    return index;
  }

 private:
  // The nearest in sRGB, not in CIELAB: the colour asked for carries the
  // error of its neighbours, and an ink nearer in CIELAB but further in
  // light leaves more error to carry, so that sparse inks swing far from the
  // colour (on a navy to orange ramp in 4 inks the seen error is twice
  // sRGB's). sRGB does as well as linear light here.
  //
  // The squared distance to each ink is the sum of one per channel, kept
  // for each level of a channel as distance << 4 | index (the index in
  // red's), so that the least sum is the nearest ink and, of two as near,
  // the lower index. No branch: a branch per ink would be a guess that a
  // dither of noise, with a new cell at nearly every pixel, often loses.
  int Middle(size_t red, size_t green, size_t blue) const {
    Quad best = quad_red_[red][0] + quad_green_[green][0] + quad_blue_[blue][0];
    for (size_t q = 1; q < kQuads; ++q) {
      const Quad key = quad_red_[red][q] + quad_green_[green][q] + quad_blue_[blue][q];
      best = key < best ? key : best;
    }
    const int32_t low = std::min(best[0], best[1]);
    const int32_t high = std::min(best[2], best[3]);
    return std::min(low, high) & 15;
  }

  // 16 inks at most, four to a quad; a place past the last ink is never the nearest.
  using Quad = int32_t __attribute__((vector_size(16)));
  static constexpr size_t kQuads = 4;
  static constexpr size_t kLevels = size_t{1} << kFineBits;

  // The quads of each level of a channel's top bits, from the level's middle.
  void SetQuads(int bits) {
    const int shift = 8 - bits;
    for (size_t level = 0; level < size_t{1} << bits; ++level) {
      const int middle = static_cast<int>(level << shift) | 1 << (shift - 1);
      const auto square = [middle](int channel) { return (middle - channel) * (middle - channel) << 4; };
      for (size_t q = 0; q < kQuads; ++q) {
        for (int k = 0; k < 4; ++k) {
          const int i = static_cast<int>(q) * 4 + k;
          const bool is_ink = i < inks_.count();
          const Rgb ink = is_ink ? inks_.Nominal(i) : Rgb{};
          quad_red_[level][q][k] = is_ink ? square(ink.red) | i : 1 << 30;
          quad_green_[level][q][k] = is_ink ? square(ink.green) : 0;
          quad_blue_[level][q][k] = is_ink ? square(ink.blue) : 0;
        }
      }
    }
  }

  // The table of the thread's mappings, one at a time: the ink choice
  // dithers hundreds of trial samples, and fresh memory for each would be
  // as many page faults.
  static std::vector<uint8_t>& KeptCells() {
    static thread_local std::vector<uint8_t> cells(size_t{1} << (3 * kTableBits));
    return cells;
  }

  const PenInks& inks_;
  std::vector<uint8_t>& cells_;
  const bool is_direct_;
  Quad quad_red_[kLevels][kQuads] = {};
  Quad quad_green_[kLevels][kQuads] = {};
  Quad quad_blue_[kLevels][kQuads] = {};
};

// A colour in linear light (LinearOf): red, green, blue and a spare lane, so
// that the three channels of a diffused pixel are worked out at once, and
// clamped without a branch (under noise a branch per channel is a guess the
// processor often loses).
using Light = float __attribute__((vector_size(16)));
using LightSteps = int32_t __attribute__((vector_size(16)));

inline Light Within(Light value, float low, float high) {
  const Light lows = {low, low, low, low};
  const Light highs = {high, high, high, high};
  value = value < lows ? lows : value;
  return value > highs ? highs : value;
}

// How far past black and full light the colour a diffusing pixel asks for
// may go. A colour outside what the inks can mix (a saturated orange among
// four inks that have none) leaves error that no ink takes away: unbounded,
// it would pile up and spill as a streak of the wrong ink far along the
// row. A tenth of full light each way keeps the error of mixtures that do
// reach (measured on gradients, a texture and a test card in modes 0 and 1:
// half that reach is worse on a navy to orange ramp in 4 inks, and a wider
// one, or none, is worse there too).
constexpr float kLightReach = 0.1f;

// The DitherNearest cell of a colour in light (within kLightReach), from a
// table of each channel's sRGB cell for steps of 1/4096 of light (under a
// third of an 8-bit level even near black, where sRGB is steepest). The
// table reaches past black and full light as far as the colour may, so that
// no second clamp waits in the chain from one pixel to the next.
class LightCells {
 public:
  LightCells() {
    for (int i = 0; i < kSize; ++i)
      table_[static_cast<size_t>(i)] = SrgbOfLinear(static_cast<float>(i - kBelow) / kSteps) >> 2;
  }
  size_t CellOf(Light light) const {
    const LightSteps at = __builtin_convertvector(light * kSteps + (kBelow + 0.5f), LightSteps);
    return size_t{table_[static_cast<size_t>(at[0])]} << 12 |
           size_t{table_[static_cast<size_t>(at[1])]} << 6 | table_[static_cast<size_t>(at[2])];
  }

 private:
  static constexpr int kSteps = 4096;
  static constexpr int kBelow = static_cast<int>(kLightReach * kSteps) + 1;
  static constexpr int kSize = kBelow + kSteps + kBelow + 1;
  std::array<uint8_t, kSize> table_{};
};

// Built once: the ink choice dithers hundreds of trial samples.
const LightCells& TheLightCells() {
  static const LightCells cells;
  return cells;
}

// Error carried in linear light (the eye mixes neighbouring inks as light
// adds up, so a dither that keeps the mean in sRGB shows a mid grey of
// black and white far too light): what the row above sent each pixel, and
// what this row sends the next, one spare pixel each side.
struct ErrorRows {
  explicit ErrorRows(int width)
      : current(static_cast<size_t>(width + 2), Light{}), next(current.size(), Light{}) {}
  Light& At(std::vector<Light>& row, int x) { return row[static_cast<size_t>(x + 1)]; }
  std::vector<Light> current;
  std::vector<Light> next;
};

// Adds a Floyd-Steinberg error to the pixels that take it: 7/16 ahead,
// 3/16 below behind, 5/16 below, 1/16 below ahead. The next pixel's share
// is handed on in ahead, not through the row: each pixel waits on the one
// before it, and a value kept in registers is there sooner than one stored
// and loaded back.
inline void SpreadError(ErrorRows& errors, int x, int step, Light error, Light& ahead) {
  ahead = error * (7.0f / 16);
  errors.At(errors.next, x - step) += error * (3.0f / 16);
  errors.At(errors.next, x) += error * (5.0f / 16);
  errors.At(errors.next, x + step) += error * (1.0f / 16);
}

// Whether a colour is exactly one of the 27 colours (each channel 0, &80 or
// &FF): such a pixel keeps its ink under a dither even where the bands do
// not hold, as a flat area of an ink should, and costs no dithering.
inline bool IsNominal(const uint8_t* p) {
  const auto is_level = [](uint8_t c) { return (c == 0) | (c == 0x80) | (c == 0xFF); };
  return is_level(p[0]) & is_level(p[1]) & is_level(p[2]);
}

// The colour a pixel under the ordered dither asks for: its own with the
// offset of its place.
inline void OrderedColour(const uint8_t* p, int x, int y, uint8_t (&wanted)[3]) {
  const int offset = (2 * kBayer[static_cast<size_t>(y & 3)][static_cast<size_t>(x & 3)] + 1) * 4 - 64;
  for (int c = 0; c < 3; ++c) wanted[c] = Clamped(p[c] + offset);
}

// Floyd-Steinberg is a chain: each pixel waits on the error of the one
// before it (load, clamp, cell, ink, error: some fifty cycles), and the
// serpentine rows keep one row from starting before the last has ended. A
// tall picture is therefore dithered in bands, each as a picture of its own
// (its first row takes no error from above, as a picture's first row does),
// and the bands' rows are walked side by side, a pixel of each in turn, so
// that the processor works on their chains at once. A band has at least
// kBandLeast rows, so every picture a CPC screen can show is one band, and
// the rows a band starts on are as far apart as a PC screen is tall.
constexpr int kBandLeast = 1024;
constexpr int kMostBands = 2;

struct DitherBand {
  explicit DitherBand(int width) : errors(width) {}
  int top = 0;   // its first row in the picture
  int rows = 0;
  ErrorRows errors;
};

std::vector<DitherBand> DitherBands(const PictureRef& picture, Dither dither) {
  const int count = dither == Dither::kFloyd ? std::clamp(picture.height / kBandLeast, 1, kMostBands) : 1;
  std::vector<DitherBand> bands;
  for (int b = 0; b < count; ++b) {
    bands.emplace_back(picture.width);
    bands.back().top = picture.height * b / count;
    bands.back().rows = picture.height * (b + 1) / count - bands.back().top;
  }
  return bands;
}

// A dithered mapping, row by row: the tables it works from and the sums it keeps.
class DitheredMapping {
 public:
  DitheredMapping(const PictureRef& picture, const PenMap& map, const std::vector<int>& pens_by_key,
                  const PenInks& inks, Dither dither)
      : picture_(picture), map_(map), pens_by_key_(pens_by_key), dither_(dither), inks_(inks),
        nearest_(inks_, static_cast<size_t>(picture.width) * static_cast<size_t>(picture.height)) {
    for (int i = 0; i < inks_.count(); ++i) {
      const Rgb& ink = inks_.Nominal(i);
      ink_lights_.push_back(Light{linear_[ink.red], linear_[ink.green], linear_[ink.blue], 0});
    }
  }

  // Row r of every band (of those that have one) into pens, the picture's.
  void MapRow(std::vector<DitherBand>& bands, int r, uint8_t* pens) {
    DitherBand* const first = bands.data();
    const size_t count = bands.size();
    if (std::all_of(bands.begin(), bands.end(), [r](const DitherBand& band) { return r < band.rows; })) {
      if (count == 4) return MapRowOfBands<4>(first, r, pens);
      if (count == 3) return MapRowOfBands<3>(first, r, pens);
      if (count == 2) return MapRowOfBands<2>(first, r, pens);
    }
    for (DitherBand& band : bands) {
      if (r < band.rows) MapRowOfBands<1>(&band, r, pens);
    }
  }

 private:
  // Floyd-Steinberg rows alternate direction (serpentine), from each band's first.
  template <int kBands>
  void MapRowOfBands(DitherBand* bands, int r, uint8_t* pens) {
    const size_t width = static_cast<size_t>(picture_.width);
    const bool is_reversed = dither_ == Dither::kFloyd && r % 2 == 1;
    const int step = is_reversed ? -1 : 1;
    const uint8_t* rows[kBands];
    uint8_t* outs[kBands];
    int ys[kBands];
    Light ahead[kBands];
    for (int b = 0; b < kBands; ++b) {
      ys[b] = bands[b].top + r;
      rows[b] = picture_.rgba + static_cast<size_t>(ys[b]) * width * 4;
      outs[b] = pens + static_cast<size_t>(ys[b]) * width;
      ahead[b] = Light{};
    }
    for (int i = 0; i < picture_.width; ++i) {
      const int x = is_reversed ? picture_.width - 1 - i : i;
#pragma GCC unroll 4
      for (int b = 0; b < kBands; ++b)
        MapPixel(rows[b] + static_cast<size_t>(x) * 4, x, ys[b], step, outs[b], ahead[b], bands[b].errors);
    }
    if (dither_ != Dither::kFloyd) return;
    for (int b = 0; b < kBands; ++b) {
      bands[b].errors.current.swap(bands[b].errors.next);
      std::fill(bands[b].errors.next.begin(), bands[b].errors.next.end(), Light{});
    }
  }

  // ahead: the error the pixel before passed on (Floyd-Steinberg).
  [[gnu::always_inline]] void MapPixel(const uint8_t* p, int x, int y, int step, uint8_t* out, Light& ahead,
                                       ErrorRows& errors) {
    if (picture_.IsTransparent(p)) {  // pen 0, no error taken or passed
      ahead = Light{};
      return;
    }
    // Asked in this order because under noise the key is a coin toss that
    // the processor would often guess wrong, while a nominal colour is rare.
    if (map_.is_exact_under_dither || IsNominal(p)) {
      const int key = ExactKey(map_.model, p[0], p[1], p[2]);
      if (key >= 0 && pens_by_key_[static_cast<size_t>(key)] >= 0) {
        out[x] = static_cast<uint8_t>(pens_by_key_[static_cast<size_t>(key)]);
        ahead = Light{};
        return;
      }
    }
    if (dither_ == Dither::kFloyd) {
      Diffuse(p, x, step, out, ahead, errors);
      return;
    }
    uint8_t wanted[3];
    OrderedColour(p, x, y, wanted);
    out[x] = static_cast<uint8_t>(inks_.first_pen() + nearest_.IndexOf(wanted[0], wanted[1], wanted[2]));
  }

  // Floyd-Steinberg in linear light: the pixel's light with the error it
  // received takes the nearest ink, and passes on what that ink lacks.
  [[gnu::always_inline]] void Diffuse(const uint8_t* p, int x, int step, uint8_t* out, Light& ahead,
                                      ErrorRows& errors) {
    const Light light = {linear_[p[0]], linear_[p[1]], linear_[p[2]], 0};
    const Light wanted =
        Within(light + errors.At(errors.current, x) + ahead, -kLightReach, 1 + kLightReach);
    const int index = nearest_.IndexOfCell(cells_.CellOf(wanted));
    out[x] = static_cast<uint8_t>(inks_.first_pen() + index);
    SpreadError(errors, x, step, wanted - ink_lights_[static_cast<size_t>(index)], ahead);
  }

  const PictureRef& picture_;
  const PenMap& map_;
  const std::vector<int>& pens_by_key_;
  const Dither dither_;
  const PenInks& inks_;
  DitherNearest nearest_;
  const LightCells& cells_ = TheLightCells();
  const float* const linear_ = LabTables().linear;
  std::vector<Light> ink_lights_;  // the inks' own, by index
};

// The mean error of a dithered picture from its pens: each opaque pixel's
// distance to its pen's ink, summed in the order the pixels were dithered
// (Floyd-Steinberg rows alternate direction) so that the total comes out the
// same to the last bit. A row is summed once the mapping has done it, its
// distances worked out first, eight pixels at a time, in the order of the
// row (colours that never repeat are the slow case: each its own CIELAB).
class DitheredError {
 public:
  DitheredError(const PictureRef& picture, const PenInks& inks, Dither dither)
      : picture_(picture), inks_(inks), dither_(dither), distances_(static_cast<size_t>(picture.width)) {
    for (int i = 0; i < inks.count(); ++i) {
      ink_l_.push_back(inks.LabOfInk(i).l);
      ink_a_.push_back(inks.LabOfInk(i).a);
      ink_b_.push_back(inks.LabOfInk(i).b);
    }
  }

  // Row y of the picture, row r of its band.
  void AddRow(int y, int r, const uint8_t* pens) {
    const int width = picture_.width;
    const uint8_t* row = picture_.rgba + static_cast<size_t>(y) * static_cast<size_t>(width) * 4;
    for (int x = 0; x < width; x += kLanes) Distances(row, pens, x);
    const bool is_reversed = dither_ == Dither::kFloyd && r % 2 == 1;
    for (int i = 0; i < width; ++i) {
      const int x = is_reversed ? width - 1 - i : i;
      if (picture_.IsTransparent(row + static_cast<size_t>(x) * 4)) continue;
      ++opaque_;
      total_error_ += distances_[static_cast<size_t>(x)];
    }
  }

  double total_error() const { return total_error_; }
  uint64_t opaque() const { return opaque_; }

 private:
  // The distances of pixels x to x + kLanes (those in the row) to their
  // pens' inks, as Distance works them out. Built a second time for 256-bit vectors.
  LANE_LOOP void Distances(const uint8_t* row, const uint8_t* pens, int x) {
    const int width = picture_.width;
    const float* linear = LabTables().linear;
    // Past the row: its last pixel again, not kept.
    const auto at = [&](int k) { return static_cast<size_t>(std::min(x + k, width - 1)); };
    LaneFloats red;
    LanesOf([&](int k) { return linear[row[at(k) * 4]]; }, red);
    LaneFloats green;
    LanesOf([&](int k) { return linear[row[at(k) * 4 + 1]]; }, green);
    LaneFloats blue;
    LanesOf([&](int k) { return linear[row[at(k) * 4 + 2]]; }, blue);
    // A transparent pixel's pen is 0, below the first opaque pen: its distance is not kept.
    const auto ink = [&](int k) { return static_cast<size_t>(std::max(pens[at(k)] - inks_.first_pen(), 0)); };
    LaneFloats l;
    LanesOf([&](int k) { return ink_l_[ink(k)]; }, l);
    LaneFloats a;
    LanesOf([&](int k) { return ink_a_[ink(k)]; }, a);
    LaneFloats b;
    LanesOf([&](int k) { return ink_b_[ink(k)]; }, b);
    LabLanes source;
    LabOfLinearLanes(red, green, blue, source);
    LaneFloats squared;
    DistanceSquaredLanes(source, LabLanes{l, a, b}, squared);
    for (int k = 0; k < kLanes && x + k < width; ++k)
      distances_[static_cast<size_t>(x + k)] = std::sqrt(squared[k]);
  }

  const PictureRef& picture_;
  const PenInks& inks_;
  const Dither dither_;
  std::vector<float> ink_l_;  // the inks' CIELAB, a component at a time
  std::vector<float> ink_a_;
  std::vector<float> ink_b_;
  std::vector<float> distances_;  // of the row being summed
  double total_error_ = 0;
  uint64_t opaque_ = 0;
};

// The rows done so far in every band, told by the mapping to the error's
// sum behind it in steps of rows: a wake-up for every row would cost more
// than the row.
constexpr int kErrorBand = 64;

// The mean error of the pens of bands' rows 0 to rows - 1 as the mapping
// finishes them (rows_done). Each band is summed in the order it was
// dithered, and the bands are added from the top.
double DitheredMeanError(const PictureRef& picture, const PenInks& inks, Dither dither,
                         const std::vector<DitherBand>& bands, int rows, const std::atomic<int>& rows_done,
                         const uint8_t* pens) {
  const size_t width = static_cast<size_t>(picture.width);
  std::vector<DitheredError> sums(bands.size(), DitheredError(picture, inks, dither));
  for (int r = 0; r < rows; ++r) {
    for (int done = rows_done.load(std::memory_order_acquire); done <= r;
         done = rows_done.load(std::memory_order_acquire))
      rows_done.wait(done, std::memory_order_acquire);
    for (size_t b = 0; b < bands.size(); ++b) {
      const int y = bands[b].top + r;
      if (r < bands[b].rows) sums[b].AddRow(y, r, pens + static_cast<size_t>(y) * width);
    }
  }
  double total_error = 0;
  uint64_t opaque = 0;
  for (const DitheredError& sum : sums) {
    total_error += sum.total_error();
    opaque += sum.opaque();
  }
  return opaque == 0 ? 0 : total_error / static_cast<double>(opaque);
}

// A dithered picture's pens, and with counts_error its error summed on a
// second thread behind.
MappedPicture MapDithered(const PictureRef& picture, const PenMap& map, const std::vector<int>& pens_by_key,
                          Dither dither, bool counts_error) {
  const size_t width = static_cast<size_t>(picture.width);
  MappedPicture mapped;
  ReserveLarge(mapped.pens, width * static_cast<size_t>(picture.height));
  mapped.pens.assign(width * static_cast<size_t>(picture.height), 0);
  const PenInks inks(map);
  std::vector<DitherBand> bands = DitherBands(picture, dither);
  int rows = 0;  // of the tallest band
  for (const DitherBand& band : bands) rows = std::max(rows, band.rows);
  std::atomic<int> rows_done{0};
  auto pens = [&] {
    DitheredMapping mapping(picture, map, pens_by_key, inks, dither);
    for (int r = 0; r < rows; ++r) {
      mapping.MapRow(bands, r, mapped.pens.data());
      if ((r + 1) % kErrorBand == 0 || r + 1 == rows) {
        rows_done.store(r + 1, std::memory_order_release);
        rows_done.notify_one();
      }
    }
  };
  auto error = [&] {
    if (counts_error)
      mapped.mean_error = DitheredMeanError(picture, inks, dither, bands, rows, rows_done, mapped.pens.data());
  };
  AtOnce(counts_error && width * static_cast<size_t>(picture.height) >= kTwoHalvesLeast, pens, error);
  return mapped;
}

}  // namespace

MappedPicture MapToPens(const PictureRef& picture, const PenMap& map, Dither dither, bool counts_error) {
  const size_t width = static_cast<size_t>(picture.width);
  if (map.opaque_keys.empty()) {
    MappedPicture none;
    none.pens.assign(width * static_cast<size_t>(picture.height), 0);
    return none;
  }
  const std::vector<int> pens_by_key = PensByKey(map);
  if (dither == Dither::kNone) return MapWithoutDither(picture, map, pens_by_key);
  return MapDithered(picture, map, pens_by_key, dither, counts_error);
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
