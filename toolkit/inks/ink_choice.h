// Choosing a picture's inks: which colours count as exactly a CPC ink (the
// tolerance bands), the picture's colour counts, and the choice of the N inks
// that minimise the total distance over all pixels. Plain records in, plain
// records out; the same input always gives the same choice.
#pragma once

#include <cstdint>
#include <optional>
#include <vector>

#include "toolkit/inks/colour_space.h"

// The two palettes a pen can take its colour from: the Gate Array's 27
// colours, keyed by firmware number, or the CPC+ ASIC's 4096, keyed by
// red << 8 | green << 4 | blue in 4-bit levels.
enum class ColourModel { kFirmware, kPlus };

// The level of a channel in the tolerance bands: &00-&1F off (0), &60-&9F
// half (1), &E0-&FF full (2), otherwise none (-1). Art drawn for the CPC uses
// anything from about &60 to &80 for half.
constexpr int BandLevel(uint8_t channel) {
  if (channel <= 0x1F) return 0;
  if (channel >= 0x60 && channel <= 0x9F) return 1;
  if (channel >= 0xE0) return 2;
  return -1;
}

namespace ink_tables {

// Per channel value: 9, 3 and 1 times its band level for green, red and
// blue (a sum below 0 when any is out of bands), and its CPC+ level.
struct ChannelTables {
  int red[256];
  int green[256];
  int blue[256];
  int plus[256];
};

constexpr ChannelTables MakeChannelTables() {
  ChannelTables t{};
  for (int c = 0; c < 256; ++c) {
    const int level = BandLevel(static_cast<uint8_t>(c));
    t.red[c] = level < 0 ? -1000 : 3 * level;
    t.green[c] = level < 0 ? -1000 : 9 * level;
    t.blue[c] = level < 0 ? -1000 : level;
    t.plus[c] = (c + 8) / 17;
  }
  return t;
}

inline constexpr ChannelTables kChannels = MakeChannelTables();

}  // namespace ink_tables

// The key of the ink a colour IS, or -1: for the 27 colours, the firmware
// number when all three channels fall in bands; for CPC+, every colour is its
// levels round(channel / 17).
inline int ExactKey(ColourModel model, uint8_t red, uint8_t green, uint8_t blue) {
  const ink_tables::ChannelTables& t = ink_tables::kChannels;
  if (model == ColourModel::kPlus) return t.plus[red] << 8 | t.plus[green] << 4 | t.plus[blue];
  const int key = t.red[red] + t.green[green] + t.blue[blue];
  return key < 0 ? -1 : key;
}

// The nominal colour of a key: 0, &80, &FF a channel for the 27 colours; each
// 4-bit level times 17 for CPC+.
Rgb NominalColour(ColourModel model, int key);

// The picture the cores work on: 8-bit RGBA, rows from the top. A pixel is
// transparent when its alpha is below 128 or, when has_key, its colour is key.
struct PictureRef {
  int width = 0;
  int height = 0;
  const uint8_t* rgba = nullptr;
  bool has_key = false;
  Rgb key;

  bool IsTransparent(const uint8_t* pixel) const {
    return pixel[3] < 128 ||
           (has_key && pixel[0] == key.red && pixel[1] == key.green && pixel[2] == key.blue);
  }
};

// Whether the tolerance bands still hold under a dither. They are for art
// drawn in CPC colours: such art has few distinct colours in the bands, at
// most one per CPC colour, while a photograph, a gradient or a texture has
// many (a grey texture within &60-&9F has up to 64 greys, which the bands
// would make one flat ink). So the bands hold when the picture's opaque
// pixels that lie in the bands have at most kArtColourLimit distinct colours;
// past that, every pixel is dithered but one of exactly an ink's colour.
// CPC+ colours always hold: each is exactly its 12-bit levels.
inline constexpr size_t kArtColourLimit = 27;
bool BandsHoldUnderDither(const PictureRef& picture, ColourModel model);

struct WeightedColour {
  Rgb colour;
  uint64_t weight = 0;
};

// The largest number of distinct colours counted one by one.
inline constexpr size_t kExactHistogramLimit = 4096;

// The opaque pixels' colours and how many pixels have each, every colour that
// IS an ink (ExactKey) counted as that ink's nominal colour, in order of first
// appearance. A picture of more than kExactHistogramLimit such colours is
// counted instead in 4096 cells (4 bits a channel), each given the mean colour
// of its pixels: the choice below then works on those means.
std::vector<WeightedColour> CountColours(const PictureRef& picture, ColourModel model);

// The indices of the n candidates that minimise the sum over entries of
// weight times the distance to the nearest chosen candidate, ascending.
// When the entries' nearest candidates number n or fewer, those. Otherwise
// every n-subset when there are few enough (C(candidates, n) x entries at
// most 2^27: modes 1 and 2 among the 27 colours), else a greedy choice (one
// candidate at a time, the one that lowers the sum most) improved by swaps
// (replace a chosen candidate by another while the sum drops) until none
// helps or 16 passes are done. Ties go to the lower index.
std::vector<int> ChooseCandidates(const std::vector<Lab>& candidates, const std::vector<Lab>& entries,
                                  const std::vector<uint64_t>& weights, int n);

// The keys of the n (or fewer) inks for the counted colours, ascending. The
// 27 colours: candidates are all 27. CPC+: candidates are the picture's own
// 12-bit colours, the 512 most frequent when it has more (ties to the lower
// key), so that a picture of at most n of them gets exactly those.
std::vector<int> ChooseInkKeys(const std::vector<WeightedColour>& colours, ColourModel model, int n);
