#include "toolkit/sound/ay_optimizer.h"

#include <algorithm>
#include <cstdio>

#include "common/input_file.h"
#include "common/line_output.h"
#include "common/number_text.h"
#include "toolkit/sound/sample_runs.h"

namespace {

constexpr char kPrefix[] = "OptimizeAYlist : ";

// Chunks of fewer than 4 words are never tried: short repeats stay plain words.
constexpr int kShortestChunk = 4;
// The DMA's REPEAT instruction is 2NNN: a 12-bit count.
constexpr int kMaxOccurrences = 4095;
constexpr int kRepeatInstruction = 8192;
// The DMA's LOOP instruction, closing the repeated chunk.
constexpr char kLoopLine[] = "dw #4001 ;next";

constexpr int kWordBytes = 2;

bool IsSameChunk(std::span<const uint16_t> words, size_t first, size_t second, size_t chunk_words) {
  return std::equal(words.begin() + static_cast<ptrdiff_t>(first),
                    words.begin() + static_cast<ptrdiff_t>(first + chunk_words),
                    words.begin() + static_cast<ptrdiff_t>(second));
}

// Occurrences of the chunk at position, counting the chunk itself; 1 when it
// does not repeat. The first copy must end before the last word.
int CountOccurrences(std::span<const uint16_t> words, size_t position, size_t chunk_words) {
  const size_t n = words.size();
  if (position + 2 * chunk_words >= n) return 1;
  int occurrences = 1;
  size_t copy = position + chunk_words;
  while (occurrences < kMaxOccurrences && copy + chunk_words <= n &&
         IsSameChunk(words, position, copy, chunk_words)) {
    ++occurrences;
    copy += chunk_words;
  }
  return occurrences;
}

std::string WordLine(uint16_t word) { return "dw #" + Hex(word, 4); }

// The whole file as words, or false when it can not be read.
bool ReadWords(std::FILE* file, uint64_t length, std::vector<uint16_t>& words) {
  std::vector<uint8_t> bytes(static_cast<size_t>(length));
  if (std::fread(bytes.data(), 1, bytes.size(), file) != bytes.size()) return false;
  words.resize(bytes.size() / kWordBytes);
  for (size_t k = 0; k < words.size(); ++k) {
    words[k] = static_cast<uint16_t>(bytes[2 * k] | bytes[2 * k + 1] << 8);
  }
  return true;
}

}  // namespace

AyListPiece FindAyListPiece(std::span<const uint16_t> words, size_t position, int chunk_size) {
  // A chunk longer than half of what is left can not repeat; starting there
  // also keeps a huge chunk_size from costing anything.
  const size_t left = words.size() - position;
  const int64_t longest = std::min<int64_t>(chunk_size, static_cast<int64_t>((left - 1) / 2));
  for (int64_t chunk_words = longest; chunk_words >= kShortestChunk; --chunk_words) {
    const int occurrences = CountOccurrences(words, position, static_cast<size_t>(chunk_words));
    if (occurrences > 1) return AyListPiece{position, static_cast<int>(chunk_words), occurrences};
  }
  return AyListPiece{position, 1, 1};
}

int AppendAyListPieceLines(std::span<const uint16_t> words, const AyListPiece& piece,
                           std::vector<std::string>& lines) {
  if (piece.occurrences == 1) {
    lines.push_back(WordLine(words[piece.position]));
    return kWordBytes;
  }
  lines.push_back("dw #" + Hex(static_cast<uint64_t>(kRepeatInstruction + piece.occurrences), 4) +
                  " ;looping " + SpacedDecimal(piece.occurrences));
  for (int k = 0; k < piece.chunk_words; ++k) lines.push_back(WordLine(words[piece.position + k]));
  lines.push_back(kLoopLine);
  return kWordBytes * (piece.chunk_words + 2);
}

std::vector<std::string> OptimizedAyListLines(std::span<const uint16_t> words, int chunk_size) {
  std::vector<std::string> lines;
  for (size_t position = 0; position < words.size();) {
    const AyListPiece piece = FindAyListPiece(words, position, chunk_size);
    AppendAyListPieceLines(words, piece, lines);
    position += static_cast<size_t>(piece.chunk_words) * static_cast<size_t>(piece.occurrences);
  }
  return lines;
}

bool OptimizeAYlist(const std::string& source_path, const std::string& output_path, int32_t chunk_size) {
  if (chunk_size == 0) {
    chunk_size = kDefaultChunkWords;
    PrintLine(kPrefix + std::string("default chunksize used (") + PlainDecimal(kDefaultChunkWords) + ")");
  }
  const InputFile source = OpenInputFile(source_path);
  const uint64_t length = source.size_bytes;
  if (source.status != InputStatus::kOk) {
    PrintLine(kPrefix + std::string("can not open source file :") + source_path);
    return false;
  }
  const uint64_t word_count = length / kWordBytes;
  PrintLine(kPrefix + std::string("reading ") + SpacedDecimal(static_cast<int64_t>(length)) + " bytes , " +
            SpacedDecimal(static_cast<int64_t>(word_count)) + " instructions");
  std::vector<uint16_t> words;
  if (!ReadWords(source.file.get(), length, words)) {
    PrintLine(kPrefix + std::string("can not read source file :") + source_path);
    return false;
  }
  AsideFile file(output_path);
  if (!file.IsOpen()) {
    PrintLine(kPrefix + WriteFailureText(WriteStatus::kCannotCreate, output_path));
    return false;
  }
  int64_t written_bytes = 0;
  std::vector<std::string> lines;
  for (size_t position = 0; position < words.size();) {
    const AyListPiece piece = FindAyListPiece(words, position, chunk_size);
    if (piece.occurrences > 1) {
      PrintLine("Found " + SpacedDecimal(piece.occurrences) + " occurences , size" +
                SpacedDecimal(piece.chunk_words));
    }
    lines.clear();
    written_bytes += AppendAyListPieceLines(words, piece, lines);
    for (const std::string& line : lines) file.WriteLine(line);
    position += static_cast<size_t>(piece.chunk_words) * static_cast<size_t>(piece.occurrences);
  }
  const WriteStatus written = file.Commit();
  if (written != WriteStatus::kOk) {
    PrintLine(kPrefix + WriteFailureText(written, output_path));
    return false;
  }
  PrintLine(kPrefix + std::string("Writing ") + output_path + " " + SpacedDecimal(written_bytes) + " bytes");
  return true;
}
