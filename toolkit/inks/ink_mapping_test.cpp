#include "toolkit/inks/ink_mapping.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <set>
#include <vector>

namespace {

// A picture of width x height pixels of one colour.
std::vector<uint8_t> Flat(int width, int height, Rgb colour, uint8_t alpha = 255) {
  std::vector<uint8_t> rgba;
  for (int i = 0; i < width * height; ++i)
    rgba.insert(rgba.end(), {colour.red, colour.green, colour.blue, alpha});
  return rgba;
}

std::set<uint8_t> PensIn(const MappedPicture& mapped) { return {mapped.pens.begin(), mapped.pens.end()}; }

const Dither kDithers[] = {Dither::kNone, Dither::kFloyd, Dither::kOrdered};

}  // namespace

TEST(InkMapping, FlatInkAreasStayOneInkUnderEveryDither) {
  // Drawn at &6E for half: White (13) exactly, between Black and Bright White.
  const std::vector<uint8_t> rgba = Flat(16, 16, {0x6E, 0x6E, 0x6E});
  const PictureRef picture{16, 16, rgba.data(), false, {}};
  const PenMap map{ColourModel::kFirmware, {0, 13, 26}, 0};
  for (const Dither dither : kDithers) {
    const MappedPicture mapped = MapToPens(picture, map, dither);
    EXPECT_EQ(PensIn(mapped), std::set<uint8_t>{1});
    // Its own pen, yet its distance to White's nominal &80 grey counts.
    EXPECT_NEAR(mapped.mean_error, Distance(LabOf(0x6E, 0x6E, 0x6E), LabOf(0x80, 0x80, 0x80)), 0.001);
  }
}

TEST(InkMapping, MidGreyDithersBetweenTwoInks) {
  // &B0 is no CPC level: without dithering all one ink, dithered both.
  const std::vector<uint8_t> rgba = Flat(16, 16, {0xB0, 0xB0, 0xB0});
  const PictureRef picture{16, 16, rgba.data(), false, {}};
  const PenMap map{ColourModel::kFirmware, {0, 26}, 0};
  EXPECT_EQ(PensIn(MapToPens(picture, map, Dither::kNone)), std::set<uint8_t>{1});
  for (const Dither dither : {Dither::kFloyd, Dither::kOrdered}) {
    const MappedPicture mapped = MapToPens(picture, map, dither);
    EXPECT_EQ(PensIn(mapped), (std::set<uint8_t>{0, 1}));
    const auto white = std::count(mapped.pens.begin(), mapped.pens.end(), 1);
    if (dither == Dither::kFloyd) {
      // The eye mixes the inks as light: white takes &B0's share of white's
      // light (0.43), not the share of its 8-bit level (0.69).
      EXPECT_NEAR(static_cast<double>(white) / 256, LinearOf(0xB0), 0.04);
    } else {
      // The ordered dither's offsets work on the level: mostly white.
      EXPECT_GT(white, 128);
      EXPECT_LT(white, 256);
    }
    EXPECT_GT(mapped.mean_error, 0);
  }
}

TEST(InkMapping, TransparentPixelsTakePenZeroAndNearestInkOtherwise) {
  std::vector<uint8_t> rgba = {0xFF, 0x00, 0xFF, 0x10,   // alpha below 128
                               0xFF, 0x00, 0xFF, 0xFF,   // the key colour
                               0x00, 0x00, 0x00, 0xFF,   // black, an ink: its own pen
                               0xC0, 0x20, 0x28, 0xFF};  // no ink: the nearest, Bright Red
  const PictureRef picture{4, 1, rgba.data(), true, {0xFF, 0x00, 0xFF}};
  const PenMap map{ColourModel::kFirmware, {0, 6, 26}, 1};
  const MappedPicture mapped = MapToPens(picture, map, Dither::kNone);
  EXPECT_EQ(mapped.pens, (std::vector<uint8_t>{0, 0, 1, 2}));
  EXPECT_GT(mapped.mean_error, 0);
  // Strict: the first pixel that is not one of the inks.
  const std::optional<StrictFault> fault = FirstStrictFault(picture, map);
  ASSERT_TRUE(fault);
  EXPECT_EQ(fault->x, 3);
  EXPECT_EQ(fault->colour, (Rgb{0xC0, 0x20, 0x28}));
  EXPECT_FALSE(fault->is_cpc_colour);
  rgba[12] = 0x80;  // now Red (3), a CPC colour but not one of the inks
  rgba[13] = 0x00;
  rgba[14] = 0x00;
  EXPECT_TRUE(FirstStrictFault(picture, map)->is_cpc_colour);
  rgba[12] = 0xF0;
  EXPECT_FALSE(FirstStrictFault(picture, map).has_value());
}

