#include <cstddef>
#include <cstdint>
#include <string_view>

#include "common/number_text.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const int32_t value = ParseNumberArgument(std::string_view(reinterpret_cast<const char*>(data), size));
  // A number that parses must print and parse back to itself.
  if (ParseNumberArgument(PlainDecimal(value)) != value) __builtin_trap();
  return 0;
}
