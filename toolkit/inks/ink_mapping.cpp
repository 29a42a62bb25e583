#include "toolkit/inks/ink_mapping.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <bit>
#include <cmath>
#include <limits>

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

// The nearest ink to a colour by a search of every ink, four at a time: the
// inks' CIELAB values kept by component, the unused places of the last four
// far away. Colours that repeat nowhere (noise, a photograph) are searched
// one by one, and a search without branches costs less than one whose
// branches the processor can not foresee. The squared distances are worked
// out as DistanceSquared does, so the nearest and its distance are the same
// as a one-by-one search's, ties to the lower index.
class NearestInk {
 public:
  explicit NearestInk(const PenInks& inks) : groups_((inks.count() + 3) / 4) {
    for (int i = 0; i < 16; ++i) {
      const size_t group = static_cast<size_t>(i / 4);
      const int lane = i % 4;
      const bool is_ink = i < inks.count();
      l_[group][lane] = is_ink ? inks.LabOfInk(i).l : kFar;
      a_[group][lane] = is_ink ? inks.LabOfInk(i).a : kFar;
      b_[group][lane] = is_ink ? inks.LabOfInk(i).b : kFar;
    }
  }

  // The nearest ink's index, and its squared distance in squared.
  int IndexOf(const Lab& lab, float& squared) const {
    Float4 best = Squared(lab, 0);
    Int4 best_index = {0, 1, 2, 3};
    for (int group = 1; group < groups_; ++group) {
      const Float4 d = Squared(lab, group);
      const Int4 is_nearer = d < best;
      best = is_nearer ? d : best;
      best_index = is_nearer ? Int4{0, 1, 2, 3} + 4 * group : best_index;
    }
    // The four lanes' nearest against each other, ties to the lower index.
    int lane = 0;
    for (int k = 1; k < 4; ++k) {
      if (best[k] < best[lane] || (best[k] == best[lane] && best_index[k] < best_index[lane])) lane = k;
    }
    squared = best[lane];
    return best_index[lane];
  }

 private:
  using Float4 = float __attribute__((vector_size(16)));
  using Int4 = int32_t __attribute__((vector_size(16)));
  static constexpr float kFar = 1e9f;

  Float4 Squared(const Lab& lab, int group) const {
    const size_t g = static_cast<size_t>(group);
    const Float4 dl = lab.l - l_[g];
    const Float4 da = lab.a - a_[g];
    const Float4 db = lab.b - b_[g];
    return dl * dl + da * da + db * db;
  }

  int groups_;
  std::array<Float4, 4> l_{};
  std::array<Float4, 4> a_{};
  std::array<Float4, 4> b_{};
};

