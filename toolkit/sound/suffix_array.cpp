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
void InducedSort(std::span<const Symbol> s, uint32_t upper, std::span<uint32_t> sa) {
  const uint32_t n = static_cast<uint32_t>(s.size());
  if (n == 0) return;
  if (n == 1) {
    sa[0] = 0;
    return;
  }
  std::vector<uint8_t> is_s(n, 0);
  for (uint32_t i = n - 1; i-- > 0;) is_s[i] = s[i] == s[i + 1] ? is_s[i + 1] : s[i] < s[i + 1];

  // bucket_start[c]: where suffixes starting with c begin; s_start[c]: where
  // the S ones among them begin (L suffixes of a bucket sort before its S ones).
  std::vector<uint32_t> bucket_start(upper + 2, 0);
  std::vector<uint32_t> s_start(upper + 1, 0);
  for (uint32_t i = 0; i < n; ++i) {
    if (is_s[i]) {
      ++bucket_start[s[i] + 1];
    } else {
      ++s_start[s[i]];
    }
  }
  for (uint32_t c = 0; c <= upper; ++c) {
    s_start[c] += bucket_start[c];
    bucket_start[c + 1] += s_start[c];
  }

  std::vector<uint32_t> cursor(upper + 2);
  const auto induce = [&](std::span<const uint32_t> lms) {
    std::fill(sa.begin(), sa.end(), kEmpty);
    std::copy(s_start.begin(), s_start.end(), cursor.begin());
    for (const uint32_t d : lms) sa[cursor[s[d]]++] = d;
    std::copy(bucket_start.begin(), bucket_start.end(), cursor.begin());
    // The last suffix follows the end mark, which sorts first.
    sa[cursor[s[n - 1]]++] = n - 1;
    for (uint32_t i = 0; i < n; ++i) {
      const uint32_t v = sa[i];
      if (v != kEmpty && v >= 1 && !is_s[v - 1]) sa[cursor[s[v - 1]]++] = v - 1;
    }
    std::copy(bucket_start.begin(), bucket_start.end(), cursor.begin());
    for (uint32_t i = n; i-- > 0;) {
      const uint32_t v = sa[i];
      if (v != kEmpty && v >= 1 && is_s[v - 1]) sa[--cursor[s[v - 1] + 1]] = v - 1;
    }
  };

  // lms_index[p]: the rank of LMS position p among the LMS positions in list
  // order, kEmpty for the others.
  std::vector<uint32_t> lms_index(n, kEmpty);
  std::vector<uint32_t> lms;
  for (uint32_t i = 1; i < n; ++i) {
    if (!is_s[i - 1] && is_s[i]) {
      lms_index[i] = static_cast<uint32_t>(lms.size());
      lms.push_back(i);
    }
  }
  const uint32_t m = static_cast<uint32_t>(lms.size());
  induce(lms);
  if (m == 0) return;

  std::vector<uint32_t> sorted_lms;
  sorted_lms.reserve(m);
  for (const uint32_t v : sa) {
    if (lms_index[v] != kEmpty) sorted_lms.push_back(v);
  }
  // Name each LMS substring (from its position to the next LMS position,
  // both included) by its rank among the distinct ones.
  std::vector<uint32_t> names(m);
  uint32_t name = 0;
  names[lms_index[sorted_lms[0]]] = 0;
  for (uint32_t k = 1; k < m; ++k) {
    uint32_t left = sorted_lms[k - 1];
    uint32_t right = sorted_lms[k];
    const uint32_t left_end = lms_index[left] + 1 < m ? lms[lms_index[left] + 1] : n;
    const uint32_t right_end = lms_index[right] + 1 < m ? lms[lms_index[right] + 1] : n;
    bool same = left_end - left == right_end - right;
    if (same) {
      while (left < left_end && s[left] == s[right]) {
        ++left;
        ++right;
      }
      // A substring that runs to the end of the list holds the end mark and
      // equals no other.
      same = left != n && right != n && s[left] == s[right];
    }
    if (!same) ++name;
    names[lms_index[sorted_lms[k]]] = name;
  }
  lms_index = {};
  if (name + 1 < m) {
    std::vector<uint32_t> names_sa(m);
    InducedSort<uint32_t>(names, name, names_sa);
    for (uint32_t k = 0; k < m; ++k) sorted_lms[k] = lms[names_sa[k]];
  }
  induce(sorted_lms);
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
