#include "toolkit/image_ops/plus_palette.h"

#include <gtest/gtest.h>

#include <array>

namespace {

Rgb Colour(int red, int green, int blue) {
  return {static_cast<uint8_t>(red), static_cast<uint8_t>(green), static_cast<uint8_t>(blue)};
}

}  // namespace

TEST(PlusPalette, LinesFromEntryZero) {
  Palette palette{};
  palette[1] = Colour(255, 0, 0);
  palette[2] = Colour(0, 255, 0);
  palette[3] = Colour(0, 0, 255);
  palette[4] = Colour(16, 16, 16);
  palette[5] = Colour(17, 34, 51);
  palette[6] = Colour(254, 254, 254);
  palette[15] = Colour(255, 255, 255);
  palette[16] = Colour(255, 255, 255);  // beyond the sixteen exported
  const std::vector<std::string> expected = {
      "db    #00,#00 ; 0",  "db    #F0,#00 ; 1",  "db    #00,#0F ; 2",  "db    #0F,#00 ; 3",
      "db    #00,#00 ; 4",  "db    #13,#02 ; 5",  "db    #EE,#0E ; 6",  "db    #00,#00 ; 7",
      "db    #00,#00 ; 8",  "db    #00,#00 ; 9",  "db    #00,#00 ; 10", "db    #00,#00 ; 11",
      "db    #00,#00 ; 12", "db    #00,#00 ; 13", "db    #00,#00 ; 14", "db    #FF,#0F ; 15",
  };
  EXPECT_EQ(PlusPaletteLines(palette, 0), expected);
}
