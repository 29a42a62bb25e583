#include "common/cpc_pixels.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

TEST(CpcPixels, Mode0Bytes) {
  EXPECT_EQ(EncodeMode0Byte(1, 0), 128);
  EXPECT_EQ(EncodeMode0Byte(0, 1), 64);
  EXPECT_EQ(EncodeMode0Byte(15, 15), 255);
  EXPECT_EQ(EncodeMode0Byte(16, 0), 0);
  EXPECT_EQ(EncodeMode0Byte(5, 0), 160);
  // Bit weights of the left pen: bit 0 = 128, bit 1 = 8, bit 2 = 32, bit 3 = 2.
  EXPECT_EQ(EncodeMode0Byte(2, 0), 8);
  EXPECT_EQ(EncodeMode0Byte(4, 0), 32);
  EXPECT_EQ(EncodeMode0Byte(8, 0), 2);
  EXPECT_EQ(EncodeMode0Byte(0, 2), 4);
  EXPECT_EQ(EncodeMode0Byte(0, 4), 16);
  EXPECT_EQ(EncodeMode0Byte(0, 8), 1);
  EXPECT_EQ(EncodeMode0Byte(17, 1), EncodeMode0Byte(1, 1));
}

TEST(CpcPixels, Mode0DecodeEncodeRoundTripsEveryByte) {
  for (int byte = 0; byte < 256; ++byte) {
    const Mode0Pens pens = DecodeMode0Byte(static_cast<uint8_t>(byte));
    EXPECT_LT(pens.left, 16);
    EXPECT_LT(pens.right, 16);
    EXPECT_EQ(EncodeMode0Byte(pens.left, pens.right), byte);
  }
  for (int left = 0; left < 16; ++left) {
    for (int right = 0; right < 16; ++right) {
      const Mode0Pens pens = DecodeMode0Byte(EncodeMode0Byte(static_cast<uint8_t>(left), static_cast<uint8_t>(right)));
      EXPECT_EQ(pens.left, left);
      EXPECT_EQ(pens.right, right);
    }
  }
}

TEST(CpcPixels, Mode1Bytes) {
  EXPECT_EQ(EncodeMode1Byte(3, 0, 0, 0), 136);
  EXPECT_EQ(EncodeMode1Byte(0, 0, 0, 3), 17);
  EXPECT_EQ(EncodeMode1Byte(1, 2, 1, 2), 165);
  EXPECT_EQ(EncodeMode1Byte(5, 0, 0, 0), EncodeMode1Byte(1, 0, 0, 0));
  EXPECT_EQ(EncodeMode1Byte(3, 3, 3, 3), 255);
}

TEST(CpcPixels, Mode2Bytes) {
  EXPECT_EQ(EncodeMode2Byte({1, 0, 0, 0, 0, 0, 0, 2}), 129);
  EXPECT_EQ(EncodeMode2Byte({0, 0, 0, 0, 0, 0, 0, 0}), 0);
  EXPECT_EQ(EncodeMode2Byte({0, 255, 0, 16, 0, 0, 0, 0}), 0x50);
}

TEST(CpcPixels, PlusColour) {
  using Bytes = std::array<uint8_t, 2>;
  EXPECT_EQ(EncodePlusColour(255, 0, 0), (Bytes{240, 0}));
  EXPECT_EQ(EncodePlusColour(0, 255, 0), (Bytes{0, 15}));
  EXPECT_EQ(EncodePlusColour(0, 0, 255), (Bytes{15, 0}));
  EXPECT_EQ(EncodePlusColour(16, 16, 16), (Bytes{0, 0}));
  EXPECT_EQ(EncodePlusColour(17, 34, 51), (Bytes{19, 2}));
  EXPECT_EQ(EncodePlusColour(254, 254, 254), (Bytes{0xEE, 14}));
}

// The row packers against the byte encoders, on every pen value each place
// can hold: a row of pairs, quads or octets whose pens sweep all 256 values.
TEST(CpcPixels, Mode0RowPackerMatchesTheEncoderOnEveryPair) {
  std::vector<uint8_t> pens;
  for (int left = 0; left < 256; ++left) {
    for (int right = 0; right < 256; ++right) {
      pens.push_back(static_cast<uint8_t>(left));
      pens.push_back(static_cast<uint8_t>(right));
    }
  }
  std::vector<uint8_t> packed(pens.size() / 2);
  PackMode0Row(pens.data(), static_cast<int>(pens.size()), packed.data());
  for (size_t k = 0; k < packed.size(); ++k) {
    ASSERT_EQ(packed[k], EncodeMode0Byte(pens[2 * k], pens[2 * k + 1])) << "pair " << k;
  }
}

