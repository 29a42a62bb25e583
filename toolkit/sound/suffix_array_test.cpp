#include "toolkit/sound/suffix_array.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <numeric>
#include <random>

namespace {

using Words = std::vector<uint16_t>;

std::vector<uint32_t> SortedSuffixes(const Words& words) {
  std::vector<uint32_t> order(words.size());
  std::iota(order.begin(), order.end(), 0u);
  std::sort(order.begin(), order.end(), [&](uint32_t a, uint32_t b) {
    return std::lexicographical_compare(words.begin() + a, words.end(), words.begin() + b, words.end());
  });
  return order;
}

std::vector<uint32_t> LongestRepeatsByComparing(const Words& words) {
  std::vector<uint32_t> longest(words.size(), 0);
  for (size_t p = 0; p < words.size(); ++p) {
    for (size_t q = 0; q < words.size(); ++q) {
      if (q == p) continue;
      uint32_t k = 0;
      while (p + k < words.size() && q + k < words.size() && words[p + k] == words[q + k]) ++k;
      longest[p] = std::max(longest[p], k);
    }
  }
  return longest;
}

// Few distinct words, runs and copied stretches: the lists where LMS
// substrings repeat and the sort has to go a level deeper, several times.
Words TestList(std::mt19937& random, size_t length) {
  const int distinct = 1 + static_cast<int>(random() % 5);
  const bool wide = random() % 4 == 0;
  Words words;
  while (words.size() < length) {
    if (words.size() > 8 && random() % 4 == 0) {
      const size_t chunk = 1 + random() % 8;
      const Words tail(words.end() - static_cast<ptrdiff_t>(chunk), words.end());
      for (size_t n = 1 + random() % 3; n-- > 0;) words.insert(words.end(), tail.begin(), tail.end());
    } else {
      words.push_back(static_cast<uint16_t>(wide ? 0xFFFF - random() % distinct : random() % distinct));
    }
  }
  words.resize(length);
  return words;
}

TEST(SuffixArray, SortsLikeComparingEverySuffix) {
  std::mt19937 random(5);
  for (int trial = 0; trial < 800; ++trial) {
    const Words words = TestList(random, random() % 120);
    ASSERT_EQ(SuffixArray(words), SortedSuffixes(words)) << "trial " << trial;
  }
  for (const Words& words : {Words{}, Words{7}, Words(300, 0), Words{3, 2, 1, 0}, Words{0, 1, 2, 3, 0xFFFF}}) {
    EXPECT_EQ(SuffixArray(words), SortedSuffixes(words));
  }
}

TEST(SuffixArray, LongestRepeatsAreTheLongestCommonStretches) {
  std::mt19937 random(9);
  for (int trial = 0; trial < 300; ++trial) {
    const Words words = TestList(random, random() % 90);
    ASSERT_EQ(LongestRepeats(words), LongestRepeatsByComparing(words)) << "trial " << trial;
  }
  EXPECT_EQ(LongestRepeats(Words(6, 4)), (std::vector<uint32_t>{5, 5, 4, 3, 2, 1}));
  EXPECT_EQ(LongestRepeats(Words{1, 2, 3}), (std::vector<uint32_t>{0, 0, 0}));
}

}  // namespace
