// Suffix sorting of a word list, for the DMA list search: how far the list
// read from each position runs equal to the list read from some other one.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

// The start positions of the list's suffixes in increasing order (a suffix
// that is the start of a longer one comes first), built in linear time by
// induced sorting (SA-IS). Lists of up to 0xFFFFFFFE words.
std::vector<uint32_t> SuffixArray(std::span<const uint16_t> words);

// longest[p]: the most words that the list from p has in common with the list
// from any other position q, max over q != p of the longest k with
// words[p + i] == words[q + i] for all i < k. Linear time and memory.
std::vector<uint32_t> LongestRepeats(std::span<const uint16_t> words);
