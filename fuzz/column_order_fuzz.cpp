// The input is a map and its sizes: two signed 16-bit numbers (width, height)
// and then the map's bytes.
#include <cstddef>
#include <cstdint>
#include <cstdio>

#include "fuzz/fuzz_support.h"
#include "toolkit/tiles/column_order.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  SilenceConsole();
  if (size < 4) return 0;
  const auto width = static_cast<int16_t>(data[0] | data[1] << 8);
  const auto height = static_cast<int16_t>(data[2] | data[3] << 8);
  const FuzzInputFile map(data + 4, size - 4, ".bin");
  const std::string output = map.path() + ".lvl";
  ConvertToColumnOrder(map.path(), output, width, height);
  std::remove(output.c_str());
  return 0;
}
