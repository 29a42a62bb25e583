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

// The row packers look up two neighbouring pens at once: the index is the
// left pen plus 256 times the right one (what a little-endian 16-bit load of
// the two gives), the entry the bits the pair sets in its byte. A mode 0 pair
// is a whole byte; in modes 1 and 2 a pair fills the byte's leftmost places
// and the next pairs of the same byte are the same bits moved right, since
// each place of those layouts is the one before it shifted one bit down.
using PairTable = std::array<uint8_t, 65536>;

template <typename EncodePair>
PairTable MakePairTable(EncodePair encode) {
  PairTable table{};
  for (size_t index = 0; index < table.size(); ++index) {
    table[index] = encode(static_cast<uint8_t>(index & 0xFF), static_cast<uint8_t>(index >> 8));
  }
  return table;
}

const PairTable& Mode0Pairs() {
  static const PairTable kTable = MakePairTable(EncodeMode0Byte);
  return kTable;
}

const PairTable& Mode1Pairs() {
  static const PairTable kTable =
      MakePairTable([](uint8_t left, uint8_t right) { return EncodeMode1Byte(left, right, 0, 0); });
  return kTable;
}

const PairTable& Mode2Pairs() {
  static const PairTable kTable = MakePairTable([](uint8_t left, uint8_t right) {
    return EncodeMode2Byte({left, right, 0, 0, 0, 0, 0, 0});
  });
  return kTable;
}

unsigned PairAt(const uint8_t* pens) { return pens[0] | static_cast<unsigned>(pens[1]) << 8; }

// The pens of a ragged last byte, pen 0 beyond the width.
std::array<uint8_t, 8> LastPens(const uint8_t* pens, int count) {
  std::array<uint8_t, 8> last{};
  for (int k = 0; k < count; ++k) last[k] = pens[k];
  return last;
}

}  // namespace

size_t PackedRowBytes(int width_px, int pixels_per_byte) {
  return width_px <= 0 ? 0 : (static_cast<size_t>(width_px) + pixels_per_byte - 1) / pixels_per_byte;
}

void PackMode0Row(const uint8_t* pens, int width_px, uint8_t* out) {
  const PairTable& pairs = Mode0Pairs();
  const size_t whole = width_px <= 0 ? 0 : static_cast<size_t>(width_px) / 2;
  for (size_t k = 0; k < whole; ++k) out[k] = pairs[PairAt(pens + 2 * k)];
  if (width_px > 0 && width_px % 2 != 0) out[whole] = pairs[pens[2 * whole]];
}

void PackMode1Row(const uint8_t* pens, int width_px, uint8_t* out) {
  const PairTable& pairs = Mode1Pairs();
  const size_t whole = width_px <= 0 ? 0 : static_cast<size_t>(width_px) / 4;
  for (size_t k = 0; k < whole; ++k) {
    const uint8_t* four = pens + 4 * k;
    out[k] = static_cast<uint8_t>(pairs[PairAt(four)] | pairs[PairAt(four + 2)] >> 2);
  }
  if (width_px > 0 && width_px % 4 != 0) {
    const std::array<uint8_t, 8> last = LastPens(pens + 4 * whole, width_px % 4);
    out[whole] = static_cast<uint8_t>(pairs[PairAt(&last[0])] | pairs[PairAt(&last[2])] >> 2);
  }
}

void PackMode2Row(const uint8_t* pens, int width_px, uint8_t* out) {
  const PairTable& pairs = Mode2Pairs();
  const auto pack = [&pairs](const uint8_t* eight) {
    return static_cast<uint8_t>(pairs[PairAt(eight)] | pairs[PairAt(eight + 2)] >> 2 |
                                pairs[PairAt(eight + 4)] >> 4 | pairs[PairAt(eight + 6)] >> 6);
  };
  const size_t whole = width_px <= 0 ? 0 : static_cast<size_t>(width_px) / 8;
  for (size_t k = 0; k < whole; ++k) out[k] = pack(pens + 8 * k);
  if (width_px > 0 && width_px % 8 != 0) out[whole] = pack(LastPens(pens + 8 * whole, width_px % 8).data());
}

