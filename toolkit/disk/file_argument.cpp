#include "toolkit/disk/file_argument.h"

#include "common/number_text.h"

namespace {

constexpr uint32_t kHighestAddress = 0xFFFF;

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
  const Checked<uint32_t> value = ParseDigits(digits, base, kHighestAddress);
  if (!value) return Checked<uint16_t>::Refused(refusal);
  return static_cast<uint16_t>(*value);
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
