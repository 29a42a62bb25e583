#include "toolkit/sound/ay_optimizer.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <climits>
#include <cstdlib>
#include <random>

#include "common/number_text.h"

namespace {

using Lines = std::vector<std::string>;
using Words = std::vector<uint16_t>;

uint16_t LineWord(const std::string& line) {
  return static_cast<uint16_t>(std::strtoul(line.substr(4, 4).c_str(), nullptr, 16));
}

// Plays the list back: a repeat line, its chunk and the loop line give the
// chunk as many times as the repeat line counts. Lines are told apart by their
// comments, so any input word may appear in a chunk.
Words Expand(const Lines& lines) {
  Words words;
  for (size_t k = 0; k < lines.size(); ++k) {
    if (lines[k].find(" ;looping ") == std::string::npos) {
      words.push_back(LineWord(lines[k]));
      continue;
    }
    const int occurrences = LineWord(lines[k]) - 0x2000;
    Words chunk;
    for (++k; k < lines.size() && lines[k] != "dw #4001 ;next"; ++k) chunk.push_back(LineWord(lines[k]));
    for (int n = 0; n < occurrences; ++n) words.insert(words.end(), chunk.begin(), chunk.end());
  }
  return words;
}

Lines WordLines(const Words& words) {
  Lines lines;
  for (const uint16_t word : words) lines.push_back("dw #" + Hex(word, 4));
  return lines;
}

AyListPiece FirstPiece(const Words& words, int chunk_size) {
  AyListSearch search(words, chunk_size);
  AyListPiece piece;
  search.Next(piece);
  return piece;
}

// The plain scan the search must agree with: every length from chunk_size
// down to 4 at every piece start, the first that repeats winning.
int ReferenceOccurrences(const Words& words, size_t position, size_t chunk) {
  if (position + 2 * chunk >= words.size()) return 1;
  int occurrences = 1;
  for (size_t copy = position + chunk; occurrences < 4095 && copy + chunk <= words.size(); copy += chunk) {
    if (!std::equal(words.begin() + position, words.begin() + position + chunk, words.begin() + copy)) break;
    ++occurrences;
  }
  return occurrences;
}

using Pieces = std::vector<std::array<size_t, 3>>;

Pieces ReferencePieces(const Words& words, int chunk_size) {
  Pieces pieces;
  for (size_t position = 0; position < words.size();) {
    size_t chunk = 1;
    int occurrences = 1;
    const int64_t longest =
        std::min<int64_t>(chunk_size, static_cast<int64_t>((words.size() - position - 1) / 2));
    for (int64_t length = longest; length >= 4 && occurrences == 1; --length) {
      occurrences = ReferenceOccurrences(words, position, static_cast<size_t>(length));
      if (occurrences > 1) chunk = static_cast<size_t>(length);
    }
    pieces.push_back({position, chunk, static_cast<size_t>(occurrences)});
    position += chunk * static_cast<size_t>(occurrences);
  }
  return pieces;
}

Pieces SearchPieces(const Words& words, int chunk_size,
                    RepeatBound bound = RepeatBound::kWhenWalksGrowLong) {
  Pieces pieces;
  AyListSearch search(words, chunk_size, bound);
  for (AyListPiece piece; search.Next(piece);) {
    pieces.push_back(
        {piece.position, static_cast<size_t>(piece.chunk_words), static_cast<size_t>(piece.occurrences)});
  }
  return pieces;
}

// A list with repeats of every length: few distinct words and copied stretches.
Words RepetitiveList(std::mt19937& random, size_t length, int distinct, size_t longest_copy) {
  Words words;
  while (words.size() < length) {
    if (words.size() > longest_copy && random() % 3 == 0) {
      const size_t chunk = 1 + random() % longest_copy;
      const size_t times = 1 + random() % 6;
      const Words tail(words.end() - static_cast<ptrdiff_t>(chunk), words.end());
      for (size_t n = 0; n < times; ++n) words.insert(words.end(), tail.begin(), tail.end());
    } else {
      words.push_back(static_cast<uint16_t>(0x0900 + random() % distinct));
    }
  }
  return words;
}

const Words kFourWords = {0x0901, 0x0902, 0x1005, 0x0903};

Words Repeated(const Words& chunk, int times) {
  Words words;
  for (int n = 0; n < times; ++n) words.insert(words.end(), chunk.begin(), chunk.end());
  return words;
}

TEST(AyOptimizer, ThreeCopiesBecomeOneRepeatBlock) {
  EXPECT_EQ(
      OptimizedAyListLines(Repeated(kFourWords, 3), kDefaultChunkWords),
      (Lines{"dw #2003 ;looping  3", "dw #0901", "dw #0902", "dw #1005", "dw #0903", "dw #4001 ;next"}));
}

TEST(AyOptimizer, FirstCopyEndingAtLastWordIsNoRepeat) {
  const Words words = Repeated(kFourWords, 2);
  EXPECT_EQ(OptimizedAyListLines(words, kDefaultChunkWords), WordLines(words));
  Words longer = words;
  longer.push_back(0x0909);
  EXPECT_EQ(OptimizedAyListLines(longer, kDefaultChunkWords).front(), "dw #2002 ;looping  2");
}

TEST(AyOptimizer, ChunkSizesBelowFourTryNothing) {
  const Words words = Repeated(kFourWords, 3);
  for (int chunk_size : {-5, 1, 2, 3}) EXPECT_EQ(OptimizedAyListLines(words, chunk_size), WordLines(words));
}

TEST(AyOptimizer, AlternatingWordsRepeatAsChunkOfFour) {
  const Lines lines = OptimizedAyListLines(Repeated({0x0901, 0x1001}, 6), kDefaultChunkWords);
  EXPECT_EQ(lines, (Lines{"dw #2003 ;looping  3", "dw #0901", "dw #1001", "dw #0901", "dw #1001",
                          "dw #4001 ;next"}));
}

TEST(AyOptimizer, LongestRepeatingChunkWins) {
  // Eight words that hold a four-word repeat, twice over, then a tail word.
  Words words = Repeated(Repeated(kFourWords, 2), 2);
  words.push_back(0x0000);
  const AyListPiece piece = FirstPiece(words, kDefaultChunkWords);
  EXPECT_EQ(piece.chunk_words, 8);
  EXPECT_EQ(piece.occurrences, 2);
  EXPECT_EQ(FirstPiece(words, 7).chunk_words, 4);
  EXPECT_EQ(FirstPiece(words, 7).occurrences, 4);
}

TEST(AyOptimizer, RepeatsAbove4095AreSplitIntoBlocks) {
  Words words = Repeated(kFourWords, 5000);
  words.push_back(0x0900);
  const Lines lines = OptimizedAyListLines(words, 4);
  ASSERT_EQ(lines.size(), 13u);
  EXPECT_EQ(lines[0], "dw #2FFF ;looping  4095");
  EXPECT_EQ(lines[6], "dw #2389 ;looping  905");
  EXPECT_EQ(lines[12], "dw #0900");
  EXPECT_EQ(Expand(lines), words);
}

TEST(AyOptimizer, ExpandingTheOutputGivesTheInput) {
  std::mt19937 random(17);
  for (int trial = 0; trial < 40; ++trial) {
    // Few distinct words and copied stretches, so that repeats of every length occur.
    Words words;
    const size_t length = random() % 600;
    while (words.size() < length) {
      if (words.size() > 8 && random() % 3 == 0) {
        const size_t chunk = 1 + random() % 8;
        const size_t times = 1 + random() % 6;
        const Words tail(words.end() - static_cast<ptrdiff_t>(chunk), words.end());
        for (size_t n = 0; n < times; ++n) words.insert(words.end(), tail.begin(), tail.end());
      } else {
        words.push_back(static_cast<uint16_t>(0x0900 + random() % 3));
      }
    }
    const int chunk_size = static_cast<int>(random() % 20);
    EXPECT_EQ(Expand(OptimizedAyListLines(words, chunk_size)), words) << trial;
  }
}

TEST(AyOptimizer, SearchGivesWhatThePlainScanGives) {
  std::mt19937 random(29);
  for (int trial = 0; trial < 300; ++trial) {
    const size_t length = random() % 700;
    const int distinct = 1 + static_cast<int>(random() % (trial % 3 == 0 ? 2 : 40));
    const Words words = RepetitiveList(random, length, distinct, 1 + random() % 40);
    for (const int chunk_size : {static_cast<int>(random() % 70), kDefaultChunkWords, INT_MAX}) {
      const Pieces reference = ReferencePieces(words, chunk_size);
      ASSERT_EQ(SearchPieces(words, chunk_size), reference) << "trial " << trial << " chunk " << chunk_size;
      ASSERT_EQ(SearchPieces(words, chunk_size, RepeatBound::kFromTheStart), reference)
          << "trial " << trial << " chunk " << chunk_size << ", walks bounded from the start";
    }
  }
}

TEST(AyOptimizer, SearchGivesWhatThePlainScanGivesOnCraftedLists) {
  std::vector<Words> lists = {
      Words(50, 0x0707),                            // one word: every length matches
      Repeated({0x0901, 0x1001}, 40),               // period two: only even lengths repeat
      Repeated(kFourWords, 5000),                   // more than 4095 copies
      Repeated(Repeated(kFourWords, 3), 7),         // nested repeats
      Repeated({1, 2, 3, 4, 5, 1, 2, 3, 4, 6}, 9),  // near misses at the fifth word
  };
  Words tail_miss = Repeated({9, 8, 7, 6, 5}, 2);  // a copy that would end at the last word
  lists.push_back(tail_miss);
  tail_miss.push_back(1);
  lists.push_back(tail_miss);
  for (size_t k = 0; k < lists.size(); ++k) {
    for (const int chunk_size : {-1, 3, 4, 5, 8, 64, 4095, INT_MAX}) {
      const Pieces reference = ReferencePieces(lists[k], chunk_size);
      EXPECT_EQ(SearchPieces(lists[k], chunk_size), reference) << "list " << k << " chunk " << chunk_size;
      EXPECT_EQ(SearchPieces(lists[k], chunk_size, RepeatBound::kFromTheStart), reference)
          << "list " << k << " chunk " << chunk_size << ", walks bounded from the start";
      EXPECT_EQ(Expand(OptimizedAyListLines(lists[k], chunk_size)), lists[k]);
    }
  }
}

}  // namespace
