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

// The pair index of two pens the other way round: the pair mirrored.
unsigned Swapped(unsigned index) { return (index >> 8 | index << 8) & 0xFFFF; }

// One byte of pens through the pair tables of the row packers, and the byte
// of the same pens from right to left (the pairs taken from the last, each
// one swapped); every pair index read is ORed into seen.
template <int kPixelsPerByte>
std::array<unsigned, 2> PackByteBothWays(const PairTable& pairs, const uint8_t* pens, unsigned& seen) {
  constexpr int kPairs = kPixelsPerByte / 2;
  std::array<unsigned, 2> bytes{};
  for (int pair = 0; pair < kPairs; ++pair) {
    const unsigned index = PairAt(pens + 2 * pair);
    seen |= index;
    bytes[0] |= static_cast<unsigned>(pairs[index] >> (2 * pair));
    bytes[1] |= static_cast<unsigned>(pairs[Swapped(index)] >> (2 * (kPairs - 1 - pair)));
  }
  return bytes;
}

// The (mask, data) pair of one byte of pens, and the pair of the same pens
// from right to left, as two 16-bit values (mask in the low byte), from the
// masked pair table: each pair's entry is moved to its place, both bytes at
// once, the bits shifted out of the data byte into the mask byte cleared.
template <int kPixelsPerByte>
std::array<unsigned, 2> PackMaskedBothWays(const uint32_t* masked_pairs, const uint8_t* pens,
                                           unsigned& seen) {
  constexpr int kPairs = kPixelsPerByte / 2;
  std::array<unsigned, 2> pairs_of_bytes{};
  for (int pair = 0; pair < kPairs; ++pair) {
    const unsigned index = PairAt(pens + 2 * pair);
    seen |= index;
    const uint32_t entry = masked_pairs[index];
    const int shift = 2 * pair;
    const int mirrored_shift = 2 * (kPairs - 1 - pair);
    pairs_of_bytes[0] |= ((entry & 0xFFFF) >> shift) & ((0xFFu >> shift) * 0x0101u);
    pairs_of_bytes[1] |= ((entry >> 16) >> mirrored_shift) & ((0xFFu >> mirrored_shift) * 0x0101u);
  }
  return pairs_of_bytes;
}

// Byte k of a chunk and its mirror image (at byte chunk_bytes - 1 - k of the
// mirrored chunk), each after its mask byte when there is a mask.
template <int kPixelsPerByte, bool kHasMask, bool kHasMirror>
uint8_t PackChunks(const PairTable& pairs, const uint8_t* pens, const ChunkLayout& layout, uint8_t* out) {
  const int chunk_bytes = layout.chunk_px / kPixelsPerByte;
  const int chunks = layout.chunks;
  const size_t stride = layout.out_stride;
  const size_t mirror_offset = layout.mirror_offset;
  const uint32_t* masked_pairs = layout.masked_pairs;
  constexpr int kUnit = kHasMask ? 2 : 1;
  unsigned seen = 0;
  for (int chunk = 0; chunk < chunks; ++chunk, out += stride) {
    uint8_t* mirror = out + mirror_offset + static_cast<size_t>(kUnit * (chunk_bytes - 1));
    for (int k = 0; k < chunk_bytes; ++k, pens += kPixelsPerByte, mirror -= kUnit) {
      if constexpr (kHasMask) {
        const std::array<unsigned, 2> both = PackMaskedBothWays<kPixelsPerByte>(masked_pairs, pens, seen);
        out[2 * k] = static_cast<uint8_t>(both[0]);
        out[2 * k + 1] = static_cast<uint8_t>(both[0] >> 8);
        if constexpr (kHasMirror) {
          mirror[0] = static_cast<uint8_t>(both[1]);
          mirror[1] = static_cast<uint8_t>(both[1] >> 8);
        }
      } else {
        const std::array<unsigned, 2> both = PackByteBothWays<kPixelsPerByte>(pairs, pens, seen);
        out[k] = static_cast<uint8_t>(both[0]);
        if constexpr (kHasMirror) mirror[0] = static_cast<uint8_t>(both[1]);
      }
    }
  }
  return static_cast<uint8_t>(seen | seen >> 8);
}

const PairTable& PairsOf(int pixels_per_byte) {
  if (pixels_per_byte == 2) return Mode0Pairs();
  return pixels_per_byte == 4 ? Mode1Pairs() : Mode2Pairs();
}

// The pair index of a mask: every bit set for a pen that is clear_pen (the
// packers read only the bits their mode has), none for the others.
unsigned ClearPair(unsigned index, unsigned clear_pen) {
  return ((index & 0xFF) == clear_pen ? 0x00FFu : 0u) | ((index >> 8) == clear_pen ? 0xFF00u : 0u);
}

template <int kPixelsPerByte>
uint8_t PackChunksOfMode(const PairTable& pairs, const uint8_t* pens, const ChunkLayout& layout,
                         uint8_t* out) {
  const bool has_mask = layout.clear_pen >= 0;
  const bool has_mirror = layout.mirror_offset != 0;
  if (has_mask && has_mirror) return PackChunks<kPixelsPerByte, true, true>(pairs, pens, layout, out);
  if (has_mask) return PackChunks<kPixelsPerByte, true, false>(pairs, pens, layout, out);
  if (has_mirror) return PackChunks<kPixelsPerByte, false, true>(pairs, pens, layout, out);
  return PackChunks<kPixelsPerByte, false, false>(pairs, pens, layout, out);
}

}  // namespace

std::vector<uint32_t> MaskedPairTable(int pixels_per_byte, int clear_pen) {
  const PairTable& pairs = PairsOf(pixels_per_byte);
  std::vector<uint32_t> table(pairs.size());
  for (unsigned index = 0; index < table.size(); ++index) {
    const unsigned clear = ClearPair(index, static_cast<unsigned>(clear_pen));
    const unsigned mask = pairs[clear];
    const unsigned mirrored_mask = pairs[Swapped(clear)];
    table[index] = mask | (pairs[index] & ~mask & 0xFFu) << 8 | mirrored_mask << 16 |
                   (pairs[Swapped(index)] & ~mirrored_mask & 0xFFu) << 24;
  }
  return table;
}

uint8_t PackRowInChunks(const uint8_t* pens, const ChunkLayout& layout, uint8_t* out) {
  if (layout.pixels_per_byte == 2) return PackChunksOfMode<2>(Mode0Pairs(), pens, layout, out);
  if (layout.pixels_per_byte == 4) return PackChunksOfMode<4>(Mode1Pairs(), pens, layout, out);
  return PackChunksOfMode<8>(Mode2Pairs(), pens, layout, out);
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
