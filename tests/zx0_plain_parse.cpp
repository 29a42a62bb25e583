#include "tests/zx0_plain_parse.h"

#include <algorithm>
#include <bit>
#include <limits>
#include <vector>

namespace {

constexpr uint64_t kNever = std::numeric_limits<uint64_t>::max() / 2;
constexpr size_t kMaxOffset = 32640;

uint64_t Gamma(uint64_t value) { return 2 * (std::bit_width(value) - 1) + 1; }
uint64_t HighPart(size_t offset) { return Gamma((offset - 1) / 128 + 1); }

// State costs in bits for each position and last offset: after literals, and
// after a copy. Position 0 holds the start, whose last offset is 1.
struct States {
  size_t width;
  std::vector<uint64_t> literal;
  std::vector<uint64_t> copy;
  // For each offset, the positions reached by a copy with it (literal runs
  // start only there): the same minimum as trying every earlier position.
  std::vector<std::vector<size_t>> copied_at;
  uint64_t& Literal(size_t p, size_t o) { return literal[p * width + o]; }
  uint64_t& Copy(size_t p, size_t o) { return copy[p * width + o]; }
};

void ReachByLiterals(States& s, size_t p) {
  for (size_t o = 1; o < s.width; ++o) {
    for (const size_t j : s.copied_at[o]) {
      const uint64_t run = p - j;
      s.Literal(p, o) = std::min(s.Literal(p, o), s.Copy(j, o) + (j == 0 ? 0 : 1) + Gamma(run) + 8 * run);
    }
  }
}

void ReachByCopies(States& s, std::span<const uint8_t> data, size_t p, uint64_t best) {
  for (size_t o = 1; o <= std::min(p, kMaxOffset); ++o) {
    size_t length = 0;
    while (p + length < data.size() && data[p + length] == data[p + length - o]) ++length;
    for (size_t l = 1; l <= length; ++l) {
      uint64_t& to = s.Copy(p + l, o);
      if (s.Literal(p, o) < kNever) to = std::min(to, s.Literal(p, o) + 1 + Gamma(l));
      if (l >= 2) to = std::min(to, best + HighPart(o) + 8 + Gamma(l - 1));
    }
  }
}

}  // namespace

uint64_t PlainOptimalZX0Bytes(std::span<const uint8_t> data) {
  const size_t n = data.size();
  States s{std::min(n, kMaxOffset) + 1, {}, {}, {}};
  s.copied_at.resize(s.width);
  s.copied_at[1].push_back(0);
  s.literal.assign((n + 1) * s.width, kNever);
  s.copy.assign((n + 1) * s.width, kNever);
  s.Copy(0, 1) = 0;
  uint64_t best = kNever;
  for (size_t p = 1; p <= n; ++p) {
    ReachByLiterals(s, p);
    best = kNever;
    for (size_t o = 1; o < s.width; ++o) {
      best = std::min({best, s.Literal(p, o), s.Copy(p, o)});
      if (s.Copy(p, o) < kNever) s.copied_at[o].push_back(p);
    }
    if (p < n) ReachByCopies(s, data, p, best);
  }
  return (best + 18 + 7) / 8;
}
