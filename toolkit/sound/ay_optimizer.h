// Shortens a CPC+ sound DMA list: a chunk of instructions repeated several
// times in a row becomes one copy framed by the DMA's REPEAT and LOOP.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

// The chunk length looked for when the caller asks for 0.
inline constexpr int kDefaultChunkWords = 64;

// One piece of the optimised list: the chunk of chunk_words words at position,
// played occurrences times. A piece of one occurrence is a single plain word.
struct AyListPiece {
  size_t position = 0;
  int chunk_words = 1;
  int occurrences = 1;
};

// When the search bounds each walk by how far the list repeats (see below).
enum class RepeatBound {
  kWhenWalksGrowLong,  // once the walks have averaged kLongWalk candidates a position
  kFromTheStart,       // always, for chunk sizes past the shortest chunk (the tests)
};

inline constexpr uint64_t kLongWalk = 64;

// Walks a list piece by piece, each piece the one that starts where the last
// ended: the longest chunk of 4 to chunk_size words that repeats right behind
// itself (its first copy ending before the last word), with at most 4095
// occurrences; else the single word there.
//
// Only the lengths that can repeat are tried: a chunk of L words at p repeats
// only when the four words at p + L are the four at p, so an index chains the
// positions of each group of four words and the search walks the chain of p's
// group, longest length first. A length found not to repeat at p because words
// p + k and p + k + L differ is not tried again before p + k + 1. The plain
// scan of every length from chunk_size down took weeks on a long list with a
// large chunk_size; this one's time follows the repeats the list holds.
//
// A tune whose patterns recur thousands of times still gives every position
// thousands of candidates within a large chunk_size. A chunk of L words at p
// needs the list from p to run L words equal to the list from p + L, so no
// candidate lies past the longest stretch the list from p shares with any
// other position. Those stretches come from suffix sorting the list (linear
// time, about 20 bytes a word). On lists with few repeats the walks stay short
// and that sort would cost more than it saves, so it is made only once the
// walks grow long.
class AyListSearch {
 public:
  AyListSearch(std::span<const uint16_t> words, int chunk_size,
               RepeatBound bound = RepeatBound::kWhenWalksGrowLong);

  // The next piece, or false at the end of the list.
  bool Next(AyListPiece& piece);

 private:
  AyListPiece PieceAt(size_t position);

  std::span<const uint16_t> words_;
  int chunk_size_ = 0;
  size_t position_ = 0;
  // next_[p]: the next position after p whose four words may equal p's
  // (groups are chained by a hash: the walk checks them), kNoPosition at the end.
  std::vector<uint32_t> next_;
  std::vector<uint32_t> candidates_;
  // blocked_until_[L]: no chunk of L words repeats at a start below it.
  std::vector<uint32_t> blocked_until_;
  // longest_repeat_[p]: the most words the list from p shares with the list
  // from any other position, the longest chunk that can repeat at p; empty
  // until the walks grow long.
  std::vector<uint32_t> longest_repeat_;
  uint64_t walked_ = 0;
};

// The longest list the search indexes, in words (positions are 32 bits).
inline constexpr uint64_t kMaxAyListWords = 0xFFFFFFFEu;

// The source lines of one piece, appended to lines; returns the bytes they
// assemble to (2 a line).
int AppendAyListPieceLines(std::span<const uint16_t> words, const AyListPiece& piece,
                           std::vector<std::string>& lines);

// The whole optimised list, one entry a line (chunk_size already past its default).
std::vector<std::string> OptimizedAyListLines(std::span<const uint16_t> words, int chunk_size);

// OptimizeAYlist: reads source_path as little-endian words (an odd last byte is
// ignored) and writes the optimised source to output_path; chunk_size 0 means
// kDefaultChunkWords. Refuses a missing source with one line and writes nothing.
// True when the output was written.
bool OptimizeAYlist(const std::string& source_path, const std::string& output_path, int32_t chunk_size);
