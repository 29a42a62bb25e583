#include "toolkit/disk/file_argument.h"

namespace {

constexpr uint32_t kHighestAddress = 0xFFFF;

int DigitValue(char c, int base) {
  int value = base;
  if (c >= '0' && c <= '9') value = c - '0';
  if (c >= 'a' && c <= 'f') value = c - 'a' + 10;
  if (c >= 'A' && c <= 'F') value = c - 'A' + 10;
  return value < base ? value : -1;
}

}  // namespace

Checked<uint16_t> ParseAddress(std::string_view text) {
  std::string_view digits = text;
  int base = 10;
  if (digits.starts_with('#') || digits.starts_with('&')) {
    digits.remove_prefix(1);
    base = 16;
  } else if (digits.starts_with("0x") || digits.starts_with("0X")) {
    digits.remove_prefix(2);
    base = 16;
  }
  // Appended piece by piece: g++ 12 -O2 misreads "\"" + string as an overlapping copy.
  std::string refusal = "\"";
  refusal += text;
  refusal += "\" is not an address: #C000, &C000, 0xC000 or decimal, at most &FFFF";
  if (digits.empty()) return Checked<uint16_t>::Refused(refusal);
  uint32_t value = 0;
  for (const char c : digits) {
    const int digit = DigitValue(c, base);
    if (digit < 0) return Checked<uint16_t>::Refused(refusal);
    value = value * static_cast<uint32_t>(base) + static_cast<uint32_t>(digit);
    if (value > kHighestAddress) return Checked<uint16_t>::Refused(refusal);
  }
  return static_cast<uint16_t>(value);
}

Checked<FileArgument> ParseFileArgument(std::string_view text) {
  FileArgument argument;
  const size_t at = text.find_last_of('@');
  argument.path = std::string(text.substr(0, at));
  if (at == std::string_view::npos) return argument;
  const std::string_view tail = text.substr(at + 1);
  if (tail == "-") {
    argument.is_stored_as_is = true;
    return argument;
  }
  const size_t comma = tail.find(',');
  const Checked<uint16_t> load = ParseAddress(tail.substr(0, comma));
  if (!load) return Checked<FileArgument>::Refused(load.refusal());
  AmsdosAddresses addresses{*load, 0};
  if (comma != std::string_view::npos) {
    const Checked<uint16_t> entry = ParseAddress(tail.substr(comma + 1));
    if (!entry) return Checked<FileArgument>::Refused(entry.refusal());
    addresses.entry = *entry;
  }
  argument.addresses = addresses;
  return argument;
}
