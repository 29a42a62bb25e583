// A raw DMA word list for the optimiser; the first byte is the chunk size. The
// optimised pieces, expanded, must give back the input words, and bounding the
// walks by the suffix-sorted repeats from the start must give the same pieces.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "fuzz/fuzz_support.h"
#include "toolkit/sound/ay_optimizer.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  SilenceConsole();
  if (size == 0) return 0;
  const int chunk_size = data[0] - 16;
  const FuzzInputFile list(data + 1, size - 1, ".ayl");
  const std::string output = list.path() + ".asm";
  OptimizeAYlist(list.path(), output, chunk_size);
  std::remove(output.c_str());

  std::vector<uint16_t> words;
  for (size_t k = 1; k + 1 < size; k += 2) words.push_back(static_cast<uint16_t>(data[k] | data[k + 1] << 8));
  const int searched = chunk_size == 0 ? kDefaultChunkWords : chunk_size;
  std::vector<uint16_t> expanded;
  AyListSearch search(words, searched);
  AyListSearch bounded(words, searched, RepeatBound::kFromTheStart);
  size_t position = 0;
  for (AyListPiece piece; search.Next(piece);) {
    AyListPiece same;
    if (!bounded.Next(same) || same.position != piece.position || same.chunk_words != piece.chunk_words ||
        same.occurrences != piece.occurrences) {
      std::abort();
    }
    if (piece.position != position || piece.occurrences < 1 || piece.occurrences > 4095) std::abort();
    for (int n = 0; n < piece.occurrences; ++n) {
      expanded.insert(expanded.end(), words.begin() + static_cast<ptrdiff_t>(position),
                      words.begin() + static_cast<ptrdiff_t>(position + piece.chunk_words));
    }
    position += static_cast<size_t>(piece.chunk_words) * static_cast<size_t>(piece.occurrences);
  }
  AyListPiece beyond;
  if (position != words.size() || expanded != words || bounded.Next(beyond)) std::abort();
  return 0;
}
