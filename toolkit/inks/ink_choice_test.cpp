#include "toolkit/inks/ink_choice.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

// An RGBA picture of one row.
struct Row {
  std::vector<uint8_t> rgba;
  void Add(uint8_t r, uint8_t g, uint8_t b, int count = 1, uint8_t alpha = 255) {
    for (int i = 0; i < count; ++i) rgba.insert(rgba.end(), {r, g, b, alpha});
  }
  PictureRef Ref() const { return {static_cast<int>(rgba.size() / 4), 1, rgba.data(), false, {}}; }
};

}  // namespace

TEST(ColourSpace, KnownCielabValuesAndTheDarkBlueCase) {
  const Lab white = LabOf(255, 255, 255);
  EXPECT_NEAR(white.l, 100, 0.01);
  EXPECT_NEAR(white.a, 0, 0.01);
  EXPECT_NEAR(white.b, 0, 0.01);
  const Lab red = LabOf(255, 0, 0);
  EXPECT_NEAR(red.l, 53.24, 0.02);
  EXPECT_NEAR(red.a, 80.09, 0.05);
  EXPECT_NEAR(red.b, 67.20, 0.05);
  EXPECT_NEAR(LabOf(0, 0, 0).l, 0, 0.001);
  // A dark grey-blue: RGB distance finds Blue (0,0,128) nearer than Black, the
  // eye and CIELAB see a near-black.
  const Lab navy = LabOf(0x20, 0x20, 0x40);
  EXPECT_LT(Distance(navy, LabOf(0, 0, 0)), Distance(navy, LabOf(0, 0, 128)));
}

TEST(InkChoice, BandsAndExactKeys) {
  const std::pair<uint8_t, int> levels[] = {{0x00, 0}, {0x1F, 0},  {0x20, -1}, {0x5F, -1}, {0x60, 1},
                                            {0x9F, 1}, {0xA0, -1}, {0xDF, -1}, {0xE0, 2},  {0xFF, 2}};
  for (const auto& [channel, level] : levels) EXPECT_EQ(BandLevel(channel), level) << int{channel};
  // Each usual half level is White (13) in grey.
  for (const uint8_t half : {0x60, 0x6E, 0x77, 0x7F, 0x80}) {
    EXPECT_EQ(ExactKey(ColourModel::kFirmware, half, half, half), 13);
  }
  EXPECT_EQ(ExactKey(ColourModel::kFirmware, 0xF0, 0x70, 0x10), 15);  // Orange
  EXPECT_EQ(ExactKey(ColourModel::kFirmware, 0xF0, 0xB0, 0x10), -1);
  EXPECT_EQ(ExactKey(ColourModel::kPlus, 0xF8, 0x80, 0x08), 0xF80);
  EXPECT_EQ(NominalColour(ColourModel::kPlus, 0xF80), (Rgb{0xFF, 0x88, 0x00}));
  EXPECT_EQ(NominalColour(ColourModel::kFirmware, 15), (Rgb{0xFF, 0x80, 0x00}));
}

// Under a dither the bands hold up to 27 distinct colours in them; colours
// out of the bands and transparent pixels do not count, CPC+ always holds.
TEST(InkChoice, BandsHoldUnderADitherForFewColoursInThem) {
  Row row;
  for (uint8_t grey = 0x60; grey < 0x60 + kArtColourLimit; ++grey) row.Add(grey, grey, grey, 2);
  row.Add(0xB0, 0xB0, 0xB0);
  row.Add(0xFF, 0xFF, 0xFF, 1, 0);
  EXPECT_TRUE(BandsHoldUnderDither(row.Ref(), ColourModel::kFirmware));
  row.Add(0xE0, 0xE0, 0xE0);
  EXPECT_FALSE(BandsHoldUnderDither(row.Ref(), ColourModel::kFirmware));
  EXPECT_TRUE(BandsHoldUnderDither(row.Ref(), ColourModel::kPlus));
}

TEST(InkChoice, CountsMergeInkColoursAndSkipTransparentPixels) {
  Row row;
  row.Add(0x6E, 0x6E, 0x6E, 2);
  row.Add(0x80, 0x80, 0x80);
  row.Add(0xB0, 0x40, 0x40);
  row.Add(0x80, 0x80, 0x80, 5, 0);  // transparent
  const std::vector<WeightedColour> counts = CountColours(row.Ref(), ColourModel::kFirmware);
  ASSERT_EQ(counts.size(), 2u);
  EXPECT_EQ(counts[0].colour, (Rgb{0x80, 0x80, 0x80}));
  EXPECT_EQ(counts[0].weight, 3u);
  EXPECT_EQ(counts[1].colour, (Rgb{0xB0, 0x40, 0x40}));
  // Past the limit of distinct colours, 4-bit cells with their mean colours.
  Row many;
  for (int i = 0; i < 5000; ++i) {
    many.Add(static_cast<uint8_t>(0x20 + i % 16), static_cast<uint8_t>(i / 16 % 256),
             static_cast<uint8_t>(0x30 + i / 4096));
  }
  const std::vector<WeightedColour> cells = CountColours(many.Ref(), ColourModel::kFirmware);
  uint64_t total = 0;
  for (const WeightedColour& c : cells) total += c.weight;
  EXPECT_EQ(total, 5000u);
  EXPECT_LE(cells.size(), 4096u);
  // Cell 2,0,3 (red &20-&2F, green &00-&0F, blue &30-&3F): pixels 0-255 and 4096-4351.
  EXPECT_EQ(cells[0].colour, (Rgb{0x28, 0x08, 0x31}));
  EXPECT_EQ(cells[0].weight, 512u);
}

