#include "common/number_text.h"

#include <algorithm>
#include <charconv>
#include <limits>

std::string SpacedDecimal(int64_t value) {
  std::string text = value < 0 ? "" : " ";
  text += PlainDecimal(value);
  return text;
}

std::string PlainDecimal(int64_t value) { return std::to_string(value); }

char* WritePlainDecimal(char* out, int64_t value) {
  return std::to_chars(out, out + kLongestDecimal, value).ptr;
}

std::string Hex(uint64_t value, int min_digits) {
  static constexpr char kDigits[] = "0123456789ABCDEF";
  std::string reversed;
  do {
    reversed.push_back(kDigits[value & 15]);
    value >>= 4;
  } while (value != 0);
  while (static_cast<int>(reversed.size()) < min_digits) reversed.push_back('0');
  return std::string(reversed.rbegin(), reversed.rend());
}

namespace {

// The value of digit c in base, or -1 when c is not one of its digits.
int DigitValue(char c, int base) {
  int value = base;
  if (c >= '0' && c <= '9') value = c - '0';
  if (c >= 'a' && c <= 'f') value = c - 'a' + 10;
  if (c >= 'A' && c <= 'F') value = c - 'A' + 10;
  return value < base ? value : -1;
}

bool IsDecimalDigits(std::string_view text) {
  return std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
}

}  // namespace

Checked<uint32_t> ParseDigits(std::string_view text, int base, uint32_t highest) {
  if (text.empty()) return Checked<uint32_t>::Refused("no digits");
  uint64_t value = 0;
  for (const char c : text) {
    const int digit = DigitValue(c, base);
    if (digit < 0) return Checked<uint32_t>::Refused("not a digit");
    value = value * static_cast<uint64_t>(base) + static_cast<uint64_t>(digit);
    if (value > highest) return Checked<uint32_t>::Refused("too large");
  }
  return static_cast<uint32_t>(value);
}

int32_t ParseNumberArgument(std::string_view text) {
  const bool is_negative = text.starts_with('-');
  if (is_negative || text.starts_with('+')) text.remove_prefix(1);
  const size_t point = text.find('.');
  const std::string_view whole = text.substr(0, point);
  const std::string_view fraction = point == std::string_view::npos ? "" : text.substr(point + 1);
  if (whole.empty() && fraction.empty()) return 0;
  if (!IsDecimalDigits(whole) || !IsDecimalDigits(fraction)) return 0;
  // Every magnitude past 2^31 clamps alike.
  constexpr uint32_t kPastInt32 = uint32_t{1} << 31;
  const Checked<uint32_t> digits = ParseDigits(whole, 10, kPastInt32);
  int64_t magnitude = whole.empty() ? 0 : digits ? *digits : kPastInt32;
  // Only the first fraction digit decides the rounding: .5 and above round
  // away from zero, anything below .5 rounds towards it.
  if (!fraction.empty() && fraction[0] >= '5') ++magnitude;
  const int64_t value = is_negative ? -magnitude : magnitude;
  return static_cast<int32_t>(
      std::clamp<int64_t>(value, std::numeric_limits<int32_t>::min(), std::numeric_limits<int32_t>::max()));
}
