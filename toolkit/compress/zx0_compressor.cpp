#include "toolkit/compress/zx0_compressor.h"

#include <algorithm>
#include <bit>
#include <limits>

#include "toolkit/compress/match_tree.h"

namespace {

constexpr uint32_t kNoCost = std::numeric_limits<uint32_t>::max();
// Ways of reaching a position kept for each kind of last block, each with its
// own last offset. Small inputs keep enough for nearly every offset that
// matters and try every candidate offset; up to 64 KB (what a CPC holds)
// ten, for a string found at several places of which the right one shows
// only later (each more costs about a tenth more time there); larger ones
// the few that nearly always carry the best parse.
constexpr int kMostSlots = 64;
constexpr int kMidSlots = 10;
constexpr int kLargeInputSlots = 8;
constexpr uint32_t kSmallInputBytes = 2048;
// Lengths up to this are each tried; beyond it only those where the length
// code grows, and the longest. A copy that would best end elsewhere is then
// missed, so this, like the slots, trades exactness for time: 64 on small
// inputs, 32 up to 64 KB, 16 past it, where long matches are the rule and
// fewer lengths keep the time linear.
constexpr uint32_t kEveryLength = 64;
constexpr uint32_t kMidEveryLength = 32;
constexpr uint32_t kLargeInputEveryLength = 16;
constexpr uint32_t kLargeInputBytes = 65536;
// Candidates per position. The nearest few of the same two bytes are kept
// whatever their length, for the last offset they leave (on small inputs
// every one up to kChainDepth); beyond them the match tree offers those longer
// than every nearer one, measuring up to kTreeLength bytes (a longer match is
// measured in full) and walking at most kTreeDepth steps down.
constexpr int kChainDepth = 1024;
constexpr uint32_t kTreeLength = 2048;
constexpr int kTreeDepth = 1024;
constexpr int kLargeInputNearCandidates = 8;

constexpr uint8_t kFromLiteral = 1;   // the block follows a literal block
constexpr uint8_t kIsLastOffset = 2;  // the block copies from the last offset

// One way of reaching a position: its cost in bits so far, the block that
// ends there (from `from` up) and the way of reaching `from` it extends.
struct Node {
  uint32_t cost = kNoCost;
  uint32_t from = 0;
  uint16_t offset = 1;
  uint8_t from_slot = 0;
  uint8_t flags = 0;
};

// Where a literal run may start: after the copy in `slot` at `start`. base is
// the copy's cost with the run's indicator bit, less 8 bits a byte before it
// (the first run, at the start of the data, has no indicator bit).
struct RunStart {
  uint32_t start = 0;
  int64_t base = 0;
  uint16_t offset = 1;
  uint8_t slot = 0;
};
// Run starts kept at once: on small inputs nearly every one within the
// cost reach (a 256-byte screen needed more than 32), on larger ones the
// cheapest 32 (random data keeps thousands within reach, each tried at every
// position of a run).
constexpr size_t kSmallInputRunStarts = 1024;
constexpr size_t kMostRunStarts = 32;

struct Match {
  uint32_t offset = 0;
  uint32_t length = 0;
};

// Offers a way of reaching a position to its slots. dearest is the highest
// cost among them once all are taken (kNoCost while one is free): a way no
// cheaper can neither take a slot nor improve the one of its own offset.
void Offer(Node* slots, uint32_t& dearest, int slot_count, const Node& candidate) {
  if (candidate.cost >= dearest) return;
  int worst = 0;
  uint32_t second = 0;  // the highest cost but the worst's
  for (int k = 0; k < slot_count; ++k) {
    const uint32_t cost = slots[k].cost;
    if (cost != kNoCost && slots[k].offset == candidate.offset) {
      if (candidate.cost >= cost) return;
      slots[k] = candidate;
      if (cost == dearest) {
        dearest = 0;
        for (int other = 0; other < slot_count; ++other) dearest = std::max(dearest, slots[other].cost);
      }
      return;
    }
    if (cost > slots[worst].cost) {
      second = slots[worst].cost;
      worst = k;
    } else if (k != worst) {
      second = std::max(second, cost);
    }
  }
  slots[worst] = candidate;
  dearest = std::max(second, candidate.cost);
}

int HighPartBits(uint32_t offset) { return GammaBits((offset - 1) / 128 + 1); }

// Calls visit(length) for the lengths from low to high worth trying.
template <typename Visit>
void ForEachLength(uint32_t low, uint32_t high, uint32_t every, Visit visit) {
  for (uint32_t length = low; length <= std::min(high, every); ++length) visit(length);
  if (high <= every) return;
  for (uint32_t power = 2 * every; power <= high; power <<= 1) {
    if (power - 1 > std::max(low, every) - 1 && power - 1 < high) visit(power - 1);
    if (power > std::max(low, every) && power < high) visit(power);
  }
  visit(high);
}

class Parse {
 public:
  explicit Parse(std::span<const uint8_t> data)
      : data_(data),
        size_(static_cast<uint32_t>(data.size())),
        slots_(size_ <= kSmallInputBytes ? kMostSlots : size_ <= kLargeInputBytes ? kMidSlots : kLargeInputSlots),
        near_candidates_(size_ <= kSmallInputBytes  ? kChainDepth
                         : size_ <= kLargeInputBytes ? kMidSlots
                                                     : kLargeInputNearCandidates),
        every_length_(size_ <= kSmallInputBytes   ? kEveryLength
                      : size_ <= kLargeInputBytes ? kMidEveryLength
                                                  : kLargeInputEveryLength),
        keeps_ties_(size_ > kSmallInputBytes && size_ <= kLargeInputBytes),
        literal_((size_ + 1) * slots_),
        copy_((size_ + 1) * slots_),
        literal_dearest_(size_ + 1, kNoCost),
        copy_dearest_(size_ + 1, kNoCost),
        chain_(size_, -1),
        tree_(data, kZx0MaxOffset, kTreeLength, kTreeDepth),
        cached_at_(kZx0MaxOffset + 1, 0),
        cached_length_(kZx0MaxOffset + 1, 0) {}