TEST(InkChoice, FrequentInksWinOverRareOnes) {
  // Mode 1 (4 pens, exhaustive) and mode 0 (16 pens, greedy and swaps): the
  // picture needs three inks more than the pens, each of them on one pixel.
  for (const int pens : {4, 16}) {
    Row row;
    std::vector<int> frequent;
    for (int f = 0; f < pens + 3; ++f) {
      const int key = (f * 5) % 27;  // spread over the 27
      const Rgb colour = NominalColour(ColourModel::kFirmware, key);
      row.Add(colour.red, colour.green, colour.blue, f < pens ? 50 + f : 1);
      if (f < pens) frequent.push_back(key);
    }
    std::sort(frequent.begin(), frequent.end());
    EXPECT_EQ(ChooseInkKeys(CountColours(row.Ref(), ColourModel::kFirmware), ColourModel::kFirmware, pens),
              frequent)
        << pens;
  }
}

TEST(InkChoice, ExhaustiveSearchFindsWhatGreedyMisses) {
  // Greedy would take the middle entry first; two pens are best at the ends.
  const std::vector<Lab> candidates = {{0, 0, 0}, {50, 0, 0}, {100, 0, 0}};
  const std::vector<Lab> entries = {{0, 0, 0}, {50, 0, 0}, {100, 0, 0}};
  EXPECT_EQ(ChooseCandidates(candidates, entries, {10, 1, 10}, 2), (std::vector<int>{0, 2}));
  EXPECT_EQ(ChooseCandidates(candidates, entries, {1, 10, 10}, 2), (std::vector<int>{1, 2}));
  EXPECT_EQ(ChooseCandidates(candidates, entries, {1, 1, 1}, 5), (std::vector<int>{0, 1, 2}));
}

// Too many candidates for every subset: the greedy choice and its swaps sum
// candidates' costs several at once. Each candidate comes twice, side by side,
// so that ties fall between neighbours summed together: the lower must win.
TEST(InkChoice, GreedyTiesGoToTheLowerCandidate) {
  std::vector<Lab> candidates;
  std::vector<Lab> entries;
  std::vector<uint64_t> weights;
  for (int i = 0; i < 20; ++i) {
    const Lab point{5.0f * i, static_cast<float>(i * 37 % 50 - 25), static_cast<float>(i * 53 % 60 - 30)};
    candidates.insert(candidates.end(), {point, point});
    entries.push_back(point);
    weights.push_back(static_cast<uint64_t>(i % 7 + 1));
  }
  const std::vector<int> chosen = ChooseCandidates(candidates, entries, weights, 16);
  ASSERT_EQ(chosen.size(), 16u);
  for (const int c : chosen) EXPECT_EQ(c % 2, 0) << c;
}

TEST(InkChoice, PlusQuantiserIsExactUpToThePenCount) {
  Row row;
  const uint8_t levels[] = {0x00, 0x11, 0x22, 0x33, 0x44, 0x55};
  for (int i = 0; i < 6; ++i) row.Add(levels[i], 0xFF, static_cast<uint8_t>(0xEE - levels[i]), 3 + i);
  const std::vector<WeightedColour> counts = CountColours(row.Ref(), ColourModel::kPlus);
  EXPECT_EQ(ChooseInkKeys(counts, ColourModel::kPlus, 16),
            (std::vector<int>{0x0FE, 0x1FD, 0x2FC, 0x3FB, 0x4FA, 0x5F9}));
  // Fewer pens than colours: the picture's own colours, the frequent ones kept.
  const std::vector<int> four = ChooseInkKeys(counts, ColourModel::kPlus, 4);
  ASSERT_EQ(four.size(), 4u);
  EXPECT_EQ(four.back(), 0x5F9);
  for (const int key : four) EXPECT_EQ(key & 0x0F0, 0x0F0);
  // A gradient of many colours: 16 distinct keys, the same on every run.
  Row ramp;
  for (int i = 0; i < 1500; ++i)
    ramp.Add(static_cast<uint8_t>(i % 256), static_cast<uint8_t>(i / 16), static_cast<uint8_t>(i * 7));
  const std::vector<WeightedColour> ramp_counts = CountColours(ramp.Ref(), ColourModel::kPlus);
  const std::vector<int> sixteen = ChooseInkKeys(ramp_counts, ColourModel::kPlus, 16);
  EXPECT_EQ(sixteen.size(), 16u);
  EXPECT_TRUE(std::is_sorted(sixteen.begin(), sixteen.end()));
  EXPECT_EQ(ChooseInkKeys(ramp_counts, ColourModel::kPlus, 16), sixteen);
}
