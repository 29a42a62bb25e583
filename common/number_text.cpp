#include "common/number_text.h"

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

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

constexpr int64_t kMagnitudeCap = int64_t{1} << 40;  // far beyond any int32, far below overflow

}  // namespace

int32_t ParseNumberArgument(std::string_view text) {
  size_t pos = 0;
  bool is_negative = false;
  if (pos < text.size() && (text[pos] == '+' || text[pos] == '-')) {
    is_negative = text[pos] == '-';
    ++pos;
  }
  int64_t magnitude = 0;
  size_t integer_digits = 0;
  for (; pos < text.size() && IsDigit(text[pos]); ++pos, ++integer_digits) {
    magnitude = magnitude * 10 + (text[pos] - '0');
    if (magnitude > kMagnitudeCap) magnitude = kMagnitudeCap;
  }
  size_t fraction_digits = 0;
  if (pos < text.size() && text[pos] == '.') {
    ++pos;
    // Only the first fraction digit decides the rounding: .5 and above round
    // away from zero, anything below .5 rounds towards it.
    if (pos < text.size() && IsDigit(text[pos]) && text[pos] >= '5') ++magnitude;
    for (; pos < text.size() && IsDigit(text[pos]); ++pos) ++fraction_digits;
  }
  if (pos != text.size() || integer_digits + fraction_digits == 0) return 0;
  const int64_t value = is_negative ? -magnitude : magnitude;
  if (value > std::numeric_limits<int32_t>::max()) return std::numeric_limits<int32_t>::max();
  if (value < std::numeric_limits<int32_t>::min()) return std::numeric_limits<int32_t>::min();
  return static_cast<int32_t>(value);
}
