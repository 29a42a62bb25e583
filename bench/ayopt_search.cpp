// The ayopt search against its chunk argument: chunk 64 and chunk 2147483647
// on DMA lists of 160 K and 16 M words, random and music-like. The search time
// must follow the list, not the chunk argument.
// bench_ayopt_search [words ...]   (default: 163840 16777216)
#include <algorithm>
#include <chrono>
#include <climits>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <vector>

#include "toolkit/sound/ay_optimizer.h"

namespace {

// Random words: almost no repeats, the search's cheapest case.
std::vector<uint16_t> RandomList(size_t count) {
  std::mt19937 random(7);
  std::vector<uint16_t> words(count);
  for (uint16_t& word : words) word = static_cast<uint16_t>(random());
  return words;
}

// What a tracker tune becomes: each frame writes the registers that changed
// (tone periods, volumes, the mixer) and pauses until the next frame; notes
// hold for a few frames with a decaying volume, rows make 32-row patterns,
// and the song plays patterns from an order list with repeats.
std::vector<uint16_t> MusicList(size_t count) {
  std::mt19937 random(11);
  constexpr int kPatterns = 12;
  std::vector<std::vector<uint16_t>> patterns(kPatterns);
  for (std::vector<uint16_t>& pattern : patterns) {
    for (int row = 0; row < 32; ++row) {
      const int note = static_cast<int>(random() % 48);
      const int period = 3822 >> (note / 12) ^ (note % 12) * 13;
      const int hold = 2 + static_cast<int>(random() % 5);
      for (int frame = 0; frame < hold; ++frame) {
        if (frame == 0) {
          pattern.push_back(static_cast<uint16_t>(0x0000 | (period & 0xFF)));
          pattern.push_back(static_cast<uint16_t>(0x0100 | (period >> 8 & 0x0F)));
          pattern.push_back(static_cast<uint16_t>(0x0700 | 0x38));
        }
        pattern.push_back(static_cast<uint16_t>(0x0800 | std::max(0, 15 - 2 * frame)));
        pattern.push_back(static_cast<uint16_t>(0x0900 | (row % 4 == 0 ? 15 - frame : 0)));
        pattern.push_back(0x1000 | 311);  // one 50 Hz frame of 64 us steps
      }
    }
  }
  std::vector<uint16_t> words;
  while (words.size() < count) {
    const int order = static_cast<int>(random() % kPatterns);
    const int times = 1 + static_cast<int>(random() % 3);
    for (int n = 0; n < times; ++n) words.insert(words.end(), patterns[order].begin(), patterns[order].end());
  }
  words.resize(count);
  return words;
}

// A search that runs past this many seconds is stopped and reported with the
// share of the list it got through.
constexpr double kLimitSeconds = 60;

double SearchSeconds(const std::vector<uint16_t>& words, int chunk_size, size_t& pieces, size_t& searched) {
  const auto start = std::chrono::steady_clock::now();
  const auto elapsed = [&] {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  };
  AyListSearch search(words, chunk_size);
  pieces = 0;
  searched = 0;
  for (AyListPiece piece; search.Next(piece);) {
    ++pieces;
    searched =
        piece.position + static_cast<size_t>(piece.chunk_words) * static_cast<size_t>(piece.occurrences);
    if (pieces % 64 == 0 && elapsed() > kLimitSeconds) break;
  }
  return elapsed();
}

// The scan ayopt made before: every length from chunk_size down at every
// piece start. Measured on the short lists only, with the same time limit.
double PlainScanSeconds(const std::vector<uint16_t>& words, int chunk_size, size_t& searched) {
  const auto start = std::chrono::steady_clock::now();
  const auto elapsed = [&] {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  };
  const size_t n = words.size();
  size_t position = 0;
  for (size_t pieces = 1; position < n; ++pieces) {
    size_t step = 1;
    const int64_t longest = std::min<int64_t>(chunk_size, static_cast<int64_t>((n - position - 1) / 2));
    for (int64_t length = longest; length >= 4; --length) {
      const size_t chunk = static_cast<size_t>(length);
      if (position + 2 * chunk >= n) continue;
      size_t copies = 1;
      while (copies < 4095 && position + (copies + 1) * chunk <= n &&
             std::equal(words.begin() + position, words.begin() + position + chunk,
                        words.begin() + position + copies * chunk)) {
        ++copies;
      }
      if (copies > 1) {
        step = chunk * copies;
        break;
      }
    }
    position += step;
    if (pieces % 64 == 0 && elapsed() > kLimitSeconds) break;
  }
  searched = position;
  return elapsed();
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<size_t> sizes = {163840, 16777216};
  if (argc > 1) {
    sizes.clear();
    for (int k = 1; k < argc; ++k) sizes.push_back(std::strtoull(argv[k], nullptr, 10));
  }
  for (const size_t size : sizes) {
    for (const bool is_music : {false, true}) {
      const std::vector<uint16_t> words = is_music ? MusicList(size) : RandomList(size);
      for (const int chunk_size : {64, INT_MAX}) {
        size_t pieces = 0;
        size_t searched = 0;
        const double seconds = SearchSeconds(words, chunk_size, pieces, searched);
        std::printf("%-6s %9zu words  chunk %10d: %8.3f s, %9zu pieces", is_music ? "music" : "random", size,
                    chunk_size, seconds, pieces);
        if (searched < words.size()) std::printf("  (stopped at word %zu)", searched);
        std::printf("\n");
        if (size <= 163840) {
          const double plain = PlainScanSeconds(words, chunk_size, searched);
          std::printf("%-6s %9zu words  chunk %10d: %8.3f s  plain scan", is_music ? "music" : "random", size,
                      chunk_size, plain);
          if (searched < words.size()) std::printf("  (stopped at word %zu)", searched);
          std::printf("\n");
        }
        std::fflush(stdout);
      }
    }
  }
  return 0;
}
