// The number forms used in every console message and generated line, and the
// conversion of command-line number arguments. No other file formats numbers.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "common/refusal.h"

// " 160" for 160, "-5" for -5: one space before a value of 0 or more.
std::string SpacedDecimal(int64_t value);

// "160", "-5".
std::string PlainDecimal(int64_t value);

// PlainDecimal(value) written at out, for generators that write many numbers
// into one buffer: out has room for kLongestDecimal characters. Returns the
// end of what it wrote.
inline constexpr size_t kLongestDecimal = 20;  // "-9223372036854775808"
char* WritePlainDecimal(char* out, int64_t value);

// Upper-case hexadecimal, zero-padded on the left to min_digits and never cut
// when the value needs more; min_digits 0 gives the fewest digits ("0" for 0).
std::string Hex(uint64_t value, int min_digits = 0);

// The value of text written as digits of base (10, or 16 with A-F in either
// case) and nothing else: no sign, no blanks, no prefix. Values above highest
// are refused, and so are empty text and any other character; the refusal says
// which. The one digit reader of every number the programs take.
Checked<uint32_t> ParseDigits(std::string_view text, int base, uint32_t highest);

// A command-line number: optional sign, decimal digits, optional fraction
// rounded to the nearest integer (halves away from zero). Anything else,
// including empty text and surrounding blanks, gives 0. Values outside the
// 32-bit signed range are clamped to it.
int32_t ParseNumberArgument(std::string_view text);