  std::vector<Zx0Block> Run();

 private:
  Node* Literals(uint32_t position) { return &literal_[static_cast<size_t>(position) * slots_]; }
  Node* Copies(uint32_t position) { return &copy_[static_cast<size_t>(position) * slots_]; }
  uint32_t MatchLength(uint32_t position, uint32_t offset);
  void FindMatches(uint32_t position, std::vector<Match>& matches);
  void ReachByLiterals(uint32_t position);
  void AddRunStarts(uint32_t position);
  void OfferNewOffsets(uint32_t position, const Node& best, uint8_t best_slot, bool is_literal);
  void OfferLastOffsets(uint32_t position);
  std::vector<Zx0Block> Blocks(uint32_t position, bool is_literal, int slot);

  std::span<const uint8_t> data_;
  uint32_t size_;
  int slots_;
  int near_candidates_;
  uint32_t every_length_;
  bool keeps_ties_;
  std::vector<Node> literal_;
  std::vector<Node> copy_;
  std::vector<uint32_t> literal_dearest_;
  std::vector<uint32_t> copy_dearest_;
  std::vector<int32_t> head_ = std::vector<int32_t>(65536, -1);
  std::vector<int32_t> chain_;
  MatchTree tree_;
  // The last maximal match measured at each offset: at every position it
  // covers, the match length follows without looking at the data again.
  std::vector<uint32_t> cached_at_;
  std::vector<uint32_t> cached_length_;
  std::vector<Match> matches_;
  std::vector<RunStart> runs_{RunStart{}};
};

uint32_t Parse::MatchLength(uint32_t position, uint32_t offset) {
  const uint32_t at = cached_at_[offset];
  if (at < position && position < at + cached_length_[offset]) return at + cached_length_[offset] - position;
  uint32_t length = 0;
  while (position + length < size_ && data_[position + length] == data_[position + length - offset]) ++length;
  cached_at_[offset] = position;
  cached_length_[offset] = length;
  return length;
}

// The matches worth a copy from position, nearest first: the nearest few
// whatever their length (for the last offset they leave), then every one
// longer than all nearer ones; then position joins the candidates of later
// positions.
void Parse::FindMatches(uint32_t position, std::vector<Match>& matches) {
  matches.clear();
  if (position + 1 >= size_) return;
  const uint32_t key = data_[position] | data_[position + 1] << 8;
  uint32_t longest = 1;
  uint32_t nearest_far = 0;
  int depth = 0;
  for (int32_t at = head_[key]; at >= 0 && depth < near_candidates_; at = chain_[at], ++depth) {
    const uint32_t offset = position - static_cast<uint32_t>(at);
    if (offset > kZx0MaxOffset) break;
    nearest_far = offset;
    const uint32_t length = MatchLength(position, offset);
    if (length < 2) continue;
    matches.push_back({offset, length});
    longest = std::max(longest, length);
    if (position + longest == size_) break;
  }
  chain_[position] = head_[key];
  head_[key] = static_cast<int32_t>(position);
  tree_.Insert(position, [&](uint32_t offset, uint32_t length) {
    if (offset <= nearest_far || position + longest == size_) return;
    if (length == kTreeLength) length = MatchLength(position, offset);
    if (length <= longest) return;
    matches.push_back({offset, length});
    longest = length;
  });
}

// A literal run reaching position starts after a copy (or at the start of
// the data, where the stream's first block has no indicator bit). Which start
// is cheapest depends on where the run ends, through the length code.
void Parse::ReachByLiterals(uint32_t position) {
  Node* const here = Literals(position);
  for (const RunStart& run : runs_) {
    const uint32_t length = position - run.start;
    const int64_t cost = run.base + 8 * static_cast<int64_t>(position) + GammaBits(length);
    Offer(here, literal_dearest_[position], slots_, {static_cast<uint32_t>(cost), run.start, run.offset, run.slot, 0});
  }
}

// The copies ending at position become starts of later literal runs. A start
// is dropped when a later one with the same last offset costs no more, and
// when its cost is beyond what the shorter length code of a later start can
// ever make up.
void Parse::AddRunStarts(uint32_t position) {
  for (int k = 0; k < slots_; ++k) {
    const Node& copy = Copies(position)[k];
    if (copy.cost == kNoCost) continue;
    const int64_t base = copy.cost + 1 - 8 * static_cast<int64_t>(position);
    std::erase_if(runs_, [&](const RunStart& run) { return run.offset == copy.offset && run.base >= base; });
    runs_.push_back({position, base, copy.offset, static_cast<uint8_t>(k)});
  }
  int64_t cheapest = runs_.front().base;
  for (const RunStart& run : runs_) cheapest = std::min(cheapest, run.base);
  const int64_t reach = cheapest + 2 * std::bit_width(size_) + 2;
  std::erase_if(runs_, [&](const RunStart& run) { return run.base > reach; });
  const size_t most = size_ <= kSmallInputBytes ? kSmallInputRunStarts : kMostRunStarts;
  if (runs_.size() <= most) return;
  std::nth_element(runs_.begin(), runs_.begin() + static_cast<ptrdiff_t>(most), runs_.end(),
                   [](const RunStart& a, const RunStart& b) { return a.base < b.base; });
  runs_.resize(most);
}

// A new offset forgets the one before, so only the cheapest way here matters.
// A farther match shorter than a nearer one costs more for every length,
// unless both take the one-bit high part; so does one just as long, but it
// leaves another last offset, which can pay back after the next literals,
// and so can a shorter one (a string of a screen's few byte values found at
// many places): small inputs keep them all, the middle-sized ones the ties,
// the large ones neither (too many ways for their slots).
void Parse::OfferNewOffsets(uint32_t position, const Node& best, uint8_t best_slot, bool is_literal) {
  FindMatches(position, matches_);
  const uint32_t tie = keeps_ties_ ? 1 : 0;
  uint32_t shorter = 1;
  for (const Match& match : matches_) {
    if (size_ > kSmallInputBytes && match.length + tie <= shorter && HighPartBits(match.offset) > 1) continue;
    shorter = std::max(shorter, match.length);
    const uint32_t base = best.cost + HighPartBits(match.offset) + 8;
    const Node node{0, position, static_cast<uint16_t>(match.offset), best_slot,
                    static_cast<uint8_t>(is_literal ? kFromLiteral : 0)};
    ForEachLength(2, match.length, every_length_, [&](uint32_t length) {
      Node reached = node;
      reached.cost = base + GammaBits(length - 1);
      Offer(Copies(position + length), copy_dearest_[position + length], slots_, reached);
    });
  }
}

void Parse::OfferLastOffsets(uint32_t position) {
  for (int k = 0; k < slots_; ++k) {
    const Node& literal = Literals(position)[k];
    if (literal.cost == kNoCost) continue;
    const uint32_t longest = literal.offset <= position ? MatchLength(position, literal.offset) : 0;
    const Node node{0, position, literal.offset, static_cast<uint8_t>(k), kFromLiteral | kIsLastOffset};
    ForEachLength(1, longest, every_length_, [&](uint32_t length) {
      Node reached = node;
      reached.cost = literal.cost + 1 + GammaBits(length);
      Offer(Copies(position + length), copy_dearest_[position + length], slots_, reached);
    });
  }
}

std::vector<Zx0Block> Parse::Run() {
  Copies(0)[0] = {0, 0, 1, 0, 0};
  FindMatches(0, matches_);
  bool best_is_literal = false;
  int best_slot = 0;
  for (uint32_t position = 1; position <= size_; ++position) {
    ReachByLiterals(position);
    uint32_t best_cost = kNoCost;
    for (int k = 0; k < slots_; ++k) {
      for (const bool is_literal : {true, false}) {
        const uint32_t cost = (is_literal ? Literals(position) : Copies(position))[k].cost;
        if (cost >= best_cost) continue;
        best_cost = cost;
        best_is_literal = is_literal;
        best_slot = k;
      }
    }
    if (position == size_) break;
    AddRunStarts(position);
    const Node& best = best_is_literal ? Literals(position)[best_slot] : Copies(position)[best_slot];
    OfferNewOffsets(position, best, static_cast<uint8_t>(best_slot), best_is_literal);
    OfferLastOffsets(position);
  }
  return Blocks(size_, best_is_literal, best_slot);
}

// Walks back from the cheapest way of reaching position.
std::vector<Zx0Block> Parse::Blocks(uint32_t position, bool is_literal, int slot) {
  std::vector<Zx0Block> blocks;
  while (position > 0) {
    const Node& node = is_literal ? Literals(position)[slot] : Copies(position)[slot];
    Zx0Block block{Zx0BlockKind::kLiterals, position - node.from, node.offset};
    if (!is_literal)
      block.kind = (node.flags & kIsLastOffset) ? Zx0BlockKind::kLastOffset : Zx0BlockKind::kNewOffset;
    blocks.push_back(block);
    is_literal = !is_literal && (node.flags & kFromLiteral) != 0;
    position = node.from;
    slot = node.from_slot;
  }
  std::reverse(blocks.begin(), blocks.end());
  return blocks;
}

}  // namespace

std::vector<Zx0Block> ChooseZX0Blocks(std::span<const uint8_t> data) { return Parse(data).Run(); }

std::vector<uint8_t> CompressZX0Bytes(std::span<const uint8_t> input, Zx0Direction direction) {
  if (direction == Zx0Direction::kForward) return EncodeZX0Blocks(input, ChooseZX0Blocks(input), direction);
  const std::vector<uint8_t> reversed(input.rbegin(), input.rend());
  return EncodeZX0Blocks(reversed, ChooseZX0Blocks(reversed), direction);
}
