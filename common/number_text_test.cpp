#include "common/number_text.h"

#include <gtest/gtest.h>

TEST(NumberText, DecimalForms) {
  EXPECT_EQ(SpacedDecimal(160), " 160");
  EXPECT_EQ(SpacedDecimal(0), " 0");
  EXPECT_EQ(SpacedDecimal(-1), "-1");
  EXPECT_EQ(PlainDecimal(311), "311");
  EXPECT_EQ(PlainDecimal(-42), "-42");
  EXPECT_EQ(PlainDecimal(0), "0");
  for (const int64_t value : {int64_t{0}, int64_t{-42}, int64_t{1} << 40, INT64_MIN, INT64_MAX}) {
    char text[kLongestDecimal];
    EXPECT_EQ(std::string(text, WritePlainDecimal(text, value)), PlainDecimal(value));
  }
}

TEST(NumberText, HexPadsButNeverTruncates) {
  EXPECT_EQ(Hex(0), "0");
  EXPECT_EQ(Hex(0xC), "C");
  EXPECT_EQ(Hex(0x7, 2), "07");
  EXPECT_EQ(Hex(0x70C, 4), "070C");
  EXPECT_EQ(Hex(0x12345, 2), "12345");
  EXPECT_EQ(Hex(0xFF, 2), "FF");
  EXPECT_EQ(Hex(0, 4), "0000");
}

TEST(NumberText, CommandLineNumbers) {
  const struct {
    const char* text;
    int32_t value;
  } cases[] = {
      {"0", 0},          {"5", 5},          {"+7", 7},          {"-12", -12},       {"240", 240},
      {"2.4", 2},        {"2.5", 3},        {"2.49999", 2},     {"-2.5", -3},       {"-2.4", -2},
      {"7.", 7},         {".6", 1},         {"-.5", -1},        {"0.5", 1},         {"x", 0},
      {"", 0},           {"-", 0},          {"+", 0},           {".", 0},           {"12abc", 0},
      {" 5", 0},         {"5 ", 0},         {"1e3", 0},         {"0x10", 0},        {"1.2.3", 0},
      {"2147483647", 2147483647},           {"2147483648", 2147483647},             {"-2147483648", -2147483647 - 1},
      {"-2147483649", -2147483647 - 1},     {"99999999999999999999999", 2147483647},
      {"2147483646.5", 2147483647},         {"007", 7},
  };
  for (const auto& c : cases) EXPECT_EQ(ParseNumberArgument(c.text), c.value) << "text: '" << c.text << "'";
}
