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

// The piece that starts at position: the longest chunk of 4 to chunk_size
// words that repeats right behind itself (its first copy ending before the last
// word), with at most 4095 occurrences; else the single word at position.
AyListPiece FindAyListPiece(std::span<const uint16_t> words, size_t position, int chunk_size);

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
