#include "common/cpc_colours.h"

#include <gtest/gtest.h>

#include <string_view>

namespace {

// The Gate Array's colours as the CPC's hardware documentation gives them,
// written out here apart from the code: firmware number, the byte sent to
// port &7Fxx, the name and the nominal colour. Two swapped bytes would set
// the wrong ink in every generated "gate_" line.
struct Documented {
  int firmware;
  uint8_t gate_byte;
  std::string_view name;
  uint8_t red;
  uint8_t green;
  uint8_t blue;
};

constexpr Documented kDocumented[kCpcColourCount] = {
    {0, 0x54, "Black", 0, 0, 0},
    {1, 0x44, "Blue", 0, 0, 128},
    {2, 0x55, "Bright Blue", 0, 0, 255},
    {3, 0x5C, "Red", 128, 0, 0},
    {4, 0x58, "Magenta", 128, 0, 128},
    {5, 0x5D, "Mauve", 128, 0, 255},
    {6, 0x4C, "Bright Red", 255, 0, 0},
    {7, 0x45, "Purple", 255, 0, 128},
    {8, 0x4D, "Bright Magenta", 255, 0, 255},
    {9, 0x56, "Green", 0, 128, 0},
    {10, 0x46, "Cyan", 0, 128, 128},
    {11, 0x57, "Sky Blue", 0, 128, 255},
    {12, 0x5E, "Yellow", 128, 128, 0},
    {13, 0x40, "White", 128, 128, 128},
    {14, 0x5F, "Pastel Blue", 128, 128, 255},
    {15, 0x4E, "Orange", 255, 128, 0},
    {16, 0x47, "Pink", 255, 128, 128},
    {17, 0x4F, "Pastel Magenta", 255, 128, 255},
    {18, 0x52, "Bright Green", 0, 255, 0},
    {19, 0x42, "Sea Green", 0, 255, 128},
    {20, 0x53, "Bright Cyan", 0, 255, 255},
    {21, 0x5A, "Lime", 128, 255, 0},
    {22, 0x59, "Pastel Green", 128, 255, 128},
    {23, 0x5B, "Pastel Cyan", 128, 255, 255},
    {24, 0x4A, "Bright Yellow", 255, 255, 0},
    {25, 0x43, "Pastel Yellow", 255, 255, 128},
    {26, 0x4B, "Bright White", 255, 255, 255},
};

}  // namespace

TEST(CpcColours, EveryEntryIsTheDocumentedOne) {
  for (const Documented& expected : kDocumented) {
    const CpcColour& colour = CpcColours()[static_cast<size_t>(expected.firmware)];
    EXPECT_EQ(colour.firmware, expected.firmware) << expected.name;
    EXPECT_EQ(colour.gate_byte, expected.gate_byte) << expected.name;
    EXPECT_EQ(colour.name, expected.name);
    EXPECT_EQ(colour.red, expected.red) << expected.name;
    EXPECT_EQ(colour.green, expected.green) << expected.name;
    EXPECT_EQ(colour.blue, expected.blue) << expected.name;
  }
}