// lround for a distance (never negative) without the library call: the
// fraction x - trunc(x) is exact in floating point, so this rounds the same.
inline uint32_t RoundedThousandths(float distance) {
  const float x = distance * 1000;
  const uint32_t whole = static_cast<uint32_t>(x);
  return whole + (x - static_cast<float>(whole) >= 0.5f ? 1 : 0);
}

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
      : picture_(picture), map_(map), pens_by_key_(pens_by_key), inks_(inks), nearest_(nearest) {}

  // Pixels [begin, end) into out (the whole picture's pens), a block at a
  // time: the colours not yet known are worked out together, step by step,
  // so that the processor overlaps their long chains of arithmetic.
  UnditheredSums Map(size_t begin, size_t end, uint8_t* out) {
    UnditheredSums sums;
    for (size_t block = begin; block < end; block += kBlock) {
      const size_t todo = Known(block, std::min(end, block + kBlock), out, sums);
      for (size_t k = 0; k < todo; ++k) {
        const uint8_t* p = picture_.rgba + pixels_[k] * 4;
        labs_[k] = LabOf(p[0], p[1], p[2]);
      }
      for (size_t k = 0; k < todo; ++k) indices_[k] = Nearest(pixels_[k], labs_[k], squared_[k]);
      for (size_t k = 0; k < todo; ++k) {
        const uint32_t entry = RoundedThousandths(std::sqrt(squared_[k])) << 8 |
                               static_cast<uint32_t>(inks_.first_pen() + indices_[k] + 1);
        slots_[SlotOf(colours_[k])] = uint64_t{colours_[k]} << 32 | entry;
        out[pixels_[k]] = static_cast<uint8_t>((entry & 0xFF) - 1);
        sums.total_error += entry >> 8;
      }
    }
    return sums;
  }

 private:
  static constexpr int kSlotBits = 16;
  static constexpr size_t kBlock = 64;

  static size_t SlotOf(uint32_t colour) { return (colour * 0x9E3779B1u) >> (32 - kSlotBits); }

  // The block's opaque pixels whose colour's result is kept; the others are
  // listed to be worked out (their count returned).
  size_t Known(size_t begin, size_t end, uint8_t* out, UnditheredSums& sums) {
    size_t todo = 0;
    const uint8_t* p = picture_.rgba + begin * 4;
    for (size_t i = begin; i < end; ++i, p += 4) {
      if (picture_.IsTransparent(p)) continue;
      ++sums.opaque;
      const uint32_t colour = uint32_t{p[0]} << 16 | uint32_t{p[1]} << 8 | p[2];
      const uint64_t slot = slots_[SlotOf(colour)];
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

  // A colour that IS one of the inks keeps that ink's pen, but its distance
  // to the nominal colour still counts in the error.
  int Nearest(size_t pixel, const Lab& lab, float& squared) const {
    const uint8_t* p = picture_.rgba + pixel * 4;
    const int key = ExactKey(map_.model, p[0], p[1], p[2]);
    if (key < 0 || pens_by_key_[static_cast<size_t>(key)] < 0) return nearest_.IndexOf(lab, squared);
    const int index = pens_by_key_[static_cast<size_t>(key)] - inks_.first_pen();
    squared = DistanceSquared(lab, inks_.LabOfInk(index));
    return index;
  }

  // A slot holds colour << 32 | result; result 0 marks an empty slot.
  std::vector<uint64_t> slots_ = std::vector<uint64_t>(size_t{1} << kSlotBits, 0);
  std::array<size_t, kBlock> pixels_{};
  std::array<uint32_t, kBlock> colours_{};
  std::array<Lab, kBlock> labs_{};
  std::array<int, kBlock> indices_{};
  std::array<float, kBlock> squared_{};
  const PictureRef& picture_;
  const PenMap& map_;
  const std::vector<int>& pens_by_key_;
  const PenInks& inks_;
  const NearestInk& nearest_;
};

// The two halves of a large picture at once.
MappedPicture MapWithoutDither(const PictureRef& picture, const PenMap& map,
                               const std::vector<int>& pens_by_key) {
  MappedPicture mapped;
  const size_t pixel_count = static_cast<size_t>(picture.width) * static_cast<size_t>(picture.height);
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

// A dithered colour's nearest ink (in sRGB), worked out once for each cell of
// 4 x 4 x 4 colours (from the cell's middle): the error carried on is the
// colour's own, so the cell's width only moves where a choice between two inks falls, by
// less than the dithering itself does.
class DitherNearest {
 public:
  explicit DitherNearest(const PenInks& inks) : inks_(inks), cells_(size_t{1} << 18, kUnknown) {}

  int IndexOf(uint8_t red, uint8_t green, uint8_t blue) {
    return IndexOfCell(static_cast<size_t>(red >> 2) << 12 | static_cast<size_t>(green >> 2) << 6 |
                       static_cast<size_t>(blue >> 2));
  }

  // A cell: its red, green and blue (each the channel's top 6 bits) side by side.
  int IndexOfCell(size_t cell) {
    uint8_t& index = cells_[cell];
    if (index == kUnknown) {
      index = static_cast<uint8_t>(Middle(static_cast<uint8_t>(cell >> 10 & 0xFC),
                                          static_cast<uint8_t>(cell >> 4 & 0xFC),
                                          static_cast<uint8_t>(cell << 2 & 0xFC)));
    }
    return index;
  }

 private:
  // The nearest in sRGB, not in CIELAB: the colour asked for carries the
  // error of its neighbours, and an ink nearer in CIELAB but further in
  // light leaves more error to carry, so that sparse inks swing far from the
  // colour (on a navy to orange ramp in 4 inks the seen error is twice
  // sRGB's). sRGB does as well as linear light here, and keeps a table of
  // 8-bit cells.
  int Middle(uint8_t red, uint8_t green, uint8_t blue) const {
    const int wanted[3] = {(red & 0xFC) | 2, (green & 0xFC) | 2, (blue & 0xFC) | 2};
    int best = 0;
    int best_distance = std::numeric_limits<int>::max();
    for (int i = 0; i < inks_.count(); ++i) {
      const Rgb& ink = inks_.Nominal(i);
      const int d[3] = {wanted[0] - ink.red, wanted[1] - ink.green, wanted[2] - ink.blue};
      const int distance = d[0] * d[0] + d[1] * d[1] + d[2] * d[2];
      if (distance < best_distance) {
        best_distance = distance;
        best = i;
      }
    }
    return best;
  }

  const PenInks& inks_;
  std::vector<uint8_t> cells_;
};

// The CIELAB values of the source colours of a dithered picture, for its
// mean error: a direct-mapped table of 2^16 recent colours, since
// neighbouring pixels mostly repeat colours.
class RecentLabs {
 public:
  RecentLabs() : slots_(kSlots) {}

  const Lab& Of(const uint8_t* pixel) {
    const uint32_t colour = uint32_t{pixel[0]} << 16 | uint32_t{pixel[1]} << 8 | pixel[2];
    Slot& slot = slots_[(colour * 0x9E3779B1u) >> (32 - kSlotBits)];
    if (slot.colour != colour) {
      slot.colour = colour;
      slot.lab = LabOf(pixel[0], pixel[1], pixel[2]);
    }
    return slot.lab;
  }

 private:
  static constexpr int kSlotBits = 16;
  static constexpr size_t kSlots = size_t{1} << kSlotBits;
  struct Slot {
    uint32_t colour = 0xFFFFFFFF;  // no colour: 24 bits only
    Lab lab;
  };
  std::vector<Slot> slots_;
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
  const auto is_level = [](uint8_t c) { return c == 0 || c == 0x80 || c == 0xFF; };
  return is_level(p[0]) && is_level(p[1]) && is_level(p[2]);
}

// The colour a pixel under the ordered dither asks for: its own with the
// offset of its place.
inline void OrderedColour(const uint8_t* p, int x, int y, uint8_t (&wanted)[3]) {
  const int offset = (2 * kBayer[static_cast<size_t>(y & 3)][static_cast<size_t>(x & 3)] + 1) * 4 - 64;
  for (int c = 0; c < 3; ++c) wanted[c] = Clamped(p[c] + offset);
}

// A dithered mapping, row by row: the tables it works from and the sums it keeps.
class DitheredMapping {
 public:
  DitheredMapping(const PictureRef& picture, const PenMap& map, const std::vector<int>& pens_by_key,
                  const PenInks& inks, Dither dither)
      : picture_(picture),
        map_(map),
        pens_by_key_(pens_by_key),
        dither_(dither),
        inks_(inks),
        nearest_(inks_),
        errors_(picture.width) {
    for (int i = 0; i < inks_.count(); ++i) {
      const Rgb& ink = inks_.Nominal(i);
      ink_lights_.push_back(Light{linear_[ink.red], linear_[ink.green], linear_[ink.blue], 0});
    }
  }

  // Floyd-Steinberg rows alternate direction (serpentine).
  void MapRow(int y, uint8_t* out) {
    const int width = picture_.width;
    const bool is_reversed = dither_ == Dither::kFloyd && y % 2 == 1;
    const int step = is_reversed ? -1 : 1;
    const uint8_t* row = picture_.rgba + static_cast<size_t>(y) * static_cast<size_t>(width) * 4;
    Light ahead{};
    for (int i = 0; i < width; ++i) {
      const int x = is_reversed ? width - 1 - i : i;
      MapPixel(row + static_cast<size_t>(x) * 4, x, y, step, out, ahead);
    }
    if (dither_ == Dither::kFloyd) {
      errors_.current.swap(errors_.next);
      std::fill(errors_.next.begin(), errors_.next.end(), Light{});
    }
  }

 private:
  // ahead: the error the pixel before passed on (Floyd-Steinberg).
  void MapPixel(const uint8_t* p, int x, int y, int step, uint8_t* out, Light& ahead) {
    if (picture_.IsTransparent(p)) {  // pen 0, no error taken or passed
      ahead = Light{};
      return;
    }
    const int key = ExactKey(map_.model, p[0], p[1], p[2]);
    if (key >= 0 && pens_by_key_[static_cast<size_t>(key)] >= 0 &&
        (map_.is_exact_under_dither || IsNominal(p))) {
      out[x] = static_cast<uint8_t>(pens_by_key_[static_cast<size_t>(key)]);
      ahead = Light{};
      return;
    }
    if (dither_ == Dither::kFloyd) {
      Diffuse(p, x, step, out, ahead);
      return;
    }
    uint8_t wanted[3];
    OrderedColour(p, x, y, wanted);
    out[x] = static_cast<uint8_t>(inks_.first_pen() + nearest_.IndexOf(wanted[0], wanted[1], wanted[2]));
  }

  // Floyd-Steinberg in linear light: the pixel's light with the error it
  // received takes the nearest ink, and passes on what that ink lacks.
  void Diffuse(const uint8_t* p, int x, int step, uint8_t* out, Light& ahead) {
    const Light light = {linear_[p[0]], linear_[p[1]], linear_[p[2]], 0};
    const Light wanted =
        Within(light + errors_.At(errors_.current, x) + ahead, -kLightReach, 1 + kLightReach);
    const int index = nearest_.IndexOfCell(cells_.CellOf(wanted));
    out[x] = static_cast<uint8_t>(inks_.first_pen() + index);
    SpreadError(errors_, x, step, wanted - ink_lights_[static_cast<size_t>(index)], ahead);
  }

  const PictureRef& picture_;
  const PenMap& map_;
  const std::vector<int>& pens_by_key_;
  const Dither dither_;
  const PenInks& inks_;
  DitherNearest nearest_;
  ErrorRows errors_;
  LightCells cells_;
  const float* const linear_ = LabTables().linear;
  std::vector<Light> ink_lights_;  // the inks' own, by index
};

// The mean error of a dithered picture from its pens: each opaque pixel's
// distance to its pen's ink, summed in the order the pixels were dithered
// (Floyd-Steinberg rows alternate direction) so that the total comes out the
// same to the last bit. A row is summed once the mapping has done it.
class DitheredError {
 public:
  DitheredError(const PictureRef& picture, const PenInks& inks, Dither dither)
      : picture_(picture), inks_(inks), dither_(dither) {}

  void AddRow(int y, const uint8_t* pens) {
    const int width = picture_.width;
    const bool is_reversed = dither_ == Dither::kFloyd && y % 2 == 1;
    const uint8_t* row = picture_.rgba + static_cast<size_t>(y) * static_cast<size_t>(width) * 4;
    for (int i = 0; i < width; ++i) {
      const int x = is_reversed ? width - 1 - i : i;
      const uint8_t* p = row + static_cast<size_t>(x) * 4;
      if (picture_.IsTransparent(p)) continue;
      ++opaque_;
      total_error_ += Distance(source_labs_.Of(p), inks_.LabOfInk(pens[x] - inks_.first_pen()));
    }
  }

  double MeanError() const { return opaque_ == 0 ? 0 : total_error_ / static_cast<double>(opaque_); }

 private:
  const PictureRef& picture_;
  const PenInks& inks_;
  const Dither dither_;
  RecentLabs source_labs_;
  double total_error_ = 0;
  uint64_t opaque_ = 0;
};

// A dithered picture's pens, and with counts_error its error summed on a
// second thread behind: the rows done so far, for it to wait on.
constexpr int kErrorBand = 64;

MappedPicture MapDithered(const PictureRef& picture, const PenMap& map, const std::vector<int>& pens_by_key,
                          Dither dither, bool counts_error) {
  const size_t width = static_cast<size_t>(picture.width);
  MappedPicture mapped;
  mapped.pens.assign(width * static_cast<size_t>(picture.height), 0);
  const PenInks inks(map);
  std::atomic<int> rows_done{0};
  auto pens = [&] {
    DitheredMapping mapping(picture, map, pens_by_key, inks, dither);
    for (int y = 0; y < picture.height; ++y) {
      mapping.MapRow(y, mapped.pens.data() + static_cast<size_t>(y) * width);
      // Told in bands of rows: a wake-up for every row would cost more than the row.
      if ((y + 1) % kErrorBand == 0 || y + 1 == picture.height) {
        rows_done.store(y + 1, std::memory_order_release);
        rows_done.notify_one();
      }
    }
  };
  auto error = [&] {
    if (!counts_error) return;
    DitheredError sum(picture, inks, dither);
    for (int y = 0; y < picture.height; ++y) {
      for (int done = rows_done.load(std::memory_order_acquire); done <= y;
           done = rows_done.load(std::memory_order_acquire))
        rows_done.wait(done, std::memory_order_acquire);
      sum.AddRow(y, mapped.pens.data() + static_cast<size_t>(y) * width);
    }
    mapped.mean_error = sum.MeanError();
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