namespace {

// One byte of kPixelsPerByte pens through the pair tables of the row
// packers; every pair index read is ORed into seen.
template <int kPixelsPerByte>
uint8_t PackOneByte(const PairTable& pairs, const uint8_t* pens, unsigned& seen) {
  unsigned index = PairAt(pens);
  seen |= index;
  uint8_t byte = pairs[index];
  for (int pair = 1; pair < kPixelsPerByte / 2; ++pair) {
    index = PairAt(pens + 2 * pair);
    seen |= index;
    byte = static_cast<uint8_t>(byte | pairs[index] >> (2 * pair));
  }
  return byte;
}

// The bits of each pixel place of a byte (the pair tables hold them: a pen
// with every bit set at that place of a pair).
template <int kPixelsPerByte>
std::array<uint8_t, kPixelsPerByte> PlaceBits(const PairTable& pairs) {
  std::array<uint8_t, kPixelsPerByte> bits{};
  for (int place = 0; place < kPixelsPerByte; ++place) {
    bits[place] = static_cast<uint8_t>(pairs[place % 2 == 0 ? 0x00FF : 0xFF00] >> (place / 2 * 2));
  }
  return bits;
}

template <int kPixelsPerByte, bool kHasMask>
uint8_t PackChunks(const PairTable& pairs, const uint8_t* pens, uint8_t clear_pen, int chunks, int chunk_px,
                   uint8_t* out, size_t out_stride) {
  const int chunk_bytes = chunk_px / kPixelsPerByte;
  const std::array<uint8_t, kPixelsPerByte> place_bits = PlaceBits<kPixelsPerByte>(pairs);
  unsigned seen = 0;
  for (int chunk = 0; chunk < chunks; ++chunk, out += out_stride) {
    for (int k = 0; k < chunk_bytes; ++k, pens += kPixelsPerByte) {
      const uint8_t data = PackOneByte<kPixelsPerByte>(pairs, pens, seen);
      if constexpr (kHasMask) {
        unsigned mask = 0;
        for (int place = 0; place < kPixelsPerByte; ++place) {
          mask |= pens[place] == clear_pen ? place_bits[place] : 0u;
        }
        out[2 * k] = static_cast<uint8_t>(mask);
        out[2 * k + 1] = static_cast<uint8_t>(data & ~mask);
      } else {
        out[k] = data;
      }
    }
  }
  return static_cast<uint8_t>(seen | seen >> 8);
}

template <bool kHasMask>
uint8_t PackChunksOfMode(int pixels_per_byte, const uint8_t* pens, uint8_t clear_pen, int chunks,
                         int chunk_px, uint8_t* out, size_t out_stride) {
  if (pixels_per_byte == 2)
    return PackChunks<2, kHasMask>(Mode0Pairs(), pens, clear_pen, chunks, chunk_px, out, out_stride);
  if (pixels_per_byte == 4)
    return PackChunks<4, kHasMask>(Mode1Pairs(), pens, clear_pen, chunks, chunk_px, out, out_stride);
  return PackChunks<8, kHasMask>(Mode2Pairs(), pens, clear_pen, chunks, chunk_px, out, out_stride);
}

}  // namespace

uint8_t PackRowInChunks(int pixels_per_byte, const uint8_t* pens, int chunks, int chunk_px, uint8_t* out,
                        size_t out_stride) {
  return PackChunksOfMode<false>(pixels_per_byte, pens, 0, chunks, chunk_px, out, out_stride);
}

uint8_t PackMaskedRowInChunks(int pixels_per_byte, const uint8_t* pens, uint8_t clear_pen, int chunks,
                              int chunk_px, uint8_t* out, size_t out_stride) {
  return PackChunksOfMode<true>(pixels_per_byte, pens, clear_pen, chunks, chunk_px, out, out_stride);
}

const std::array<uint8_t, 256>& MirroredBytes(int pixels_per_byte) {
  using Table = std::array<uint8_t, 256>;
  const auto make = [](auto mirror) {
    Table table{};
    for (size_t byte = 0; byte < table.size(); ++byte) table[byte] = mirror(static_cast<unsigned>(byte));
    return table;
  };
  // Mode 0 swaps its two pixels, the odd bits with the even ones. Mode 1's
  // pixel k owns bits 7 - k and 3 - k: reversing the pixels reverses each
  // nibble. Mode 2 reverses the eight bits.
  static const Table kMode0 =
      make([](unsigned b) { return static_cast<uint8_t>((b & 0xAA) >> 1 | (b & 0x55) << 1); });
  static const Table kMode1 = make([](unsigned b) {
    return static_cast<uint8_t>((b & 0x88) >> 3 | (b & 0x44) >> 1 | (b & 0x22) << 1 | (b & 0x11) << 3);
  });
  static const Table kMode2 = make([](unsigned b) {
    unsigned reversed = 0;
    for (int bit = 0; bit < 8; ++bit) reversed |= ((b >> bit) & 1) << (7 - bit);
    return static_cast<uint8_t>(reversed);
  });
  if (pixels_per_byte == 2) return kMode0;
  return pixels_per_byte == 4 ? kMode1 : kMode2;
}

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
