#include "toolkit/sound/suffix_array.h"

#include <algorithm>

namespace {

constexpr uint32_t kEmpty = 0xFFFFFFFFu;

// Induced sorting. Each suffix is S (smaller than the suffix after it) or L
// (larger); the last is L, as if an end mark smaller than every word followed.
// An LMS position is an S one right after an L one. Sorting the LMS suffixes
// sorts everything else by two sweeps: the L suffixes are induced from left to
// right into the fronts of their first word's bucket, the S ones from right to
// left into the backs. The LMS suffixes themselves are sorted by one induced
// pass over their LMS substrings, then, when two substrings are equal, by
// sorting the shorter list of substring names the same way.
template <typename Symbol>
void InducedSort(std::span<const Symbol> s, uint32_t upper, std::span<uint32_t> sa);

// The S/L type of every suffix of s.
template <typename Symbol>
std::vector<uint8_t> SuffixTypes(std::span<const Symbol> s) {
  const uint32_t n = static_cast<uint32_t>(s.size());
  std::vector<uint8_t> is_s(n, 0);
  for (uint32_t i = n - 1; i-- > 0;) is_s[i] = s[i] == s[i + 1] ? is_s[i + 1] : s[i] < s[i + 1];
  return is_s;
}

// bucket_start[c]: where suffixes starting with c begin; s_start[c]: where
// the S ones among them begin (L suffixes of a bucket sort before its S ones).
struct Buckets {
  std::vector<uint32_t> bucket_start;
  std::vector<uint32_t> s_start;
  std::vector<uint32_t> cursor;
};

template <typename Symbol>
Buckets BucketsOf(std::span<const Symbol> s, const std::vector<uint8_t>& is_s, uint32_t upper) {
  Buckets buckets{std::vector<uint32_t>(upper + 2, 0), std::vector<uint32_t>(upper + 1, 0),
                  std::vector<uint32_t>(upper + 2)};
  for (size_t i = 0; i < s.size(); ++i) {
    if (is_s[i]) {
      ++buckets.bucket_start[s[i] + 1];
    } else {
      ++buckets.s_start[s[i]];
    }
  }
  for (uint32_t c = 0; c <= upper; ++c) {
    buckets.s_start[c] += buckets.bucket_start[c];
    buckets.bucket_start[c + 1] += buckets.s_start[c];
  }
  return buckets;
}

// Places the LMS suffixes lms at the backs of their buckets, in that order,
// then induces the L suffixes left to right and the S ones right to left.
template <typename Symbol>
void Induce(std::span<const Symbol> s, const std::vector<uint8_t>& is_s, Buckets& buckets,
            std::span<const uint32_t> lms, std::span<uint32_t> sa) {
  const uint32_t n = static_cast<uint32_t>(s.size());
  std::vector<uint32_t>& cursor = buckets.cursor;
  std::fill(sa.begin(), sa.end(), kEmpty);
  std::copy(buckets.s_start.begin(), buckets.s_start.end(), cursor.begin());
  for (const uint32_t d : lms) sa[cursor[s[d]]++] = d;
  std::copy(buckets.bucket_start.begin(), buckets.bucket_start.end(), cursor.begin());
  // The last suffix follows the end mark, which sorts first.
  sa[cursor[s[n - 1]]++] = n - 1;
  for (uint32_t i = 0; i < n; ++i) {
    const uint32_t v = sa[i];
    if (v != kEmpty && v >= 1 && !is_s[v - 1]) sa[cursor[s[v - 1]]++] = v - 1;
  }
  std::copy(buckets.bucket_start.begin(), buckets.bucket_start.end(), cursor.begin());
  for (uint32_t i = n; i-- > 0;) {
    const uint32_t v = sa[i];
    if (v != kEmpty && v >= 1 && is_s[v - 1]) sa[--cursor[s[v - 1] + 1]] = v - 1;
  }
}

// The LMS positions in list order, and lms_index[p]: the rank of LMS
// position p among them, kEmpty for the others.
struct LmsPositions {
  std::vector<uint32_t> lms;
  std::vector<uint32_t> lms_index;
};

LmsPositions FindLms(const std::vector<uint8_t>& is_s) {
  const uint32_t n = static_cast<uint32_t>(is_s.size());
  LmsPositions found{{}, std::vector<uint32_t>(n, kEmpty)};
  for (uint32_t i = 1; i < n; ++i) {
    if (!is_s[i - 1] && is_s[i]) {
      found.lms_index[i] = static_cast<uint32_t>(found.lms.size());
      found.lms.push_back(i);
    }
  }
  return found;
}

// True when the LMS substrings at left and right (from the position to the
// next LMS position, both included) are equal.
template <typename Symbol>
bool IsSameSubstring(std::span<const Symbol> s, const LmsPositions& found, uint32_t left, uint32_t right) {
  const uint32_t n = static_cast<uint32_t>(s.size());
  const uint32_t m = static_cast<uint32_t>(found.lms.size());
  const uint32_t left_end = found.lms_index[left] + 1 < m ? found.lms[found.lms_index[left] + 1] : n;
  const uint32_t right_end = found.lms_index[right] + 1 < m ? found.lms[found.lms_index[right] + 1] : n;
  if (left_end - left != right_end - right) return false;
  while (left < left_end && s[left] == s[right]) {
    ++left;
    ++right;
  }
  // A substring that runs to the end of the list holds the end mark and
  // equals no other.
  return left != n && right != n && s[left] == s[right];
}

// Names each LMS substring by its rank among the distinct ones, in list
// order; returns the highest name.
template <typename Symbol>
uint32_t NameSubstrings(std::span<const Symbol> s, const LmsPositions& found,
                        const std::vector<uint32_t>& sorted_lms, std::vector<uint32_t>& names) {
  const uint32_t m = static_cast<uint32_t>(found.lms.size());
  uint32_t name = 0;
  names[found.lms_index[sorted_lms[0]]] = 0;
  for (uint32_t k = 1; k < m; ++k) {
    if (!IsSameSubstring(s, found, sorted_lms[k - 1], sorted_lms[k])) ++name;
    names[found.lms_index[sorted_lms[k]]] = name;
  }
  return name;
}

// The LMS suffixes in suffix order: one induced pass sorts their substrings;
// when two are equal, the shorter list of names is sorted the same way.
template <typename Symbol>
std::vector<uint32_t> SortLms(std::span<const Symbol> s, LmsPositions& found, std::span<const uint32_t> sa) {
  const uint32_t m = static_cast<uint32_t>(found.lms.size());
  std::vector<uint32_t> sorted_lms;
  sorted_lms.reserve(m);
  for (const uint32_t v : sa) {
    if (found.lms_index[v] != kEmpty) sorted_lms.push_back(v);
  }
  std::vector<uint32_t> names(m);
  const uint32_t highest = NameSubstrings(s, found, sorted_lms, names);
  found.lms_index = {};
  if (highest + 1 < m) {
    std::vector<uint32_t> names_sa(m);
    InducedSort<uint32_t>(names, highest, names_sa);
    for (uint32_t k = 0; k < m; ++k) sorted_lms[k] = found.lms[names_sa[k]];
  }
  return sorted_lms;
}

// Induced sorting. Each suffix is S (smaller than the suffix after it) or L
// (larger); the last is L, as if an end mark smaller than every word followed.
// An LMS position is an S one right after an L one. Sorting the LMS suffixes
// sorts everything else by two sweeps: the L suffixes are induced from left to
// right into the fronts of their first word's bucket, the S ones from right to
// left into the backs. The LMS suffixes themselves are sorted by one induced
// pass over their LMS substrings, then, when two substrings are equal, by
// sorting the shorter list of substring names the same way.
template <typename Symbol>
void InducedSort(std::span<const Symbol> s, uint32_t upper, std::span<uint32_t> sa) {
  if (s.empty()) return;
  if (s.size() == 1) {
    sa[0] = 0;
    return;
  }
  const std::vector<uint8_t> is_s = SuffixTypes(s);
  Buckets buckets = BucketsOf(s, is_s, upper);
  LmsPositions found = FindLms(is_s);
  Induce(s, is_s, buckets, std::span<const uint32_t>(found.lms), sa);
  if (found.lms.empty()) return;
  const std::vector<uint32_t> sorted_lms = SortLms(s, found, sa);
  Induce(s, is_s, buckets, std::span<const uint32_t>(sorted_lms), sa);
}

// lengths[p]: the words the list from p shares with the list from its
// neighbour in suffix order (neighbour[p], kEmpty for none). Going from p to
// p + 1 the shared length drops by at most one, so the sweep is linear.
void AddNeighbourLengths(std::span<const uint16_t> words, std::span<const uint32_t> neighbour,
                         std::span<uint32_t> lengths) {
  const size_t n = words.size();
  size_t shared = 0;
  for (size_t p = 0; p < n; ++p) {
    const uint32_t q = neighbour[p];
    if (q == kEmpty) {
      shared = 0;
      continue;
    }
    while (p + shared < n && q + shared < n && words[p + shared] == words[q + shared]) ++shared;
    lengths[p] = std::max(lengths[p], static_cast<uint32_t>(shared));
    if (shared > 0) --shared;
  }
}

}  // namespace

std::vector<uint32_t> SuffixArray(std::span<const uint16_t> words) {
  std::vector<uint32_t> sa(words.size());
  InducedSort<uint16_t>(words, 0xFFFF, sa);
  return sa;
}

// The suffix sharing the most with p's is one of its two neighbours in suffix
// order, so the two sweeps give the longest repeat of every position.
std::vector<uint32_t> LongestRepeats(std::span<const uint16_t> words) {
  const size_t n = words.size();
  std::vector<uint32_t> longest;
  if (n < 2) return std::vector<uint32_t>(n, 0);
  // Allocated once the sort, which needs the most memory, is done.
  std::vector<uint32_t> neighbour;
  {
    const std::vector<uint32_t> sa = SuffixArray(words);
    neighbour.assign(n, kEmpty);
    for (size_t k = 1; k < n; ++k) neighbour[sa[k]] = sa[k - 1];
    longest.assign(n, 0);
    AddNeighbourLengths(words, neighbour, longest);
    std::fill(neighbour.begin(), neighbour.end(), kEmpty);
    for (size_t k = 0; k + 1 < n; ++k) neighbour[sa[k]] = sa[k + 1];
  }
  AddNeighbourLengths(words, neighbour, longest);
  return longest;
}