TEST(CpcPixels, Mode1RowPackerMatchesTheEncoderOnEveryQuad) {
  // Mode 1 reads the two low bits of each pen; every quad of those, each pen
  // also carrying a sweep of high bits that must be ignored.
  std::vector<uint8_t> pens;
  for (int quad = 0; quad < 256; ++quad) {
    for (int high = 0; high < 64; ++high) {
      for (int place = 0; place < 4; ++place) {
        const int high_bits = ((high + place * 17) % 64) << 2;
        pens.push_back(static_cast<uint8_t>(high_bits | ((quad >> (2 * place)) & 3)));
      }
    }
  }
  // And every 8-bit pen in every place, the other three zero.
  for (int place = 0; place < 4; ++place) {
    for (int pen = 0; pen < 256; ++pen) {
      for (int k = 0; k < 4; ++k) pens.push_back(k == place ? static_cast<uint8_t>(pen) : 0);
    }
  }
  std::vector<uint8_t> packed(pens.size() / 4);
  PackMode1Row(pens.data(), static_cast<int>(pens.size()), packed.data());
  for (size_t k = 0; k < packed.size(); ++k) {
    const uint8_t* q = &pens[4 * k];
    ASSERT_EQ(packed[k], EncodeMode1Byte(q[0], q[1], q[2], q[3])) << "quad " << k;
  }
}

TEST(CpcPixels, Mode2RowPackerMatchesTheEncoderOnEveryOctet) {
  // Every pattern of ink and paper over the eight places, ink drawn from all
  // 255 non-zero pens in turn.
  std::vector<uint8_t> pens;
  for (int pattern = 0; pattern < 256; ++pattern) {
    for (int ink = 1; ink < 256; ++ink) {
      for (int place = 0; place < 8; ++place) {
        pens.push_back((pattern >> place & 1) != 0 ? static_cast<uint8_t>((ink + place * 31) % 255 + 1) : 0);
      }
    }
  }
  std::vector<uint8_t> packed(pens.size() / 8);
  PackMode2Row(pens.data(), static_cast<int>(pens.size()), packed.data());
  for (size_t k = 0; k < packed.size(); ++k) {
    std::array<uint8_t, 8> octet{};
    std::copy_n(&pens[8 * k], 8, octet.begin());
    ASSERT_EQ(packed[k], EncodeMode2Byte(octet)) << "octet " << k;
  }
}

TEST(CpcPixels, RowPackersPadARaggedLastByteWithPenZero) {
  const std::vector<uint8_t> pens = {15, 3, 255, 7, 1, 2, 3, 9, 9, 9, 9};
  for (int width = 0; width <= static_cast<int>(pens.size()); ++width) {
    std::array<uint8_t, 16> padded{};
    std::copy_n(pens.begin(), width, padded.begin());
    // A canary byte after the row's bytes must stay untouched.
    std::vector<uint8_t> mode0(PackedRowBytes(width, 2) + 1, 0xA5);
    std::vector<uint8_t> mode1(PackedRowBytes(width, 4) + 1, 0xA5);
    std::vector<uint8_t> mode2(PackedRowBytes(width, 8) + 1, 0xA5);
    PackMode0Row(pens.data(), width, mode0.data());
    PackMode1Row(pens.data(), width, mode1.data());
    PackMode2Row(pens.data(), width, mode2.data());
    for (size_t k = 0; k + 1 < mode0.size(); ++k) {
      EXPECT_EQ(mode0[k], EncodeMode0Byte(padded[2 * k], padded[2 * k + 1])) << width;
    }
    for (size_t k = 0; k + 1 < mode1.size(); ++k) {
      const uint8_t* q = &padded[4 * k];
      EXPECT_EQ(mode1[k], EncodeMode1Byte(q[0], q[1], q[2], q[3])) << width;
    }
    for (size_t k = 0; k + 1 < mode2.size(); ++k) {
      std::array<uint8_t, 8> octet{};
      std::copy_n(&padded[8 * k], 8, octet.begin());
      EXPECT_EQ(mode2[k], EncodeMode2Byte(octet)) << width;
    }
    EXPECT_EQ(mode0.back(), 0xA5);
    EXPECT_EQ(mode1.back(), 0xA5);
    EXPECT_EQ(mode2.back(), 0xA5);
  }
  EXPECT_EQ(PackedRowBytes(5, 4), 2u);
  EXPECT_EQ(PackedRowBytes(0, 8), 0u);
}

