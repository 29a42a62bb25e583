#include "tests/level_bank_decoder.h"

#include "common/cpc_pixels.h"

namespace {

constexpr int kBankAddress = 0x4000;
constexpr int kBankBytes = 0x4000;
constexpr int kHeaderOffset = 2;
constexpr int kBlocksTall = 5;
constexpr int kBlockSide = 32;
constexpr int kTileSide = 8;
constexpr int kModeZeroBlockWidth = kBlockSide / 2;

int Word(const std::vector<uint8_t>& bank, int offset) { return bank[offset] | (bank[offset + 1] << 8); }

// Tile rows are stored in Gray order: place i holds row i XOR (i >> 1).
int RowOfPlace(int place) { return place ^ (place >> 1); }

}  // namespace

std::vector<uint8_t> DecodeTileBytes(const std::vector<uint8_t>& bytes, size_t offset) {
  std::vector<uint8_t> pens(kTileSide * kTileSide);
  for (int place = 0; place < kTileSide; ++place) {
    const bool is_right_first = place % 2 == 1;
    const Mode0Pens left = DecodeMode0Byte(bytes[offset + 2 * place + (is_right_first ? 1 : 0)]);
    const Mode0Pens right = DecodeMode0Byte(bytes[offset + 2 * place + (is_right_first ? 0 : 1)]);
    const uint8_t row_pens[4] = {left.left, left.right, right.left, right.right};
    const int row = RowOfPlace(place);
    for (int x = 0; x < kTileSide; ++x) pens[row * kTileSide + x] = row_pens[x / 2];
  }
  return pens;
}

namespace {

// The pens of the tile a pattern record points at; none for a reference
// without a bank tag or outside the banks.
std::optional<std::vector<uint8_t>> TileOfReference(const std::vector<uint8_t>& first_bank,
                                                    const std::vector<uint8_t>& second_bank, int reference) {
  if (reference == 0) return std::vector<uint8_t>(kTileSide * kTileSide, 0);
  const int tag = reference & 15;
  const int address = reference & ~15;
  if ((tag != 4 && tag != 5) || address < kBankAddress || address + 16 > kBankAddress + kBankBytes) {
    return std::nullopt;
  }
  return DecodeTileBytes(tag == 4 ? first_bank : second_bank, static_cast<size_t>(address - kBankAddress));
}

// Paints tile k (column k % 4, row k / 4) of block (bx, by), the block's rows
// upside down when is_flipped.
void PaintTile(const std::vector<uint8_t>& tile, int bx, int by, int k, bool is_flipped,
               DecodedStep& picture) {
  for (int r = 0; r < kTileSide; ++r) {
    const int pattern_row = (k / 4) * kTileSide + r;
    const int picture_row = by * kBlockSide + (is_flipped ? kBlockSide - 1 - pattern_row : pattern_row);
    for (int c = 0; c < kTileSide; c += 2) {
      const int picture_x = bx * kModeZeroBlockWidth + ((k % 4) * kTileSide + c) / 2;
      picture.pens[static_cast<size_t>(picture_row) * picture.width_px + picture_x] = tile[r * kTileSide + c];
    }
  }
}

}  // namespace

std::optional<DecodedStep> DecodeLevelStep(const std::vector<uint8_t>& first_bank,
                                           const std::vector<uint8_t>& second_bank, int step,
                                           std::string* problem) {
  if (first_bank.size() != kBankBytes || second_bank.size() != kBankBytes) {
    *problem = "bank size";
    return std::nullopt;
  }
  const int pattern_address = Word(first_bank, kHeaderOffset + 2 * step);
  const int map_address = Word(first_bank, kHeaderOffset + 8 + 2 * step);
  const int map_bytes = Word(first_bank, kHeaderOffset + 8 + 2) - Word(first_bank, kHeaderOffset + 8);
  const int width_blocks = map_bytes / kBlocksTall;
  DecodedStep picture;
  picture.width_px = width_blocks * kModeZeroBlockWidth;
  picture.height_px = kBlocksTall * kBlockSide;
  picture.pens.assign(static_cast<size_t>(picture.width_px) * picture.height_px, 0);
  for (int bx = 0; bx < width_blocks; ++bx) {
    for (int by = 0; by < kBlocksTall; ++by) {
      const int map_byte = first_bank[map_address - kBankAddress + kBlocksTall * bx + by];
      const int record = pattern_address - kBankAddress + 32 * (map_byte & 0x7F);
      for (int k = 0; k < 16; ++k) {
        const int reference = Word(first_bank, record + 2 * k);
        const std::optional<std::vector<uint8_t>> tile = TileOfReference(first_bank, second_bank, reference);
        if (!tile) {
          *problem = "bad tile reference " + std::to_string(reference);
          return std::nullopt;
        }
        PaintTile(*tile, bx, by, k, (map_byte & 0x80) != 0, picture);
      }
    }
  }
  return picture;
}
