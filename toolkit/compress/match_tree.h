// Earlier positions of a buffer in a binary tree per two-byte key, ordered
// by the bytes that follow them and newest at the top, so that one walk down
// from the newest meets every match length that grows, nearest first: the
// only farther matches a compressor needs beyond the nearest few. A hash
// chain walks every earlier place of the two bytes instead, and a screen of a
// few byte values has thousands of them within reach.
#pragma once

#include <algorithm>
#include <bit>
#include <cstdint>
#include <cstring>
#include <span>
#include <vector>

class MatchTree {
 public:
  // Positions farther back than window are never offered. Lengths are
  // measured up to cap bytes; a match that long is offered as cap and takes
  // the earlier position's place in the tree.
  MatchTree(std::span<const uint8_t> data, uint32_t window, uint32_t cap, int depth)
      : data_(data), window_(window), cap_(cap), depth_(depth), smaller_(data.size(), -1), larger_(data.size(), -1) {}

  // Puts position (with at least two bytes from it) into the tree and calls
  // found(offset, length) for each earlier position within the window whose
  // match is longer than that of every nearer one, nearest first.
  template <typename Found>
  void Insert(uint32_t position, Found found) {
    const uint32_t key = data_[position] | data_[position + 1] << 8;
    int32_t at = roots_[key];
    roots_[key] = static_cast<int32_t>(position);
    int32_t* below = &smaller_[position];  // where the next smaller position hangs
    int32_t* above = &larger_[position];   // where the next larger one hangs
    uint32_t below_length = 0, above_length = 0, longest = 1;
    const uint32_t limit = static_cast<uint32_t>(std::min<size_t>(cap_, data_.size() - position));
    for (int depth = depth_;; --depth) {
      if (at < 0 || position - static_cast<uint32_t>(at) > window_ || depth == 0) {
        *below = *above = -1;
        return;
      }
      const uint32_t length = CommonLength(static_cast<uint32_t>(at), position, std::min(below_length, above_length), limit);
      if (length > longest) {
        longest = length;
        found(position - static_cast<uint32_t>(at), length);
      }
      if (length == limit) {
        *below = smaller_[at];
        *above = larger_[at];
        return;
      }
      if (data_[at + length] < data_[position + length]) {
        *below = at;
        below = &larger_[at];
        below_length = length;
        at = *below;
      } else {
        *above = at;
        above = &smaller_[at];
        above_length = length;
        at = *above;
      }
    }
  }

 private:
  // Bytes equal from at and from position on, from known up to limit.
  uint32_t CommonLength(uint32_t at, uint32_t position, uint32_t known, uint32_t limit) const {
    uint32_t length = known;
    while (std::endian::native == std::endian::little && length + 8 <= limit) {
      uint64_t a, b;
      std::memcpy(&a, &data_[at + length], 8);
      std::memcpy(&b, &data_[position + length], 8);
      if (a != b) return length + static_cast<uint32_t>(__builtin_ctzll(a ^ b) / 8);
      length += 8;
    }
    while (length < limit && data_[at + length] == data_[position + length]) ++length;
    return length;
  }

  std::span<const uint8_t> data_;
  uint32_t window_;
  uint32_t cap_;
  int depth_;
  std::vector<int32_t> smaller_;
  std::vector<int32_t> larger_;
  std::vector<int32_t> roots_ = std::vector<int32_t>(65536, -1);
};