namespace {

using RowPacker = void (*)(const uint8_t*, int, uint8_t*);
constexpr RowPacker kRowPackers[] = {PackMode0Row, PackMode1Row, PackMode2Row};

// The bytes of pens by the row packer of mode; with clear_pen, (mask, data)
// pairs built from two packings, the clear pen as all ones and as pen 0.
std::vector<uint8_t> ExpectedChunk(int mode, std::vector<uint8_t> pens, int clear_pen) {
  std::vector<uint8_t> data(pens.size() / (2u << mode));
  if (clear_pen < 0) {
    kRowPackers[mode](pens.data(), static_cast<int>(pens.size()), data.data());
    return data;
  }
  std::vector<uint8_t> clear(pens.size());
  for (size_t k = 0; k < pens.size(); ++k) {
    clear[k] = pens[k] == clear_pen ? 0xFF : 0;
    if (pens[k] == clear_pen) pens[k] = 0;
  }
  std::vector<uint8_t> mask(data.size());
  kRowPackers[mode](clear.data(), static_cast<int>(pens.size()), mask.data());
  kRowPackers[mode](pens.data(), static_cast<int>(pens.size()), data.data());
  std::vector<uint8_t> pairs;
  for (size_t k = 0; k < data.size(); ++k) pairs.insert(pairs.end(), {mask[k], data[k]});
  return pairs;
}

}  // namespace

// Chunks of a row against the row packers on each chunk alone, at its stride,
// its mirror image against the row packers on the chunk's pens reversed,
// with and without a mask; the result is the OR of the pens read.
TEST(CpcPixels, ChunkPackersPutEachChunkAndItsMirrorWhereTheyGo) {
  for (int mode = 0; mode < 3; ++mode) {
    for (const int clear_pen : {-1, 1}) {
      ChunkLayout layout;
      layout.pixels_per_byte = 2 << mode;
      layout.chunks = 4;
      layout.chunk_px = 3 * layout.pixels_per_byte;
      layout.out_stride = 20;
      layout.mirror_offset = 8;
      layout.clear_pen = clear_pen;
      const std::vector<uint32_t> masked_pairs = MaskedPairTable(layout.pixels_per_byte, clear_pen);
      layout.masked_pairs = masked_pairs.data();
      std::vector<uint8_t> pens(static_cast<size_t>(layout.chunks * layout.chunk_px));
      for (size_t k = 0; k < pens.size(); ++k) pens[k] = static_cast<uint8_t>((k * 7 + k / 3) % (16 >> mode));
      pens[5] = 0x40;
      std::vector<uint8_t> out(layout.chunks * layout.out_stride, 0xEE);
      EXPECT_EQ(PackRowInChunks(pens.data(), layout, out.data()), 0x40 | ((16 >> mode) - 1));
      for (size_t chunk = 0; chunk < 4; ++chunk) {
        const auto first = pens.begin() + static_cast<ptrdiff_t>(chunk) * layout.chunk_px;
        std::vector<uint8_t> chunk_pens(first, first + layout.chunk_px);
        const std::vector<uint8_t> expected = ExpectedChunk(mode, chunk_pens, clear_pen);
        const auto at = out.begin() + static_cast<ptrdiff_t>(chunk * layout.out_stride);
        EXPECT_EQ(std::vector<uint8_t>(at, at + static_cast<ptrdiff_t>(expected.size())), expected) << mode;
        std::reverse(chunk_pens.begin(), chunk_pens.end());
        const std::vector<uint8_t> mirrored = ExpectedChunk(mode, chunk_pens, clear_pen);
        EXPECT_EQ(std::vector<uint8_t>(at + 8, at + 8 + static_cast<ptrdiff_t>(mirrored.size())), mirrored)
            << mode;
        EXPECT_EQ(at[static_cast<ptrdiff_t>(8 + mirrored.size())], 0xEE) << mode;
      }
    }
  }
}
