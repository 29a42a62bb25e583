#include "toolkit/sprites/sprite_code.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

SpritePixels Transparent() {
  SpritePixels pixels;
  pixels.fill(kLeaveAlone);
  return pixels;
}

// The lines between the set-up comment and the "ret".
std::vector<std::string> PixelLines(const SpriteCode& code) {
  std::vector<std::string> lines;
  bool is_inside = false;
  for (const std::string& line : code.lines) {
    if (line == "\tret") break;
    if (is_inside) lines.push_back(line);
    if (line == ";init is done, let's write pixels") is_inside = true;
  }
  return lines;
}

TEST(SpriteCode, WorkedExampleLineForLine) {
  SpritePixels pixels = Transparent();
  pixels[0] = 3;
  pixels[1] = 3;
  pixels[5] = 9;
  const SpriteCode code = GenerateSpriteCode(pixels, "x", kWithTotalTime);
  const std::vector<std::string> expected = {
      "update_x:",
      "\tdw 21 ;total time",
      "\txor A",
      "\tld BC,#0903",
      "\tld DE,#0102",
      ";init is done, let's write pixels",
      "\tld (HL),C ;L=0",
      "\tinc L",
      "\tld (HL),C ;L=1",
      "\tld L,5",
      "\tld (HL),B ;L=5",
      "\tret",
      "; sprite size =6 bytes - 256LDI=512",
      "; sprite time =9 nops  - 256LDI=1280",
      "; extra  time =12 nops",
      "; timing & sizing are init/ret excluding",
  };
  EXPECT_EQ(code.lines, expected);
  EXPECT_EQ(code.registers, (RegisterColours{0, 9, 3, 1, 2}));
}

TEST(SpriteCode, WithoutTotalTimeTheLabelLeadsAndNoWord) {
  const SpriteCode code = GenerateSpriteCode(Transparent(), "dir/ship", 0);
  ASSERT_GE(code.lines.size(), 2u);
  EXPECT_EQ(code.lines[0], "update_dir/ship:");
  EXPECT_EQ(code.lines[1], "\txor A");
  EXPECT_EQ(code.lines.size(), 10u);
}

TEST(SpriteCode, SingleColourSprite) {
  SpritePixels pixels;
  pixels.fill(5);
  const SpriteCode code = GenerateSpriteCode(pixels, "x", kWithTotalTime);
  EXPECT_EQ(code.registers, (RegisterColours{0, 5, 1, 2, 3}));
  EXPECT_EQ(code.size_bytes, 511);
  EXPECT_EQ(code.time_nops, 767);
  EXPECT_EQ(code.extra_time_nops, 12);
  const std::vector<std::string> body = PixelLines(code);
  ASSERT_EQ(body.size(), 511u);
  EXPECT_EQ(body[0], "\tld (HL),B ;L=0");
  EXPECT_EQ(body[1], "\tinc L");
  EXPECT_EQ(body[510], "\tld (HL),B ;L=255");
  EXPECT_EQ(code.lines[1], "\tdw 779 ;total time");
}

TEST(SpriteCode, RegisterChoiceCountsTiesAndColourZero) {
  struct Case {
    std::vector<std::pair<uint8_t, int>> uses;  // pen, pixel count
    RegisterColours expected;
  };
  const Case cases[] = {
      // Ties go to the lower pen; unused pens fill up, lowest first; pen 0
      // then moves into A and A's pen takes its slot.
      {{{7, 4}, {12, 4}, {9, 4}}, {0, 9, 12, 7, 1}},
      // Pen 0 among the five goes to A and its slot takes A's pen.
      {{{6, 9}, {4, 8}, {0, 7}, {2, 6}, {3, 5}, {1, 1}}, {0, 4, 6, 2, 3}},
      // Pen 0 not used by six busier pens: A keeps the busiest.
      {{{6, 9}, {4, 8}, {8, 7}, {2, 6}, {3, 5}, {1, 4}}, {6, 4, 8, 2, 3}},
      // Values 16 to 254 count as their low four bits; 255 is not counted.
      {{{0x1A, 3}, {0xFA, 2}, {255, 200}}, {0, 10, 1, 2, 3}},
  };
  for (const Case& c : cases) {
    SpritePixels pixels = Transparent();
    int p = 0;
    for (const auto& [pen, count] : c.uses) {
      for (int k = 0; k < count; ++k) pixels[p++] = pen;
    }
    EXPECT_EQ(PickRegisterColours(pixels), c.expected) << "first pen " << int(c.uses[0].first);
  }
}

TEST(SpriteCode, StoresPickRegisterThenLThenImmediate) {
  // Five busy pens (2 the busiest, then 1, 3, 4, 5) take the registers.
  SpritePixels pixels = Transparent();
  for (int p = 100; p < 150; ++p) pixels[p] = static_cast<uint8_t>(1 + p % 5);
  pixels[0] = 0x26;   // pen 6 at L=0: immediate
  pixels[22] = 0x36;  // pen 6 at L=22 (low bits 6): L itself
  pixels[23] = 0xF7;  // pen 7 at L=23: L itself
  pixels[30] = 2;     // a register pen
  pixels[254] = 9;    // pen 9 at L=254: immediate
  const SpriteCode code = GenerateSpriteCode(pixels, "x", kWithTotalTime);
  EXPECT_EQ(code.registers, (RegisterColours{2, 1, 3, 4, 5}));
  EXPECT_EQ(code.lines[2], "\tld A,#2");
  const std::vector<std::string> body = PixelLines(code);
  const std::vector<std::string> expected_start = {
      "\tld (HL),#6 ;L=0",
      "\tld L,22",
      "\tld (HL),L ;special case with varying L ;L=22",
      "\tinc L",
      "\tld (HL),L ;special case with varying L ;L=23",
      "\tld L,30",
      "\tld (HL),A ;L=30",
      "\tld L,100",
      "\tld (HL),B ;L=100",
  };
  ASSERT_GT(body.size(), expected_start.size());
  EXPECT_EQ(std::vector<std::string>(body.begin(), body.begin() + 9), expected_start);
  EXPECT_EQ(body[body.size() - 2], "\tld L,254");
  EXPECT_EQ(body.back(), "\tld (HL),#9 ;L=254");
}

TEST(SpriteCode, FirstMoveDependsOnFirstVisiblePixel) {
  for (const int first : {0, 1, 2, 200}) {
    SpritePixels pixels = Transparent();
    pixels[first] = 4;
    const std::vector<std::string> body = PixelLines(GenerateSpriteCode(pixels, "x", kWithTotalTime));
    // Pen 4 is the busiest, then 0 moves into A and 4 takes B.
    const std::string store = "\tld (HL),B ;L=" + std::to_string(first);
    if (first == 0) {
      EXPECT_EQ(body, std::vector<std::string>{store});
    } else if (first == 1) {
      EXPECT_EQ(body, (std::vector<std::string>{"\tinc L", store}));
    } else {
      EXPECT_EQ(body, (std::vector<std::string>{"\tld L," + std::to_string(first), store}));
    }
  }
}

}  // namespace
