// A conversion table and a sample from one input: the first byte picks how much
// of the rest is table (short tables included), the remainder is the sample.
// Each converter runs on them; their lists must play back every sample.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "fuzz/fuzz_support.h"
#include "toolkit/sound/ay_list.h"
#include "toolkit/sound/dma_sample.h"

namespace {

// Levels of the raw AY list, one per 64 microsecond step.
size_t CountAyListSteps(const std::vector<uint8_t>& bytes) {
  size_t steps = 0;
  for (size_t k = 0; k + 1 < bytes.size(); k += 2) {
    steps += bytes[k + 1] == 9 ? 1 : static_cast<size_t>((bytes[k + 1] & 0x0F) << 8 | bytes[k]);
  }
  return steps;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  SilenceConsole();
  if (size == 0) return 0;
  const size_t table_bytes = data[0] < 128 ? std::min<size_t>(size - 1, 256 + data[0]) : (data[0] - 128) * 2u;
  const size_t split = 1 + std::min(size - 1, table_bytes);
  const FuzzInputFile table(data + 1, split - 1, ".tab");
  const FuzzInputFile sample(data + split, size - split, ".snd");
  const std::string output = sample.path() + ".out";
  ConvertDMAsample15K(sample.path(), output, table.path());
  ConvertAYlist15K(sample.path(), output, table.path(), 0, 0);
  if (ConvertAYlist15K(sample.path(), output, table.path(), 0, kAyListRaw)) {
    std::FILE* file = std::fopen(output.c_str(), "rb");
    std::vector<uint8_t> bytes;
    int c;
    while (file != nullptr && (c = std::fgetc(file)) != EOF) bytes.push_back(static_cast<uint8_t>(c));
    if (file != nullptr) std::fclose(file);
    if (CountAyListSteps(bytes) != size - split) std::abort();
  }
  std::remove(output.c_str());
  return 0;
}
