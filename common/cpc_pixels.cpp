#include "common/cpc_pixels.h"

namespace {

// The Gate Array reads a mode 0 byte as two pixels whose bits alternate
// (left pixel in the odd byte bits 7, 5, 3, 1 from its bit 0, 2, 1, 3), so a
// pen's four bits land in scattered places. This spreads the left pen's bits;
// the right pen's are the same shifted one place down.
uint8_t SpreadMode0Left(uint8_t pen) {
  return static_cast<uint8_t>(((pen & 1) << 7) | ((pen & 2) << 2) | ((pen & 4) << 3) | ((pen & 8) >> 2));
}

// Mode 1 keeps bit 0 of the four pens in the high nibble and bit 1 in the low one.
uint8_t SpreadMode1(uint8_t pen, int position) {
  return static_cast<uint8_t>(((pen & 1) << (7 - position)) | (((pen >> 1) & 1) << (3 - position)));
}

constexpr int kPlusLevelDivisor = 17;  // 255 / 15: 8-bit channel to 4-bit level

}  // namespace

uint8_t EncodeMode0Byte(uint8_t left, uint8_t right) {
  return static_cast<uint8_t>(SpreadMode0Left(left & 15) | (SpreadMode0Left(right & 15) >> 1));
}

uint8_t EncodeMode1Byte(uint8_t p0, uint8_t p1, uint8_t p2, uint8_t p3) {
  return static_cast<uint8_t>(SpreadMode1(p0, 0) | SpreadMode1(p1, 1) | SpreadMode1(p2, 2) |
                              SpreadMode1(p3, 3));
}

uint8_t EncodeMode2Byte(const std::array<uint8_t, 8>& pens) {
  uint8_t byte = 0;
  for (int k = 0; k < 8; ++k) {
    if (pens[k] != 0) byte = static_cast<uint8_t>(byte | (0x80 >> k));
  }
  return byte;
}

Mode0Pens DecodeMode0Byte(uint8_t byte) {
  const auto gather = [](uint8_t b) {
    return static_cast<uint8_t>(((b >> 7) & 1) | (((b >> 3) & 1) << 1) | (((b >> 5) & 1) << 2) |
                                (((b >> 1) & 1) << 3));
  };
  return Mode0Pens{gather(byte), gather(static_cast<uint8_t>(byte << 1))};
}

std::array<uint8_t, 2> EncodePlusColour(uint8_t red, uint8_t green, uint8_t blue) {
  return {static_cast<uint8_t>((red / kPlusLevelDivisor) * 16 + blue / kPlusLevelDivisor),
          static_cast<uint8_t>(green / kPlusLevelDivisor)};
}
