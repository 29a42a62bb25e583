#include "toolkit/sound/ay_optimizer.h"

#include <algorithm>
#include <cstdio>

#include "common/assembler_label.h"
#include "common/input_file.h"
#include "common/line_output.h"
#include "common/number_text.h"
#include "common/source_dialect.h"
#include "toolkit/sound/sample_runs.h"
#include "toolkit/sound/suffix_array.h"

namespace {

constexpr char kPrefix[] = "OptimizeAYlist : ";

// Chunks of fewer than 4 words are never tried: short repeats stay plain words.
constexpr size_t kShortestChunk = 4;
// The DMA's REPEAT instruction is 2NNN: a 12-bit count.
constexpr int kMaxOccurrences = 4095;
constexpr int kRepeatInstruction = 8192;
// The DMA's LOOP instruction, closing the repeated chunk.
constexpr int kLoopInstruction = 0x4001;

constexpr int kWordBytes = 2;

constexpr uint32_t kNoPosition = 0xFFFFFFFFu;
// 16 M buckets (64 MB while the chains are built) serve lists of 16 M words
// and more.
constexpr size_t kMaxBucketBits = 24;

// The chain of a position holds the positions whose first four words may be
// its own: a chunk is 4 words or more, so a copy starts with the same four.
size_t GramBucket(std::span<const uint16_t> words, size_t p, size_t bucket_bits) {
  uint64_t gram = 0;
  for (size_t k = 0; k < kShortestChunk; ++k) gram = gram << 16 | words[p + k];
  return static_cast<size_t>((gram * 0x9E3779B97F4A7C15ULL) >> (64 - bucket_bits));
}

bool IsSameGram(std::span<const uint16_t> words, size_t p, size_t q) {
  return std::equal(words.begin() + static_cast<ptrdiff_t>(p),
                    words.begin() + static_cast<ptrdiff_t>(p + kShortestChunk),
                    words.begin() + static_cast<ptrdiff_t>(q));
}

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

// A plain word's line in each dialect, made once: most lines of a list are one.
constexpr ListLine kWordLines[] = {WordListLine(SourceSyntax::kWinApe), WordListLine(SourceSyntax::kSdasz80),
                                   WordListLine(SourceSyntax::kC)};

void AddWord(SourceText& text, uint16_t word) {
  const ListLine& line = kWordLines[static_cast<size_t>(text.names.syntax)];
  uint8_t bytes[kLineCopyBytes];
  PutListLine(line, HexPairs()[word >> 8], HexPairs()[word & 0xFF], bytes);
  text.text.append(reinterpret_cast<const char*>(bytes), line.length);
  text.array_bytes += kWordBytes;
}

// An instruction word with its comment.
void AddCommentedWord(SourceText& text, int word, const std::string& comment) {
  const SourceNumber value[] = {HexNumber(word, 4)};
  AddWordLine(text, value, comment);
}

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

AyListSearch::AyListSearch(std::span<const uint16_t> words, int chunk_size, RepeatBound bound)
    : words_(words), chunk_size_(chunk_size) {
  if (chunk_size_ < static_cast<int>(kShortestChunk) || words_.size() < 2 * kShortestChunk + 1) return;
  // About one bucket a position, so that chains hold few strangers: with a
  // large chunk_size every stranger up to the end of the list is a cache miss.
  size_t bucket_bits = 10;
  while (bucket_bits < kMaxBucketBits && (size_t{1} << bucket_bits) < words_.size()) ++bucket_bits;
  std::vector<uint32_t> last(size_t{1} << bucket_bits, kNoPosition);
  next_.assign(words_.size(), kNoPosition);
  blocked_until_.assign(words_.size() / 2 + 1, 0);
  for (size_t p = words_.size() - kShortestChunk + 1; p-- > 0;) {
    uint32_t& bucket = last[GramBucket(words_, p, bucket_bits)];
    next_[p] = bucket;
    bucket = static_cast<uint32_t>(p);
  }
  if (bound == RepeatBound::kFromTheStart && chunk_size_ > static_cast<int>(kShortestChunk)) {
    longest_repeat_ = LongestRepeats(words_);
  }
}

bool AyListSearch::Next(AyListPiece& piece) {
  if (position_ >= words_.size()) return false;
  piece = PieceAt(position_);
  position_ += static_cast<size_t>(piece.chunk_words) * static_cast<size_t>(piece.occurrences);
  return true;
}

AyListPiece AyListSearch::PieceAt(size_t position) {
  // A chunk longer than half of what is left can not repeat: the first copy
  // must end before the last word.
  const size_t left = words_.size() - position;
  int64_t longest = std::min<int64_t>(chunk_size_, static_cast<int64_t>((left - 1) / 2));
  // A chunk of L words repeats only where the list from position runs L words
  // equal to the list from position + L.
  if (!longest_repeat_.empty()) longest = std::min<int64_t>(longest, longest_repeat_[position]);
  if (longest < static_cast<int64_t>(kShortestChunk)) return AyListPiece{position, 1, 1};
  const size_t farthest = position + static_cast<size_t>(longest);
  candidates_.clear();
  for (uint32_t q = next_[position]; q != kNoPosition && q <= farthest; q = next_[q]) {
    if (q >= position + kShortestChunk && IsSameGram(words_, position, q)) {
      candidates_.push_back(q);
    }
  }
  walked_ += candidates_.size();
  if (longest_repeat_.empty() && walked_ > kLongWalk * (position + 1)) {
    longest_repeat_ = LongestRepeats(words_);
  }
  for (auto q = candidates_.rbegin(); q != candidates_.rend(); ++q) {
    const size_t chunk_words = *q - position;
    // Known not to repeat here: an earlier look at this length met a
    // difference that is still ahead.
    if (blocked_until_[chunk_words] > position) continue;
    const auto [first_difference, copy_difference] = std::mismatch(
        words_.begin() + static_cast<ptrdiff_t>(position), words_.begin() + static_cast<ptrdiff_t>(*q),
        words_.begin() + static_cast<ptrdiff_t>(*q));
    if (first_difference != words_.begin() + static_cast<ptrdiff_t>(*q)) {
      // Words position + k and position + k + L differ: no chunk of L words
      // repeats at any start up to position + k.
      const size_t k = static_cast<size_t>(first_difference - words_.begin()) - position;
      blocked_until_[chunk_words] = static_cast<uint32_t>(position + k + 1);
      continue;
    }
    const int occurrences = CountOccurrences(words_, position, chunk_words);
    return AyListPiece{position, static_cast<int>(chunk_words), occurrences};
  }
  return AyListPiece{position, 1, 1};
}

namespace {

int AddAyListPiece(SourceText& text, std::span<const uint16_t> words, const AyListPiece& piece) {
  if (piece.occurrences == 1) {
    AddWord(text, words[piece.position]);
    return kWordBytes;
  }
  AddCommentedWord(text, kRepeatInstruction + piece.occurrences,
                   "looping " + SpacedDecimal(piece.occurrences));
  for (int k = 0; k < piece.chunk_words; ++k) AddWord(text, words[piece.position + k]);
  AddCommentedWord(text, kLoopInstruction, "next");
  return kWordBytes * (piece.chunk_words + 2);
}

}  // namespace

int AppendAyListPieceLines(std::span<const uint16_t> words, const AyListPiece& piece,
                           std::vector<std::string>& lines) {
  SourceText text = StartSource("list.asm", SourceContent::kData, SourceSyntax::kWinApe);
  const int bytes = AddAyListPiece(text, words, piece);
  for (std::string& line : SourceLines(text.text)) lines.push_back(std::move(line));
  return bytes;
}

std::vector<std::string> OptimizedAyListLines(std::span<const uint16_t> words, int chunk_size) {
  std::vector<std::string> lines;
  AyListSearch search(words, chunk_size);
  for (AyListPiece piece; search.Next(piece);) AppendAyListPieceLines(words, piece, lines);
  return lines;
}

namespace {

// The list's words, read whole: the search looks back and ahead.
Checked<std::vector<uint16_t>> ReadAyListWords(const std::string& source_path) {
  const Checked<InputFile> source = OpenInputFile(source_path);
  if (!source) return Checked<std::vector<uint16_t>>::Refused("can not open source file :" + source_path);
  const uint64_t length = source->size_bytes;
  const uint64_t word_count = length / kWordBytes;
  PrintLine(kPrefix + std::string("reading ") + SpacedDecimal(static_cast<int64_t>(length)) + " bytes , " +
            SpacedDecimal(static_cast<int64_t>(word_count)) + " instructions");
  if (word_count > kMaxAyListWords) {
    return Checked<std::vector<uint16_t>>::Refused(TooLargeText(source_path));
  }
  std::vector<uint16_t> words;
  if (!ReadWords(source->file.get(), length, words)) {
    return Checked<std::vector<uint16_t>>::Refused("can not read source file :" + source_path);
  }
  return words;
}

// The optimised list as the array label in text's dialect, its lines handed
// to file as they grow; returns the list's size in bytes.
int64_t WriteOptimizedList(std::span<const uint16_t> words, int32_t chunk_size, const std::string& label,
                           SourceText& text, AsideFile& file) {
  constexpr size_t kFlushBytes = 1 << 20;
  // The WinApe list has always followed the including program's own label.
  OpenArray(text, label, WinApeLabel::kOmitted);
  int64_t written_bytes = 0;
  AyListSearch search(words, chunk_size);
  for (AyListPiece piece; search.Next(piece);) {
    if (piece.occurrences > 1) {
      PrintLine("Found " + SpacedDecimal(piece.occurrences) + " occurences , size" +
                SpacedDecimal(piece.chunk_words));
    }
    written_bytes += AddAyListPiece(text, words, piece);
    if (text.text.size() < kFlushBytes) continue;
    file.Write(std::string_view(text.text));
    text.text.clear();
  }
  CloseArray(text);
  file.Write(std::string_view(text.text));
  text.text.clear();
  return written_bytes;
}

}  // namespace

bool OptimizeAYlist(const std::string& source_path, const std::string& output_path, int32_t chunk_size) {
  if (chunk_size == 0) {
    chunk_size = kDefaultChunkWords;
    PrintLine(kPrefix + std::string("default chunksize used (") + PlainDecimal(kDefaultChunkWords) + ")");
  }
  if (const Refusal refusal = ListNameRefusal(output_path)) {
    PrintLine(kPrefix + *refusal);
    return false;
  }
  const Checked<std::vector<uint16_t>> words = ReadAyListWords(source_path);
  if (!words) {
    PrintLine(kPrefix + words.refusal());
    return false;
  }
  SourceText text = StartSource(output_path, SourceContent::kData, ChosenSyntax());
  AsideFile file(text.names.source_path);
  if (!file.IsOpen()) {
    PrintLine(kPrefix + CannotCreateText(text.names.source_path));
    return false;
  }
  const int64_t written_bytes =
      WriteOptimizedList(*words, chunk_size, LabelNamePart(WithoutExtension(output_path)), text, file);
  std::vector<SourceFile> header = FinishSource(text);
  header.erase(header.begin());
  AsideFile* const list_file[] = {&file};
  if (const Refusal refusal = WriteSourceFiles(header, list_file)) {
    PrintLine(kPrefix + *refusal);
    return false;
  }
  PrintLine(kPrefix + std::string("Writing ") + text.names.source_path + " " + SpacedDecimal(written_bytes) +
            " bytes");
  return true;
}
