// The ZX0 stream (version 2): the blocks a compressor chooses, their bit
// cost, the stream bytes they make, and the decoding of any stream back to
// its bytes. Forward streams are read from their first byte up; backward
// ones from their last byte down, for decoders that walk with lddr.
#pragma once

#include <bit>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "common/refusal.h"

enum class Zx0Direction { kForward, kBackward };

// The largest offset a stream can carry, and the largest output this
// toolkit decodes or compresses.
inline constexpr uint32_t kZx0MaxOffset = 32640;
inline constexpr uint32_t kZx0MaxBytes = 16 * 1024 * 1024;

enum class Zx0BlockKind { kLiterals, kLastOffset, kNewOffset };

// One block, in the order of the data: literals copy `length` bytes of the
// stream; the copies take `length` bytes from `offset` bytes back.
struct Zx0Block {
  Zx0BlockKind kind = Zx0BlockKind::kLiterals;
  uint32_t length = 1;
  uint32_t offset = 1;
};

// Bits of the interlaced Elias gamma code of value (>= 1).
inline int GammaBits(uint32_t value) { return 2 * (std::bit_width(value) - 1) + 1; }

// Bits a block takes in a stream; the first block of a stream (always
// literals) has no indicator bit. The end marker takes kZx0EndBits.
uint32_t BlockBits(const Zx0Block& block, bool is_first);
inline constexpr uint32_t kZx0EndBits = 18;

// The stream of blocks over data (in the order the stream is decoded: for a
// backward stream, data and blocks are those of the reversed input, and the
// bytes come back reversed, ready to be read from the end down).
std::vector<uint8_t> EncodeZX0Blocks(std::span<const uint8_t> data, const std::vector<Zx0Block>& blocks,
                                     Zx0Direction direction);

struct Zx0Decoded {
  std::vector<uint8_t> bytes;
  // How far past the end of its output a forward stream's last byte must lie
  // to decode over itself (0 for backward streams).
  uint32_t delta = 0;
  // The blocks in decoding order, for the decoders' time.
  std::vector<Zx0Block> blocks;
};

// Decodes stream. Refuses a stream that is cut short, has bytes after its end
// marker, copies from before the start of the output, carries an offset the
// format has no room for, or decodes to more than kZx0MaxBytes; the refusal
// text is the tail of one console line.
Checked<Zx0Decoded> DecodeZX0(std::span<const uint8_t> stream, Zx0Direction direction);