// The ordered dither's 4 x 4 Bayer matrix, as the dithering literature gives
// it: a flat grey between two inks turns the cells of the highest thresholds
// to the lighter ink first, so at every grey the light cells are exactly
// those above some threshold, tiled across the picture.
TEST(InkMapping, OrderedDitherFollowsTheBayerMatrix) {
  constexpr int kBayer[4][4] = {{0, 8, 2, 10}, {12, 4, 14, 6}, {3, 11, 1, 9}, {15, 7, 13, 5}};
  const PenMap map{ColourModel::kFirmware, {0, 26}, 0};
  std::set<int> light_counts;
  for (int grey = 0; grey < 256; ++grey) {
    const std::vector<uint8_t> rgba =
        Flat(8, 8, {static_cast<uint8_t>(grey), static_cast<uint8_t>(grey), static_cast<uint8_t>(grey)});
    const MappedPicture mapped = MapToPens(PictureRef{8, 8, rgba.data(), false, {}}, map, Dither::kOrdered);
    const int light = static_cast<int>(std::count(mapped.pens.begin(), mapped.pens.end(), 1)) / 4;
    light_counts.insert(light);
    for (int y = 0; y < 8; ++y) {
      for (int x = 0; x < 8; ++x) {
        const bool is_light = kBayer[y % 4][x % 4] >= 16 - light;
        EXPECT_EQ(mapped.pens[static_cast<size_t>(y * 8 + x)], is_light ? 1 : 0) << "grey " << grey;
      }
    }
  }
  // Every threshold was reached: the whole order of the matrix was seen.
  EXPECT_EQ(light_counts.size(), 17u);
}

// Without dither colours are worked out several at once (CIELAB and the
// search of the inks side by side in vector lanes): on colours across the
// whole cube, each must take the nearest of all the inks, ties to the lower
// pen, and the error must be the one a colour-by-colour sum gives exactly.
TEST(InkMapping, UnditheredColoursTakeTheNearestOfAllInks) {
  std::vector<uint8_t> rgba;
  for (int r = 0; r < 256; r += 4)
    for (int g = 0; g < 256; g += 5)
      for (int b = 0; b < 256; b += 3) rgba.insert(rgba.end(), {uint8_t(r), uint8_t(g), uint8_t(b), 255});
  const int count = static_cast<int>(rgba.size() / 4);
  const PictureRef picture{count, 1, rgba.data(), false, {}};
  const PenMap map{ColourModel::kFirmware, {0, 1, 2, 3, 5, 6, 9, 11, 13, 14, 16, 18, 20, 22, 24, 25}, 0};
  const MappedPicture mapped = MapToPens(picture, map, Dither::kNone);
  std::vector<Lab> inks;
  for (const int key : map.opaque_keys) inks.push_back(LabOf(NominalColour(map.model, key)));
  int wrong = 0;
  long thousandths = 0;
  for (int i = 0; i < count; ++i) {
    const uint8_t* p = rgba.data() + static_cast<size_t>(i) * 4;
    const Lab lab = LabOf(p[0], p[1], p[2]);
    const int key = ExactKey(ColourModel::kFirmware, p[0], p[1], p[2]);
    const auto own = std::find(map.opaque_keys.begin(), map.opaque_keys.end(), key);
    size_t best = static_cast<size_t>(own - map.opaque_keys.begin());
    for (size_t k = 0; own == map.opaque_keys.end() && k < inks.size(); ++k) {
      if (k == 0 || DistanceSquared(lab, inks[k]) < DistanceSquared(lab, inks[best])) best = k;
    }
    wrong += mapped.pens[static_cast<size_t>(i)] != best;
    thousandths += std::lround(Distance(lab, inks[best]) * 1000);
  }
  EXPECT_EQ(wrong, 0);
  EXPECT_EQ(mapped.mean_error, static_cast<double>(thousandths) / 1000.0 / count);
}
