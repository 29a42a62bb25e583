#include "common/cpc_colours.h"

#include <gtest/gtest.h>

#include <set>

// The table against the rules it follows: firmware numbers in order, the
// firmware number from the channel levels, and 27 different Gate Array bytes
// in &40 to &5F.
TEST(CpcColours, TableFollowsTheLevelRuleAndHasOneByteEach) {
  std::set<int> bytes;
  for (int f = 0; f < kCpcColourCount; ++f) {
    const CpcColour& colour = CpcColours()[static_cast<size_t>(f)];
    EXPECT_EQ(colour.firmware, f);
    auto level = [](uint8_t channel) { return channel == 0 ? 0 : channel == 0x80 ? 1 : 2; };
    EXPECT_EQ(FirmwareOfLevels(level(colour.red), level(colour.green), level(colour.blue)), f) << colour.name;
    EXPECT_GE(colour.gate_byte, 0x40);
    EXPECT_LE(colour.gate_byte, 0x5F);
    bytes.insert(colour.gate_byte);
  }
  EXPECT_EQ(bytes.size(), 27u);
  EXPECT_EQ(CpcColours()[13].name, "White");
  EXPECT_EQ(CpcColours()[13].gate_byte, 0x40);
}
