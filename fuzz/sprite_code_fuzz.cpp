// Any 256-byte sprite block through the compiled sprite generator and the RLE
// encoder: every buffer must give a routine and data that decode back to it.
#include <cstddef>
#include <cstdint>
#include <string>

#include "fuzz/fuzz_support.h"
#include "toolkit/sprites/rle_sprite.h"
#include "toolkit/sprites/sprite_code.h"

namespace {

void Require(bool is_true) {
  if (!is_true) __builtin_trap();
}

void CheckRle(const SpritePixels& pixels) {
  const std::vector<uint8_t> data = EncodeRleSprite(pixels);
  Require(!data.empty() && data.back() == 0);
  size_t p = 0;
  for (size_t k = 0; k + 1 < data.size(); ++k) {
    const int length = data[k] & 15;
    Require(length >= 1);
    for (int i = 0; i < length; ++i, ++p)
      Require(p < pixels.size() && SpriteColour(pixels[p]) == data[k] >> 4);
  }
  Require(p == pixels.size());
}

void CheckCode(const SpritePixels& pixels) {
  const SpriteCode code = GenerateSpriteCode(pixels, "f", kWithTotalTime);
  int stores = 0;
  for (const std::string& line : code.lines) stores += line.find(" ;L=") != std::string::npos;
  int visible = 0;
  for (const uint8_t pixel : pixels) visible += pixel != kLeaveAlone;
  Require(stores == visible);
  for (size_t a = 0; a < code.registers.size(); ++a) {
    for (size_t b = a + 1; b < code.registers.size(); ++b) Require(code.registers[a] != code.registers[b]);
  }
  Require(code.extra_time_nops >= 11 && code.extra_time_nops <= 13);
  Require(code.size_bytes <= 4 * visible && code.time_nops <= 5 * visible);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  SilenceConsole();
  SpritePixels pixels;
  pixels.fill(kLeaveAlone);
  for (size_t p = 0; p < size && p < pixels.size(); ++p) pixels[p] = data[p];
  CheckRle(pixels);
  CheckCode(pixels);
  return 0;
}
