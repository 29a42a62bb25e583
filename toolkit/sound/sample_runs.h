// What the two sample converters share: the sample file and conversion table
// they read, the rule that folds equal output levels into runs, and the buffer
// their lists are written through.
#pragma once

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstring>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "common/input_file.h"
#include "common/line_output.h"
#include "common/refusal.h"
#include "common/source_dialect.h"

// Byte k is the level written for sample value k.
inline constexpr size_t kTableBytes = 256;
using ConversionTable = std::array<uint8_t, kTableBytes>;

// The longest pause one list item can hold: 12 bits of 64 microsecond steps.
inline constexpr int kMaxPause = 4095;

// One level that stays on for 1 + pause steps of 64 microseconds.
struct LevelRun {
  uint8_t level = 0;
  int pause = 0;  // 0 to kMaxPause
};

// Runs are handed over a block at a time: a noisy sample closes a run at
// almost every step, so a call per run would cost more than the run.
using RunsSink = std::function<void(std::span<const LevelRun>)>;

// Bit i of the result: samples[i] differs from samples[i - 1], for i from 0 to
// 63 (samples[-1] is read), a vector compare at a time.
uint64_t SampleChanges64(const uint8_t* samples);
// The same for the first count (below 64) samples, one at a time.
uint64_t SampleChanges(const uint8_t* samples, size_t count);
// The bits set, by adding neighbouring fields: the library call that counts
// them on a plain x86-64 costs more than the steps it chooses between.
inline int BitCount(uint64_t bits) {
  bits -= (bits >> 1) & 0x5555555555555555ull;
  bits = (bits & 0x3333333333333333ull) + ((bits >> 2) & 0x3333333333333333ull);
  bits = (bits + (bits >> 4)) & 0x0F0F0F0F0F0F0F0Full;
  return static_cast<int>((bits * 0x0101010101010101ull) >> 56);
}

// Folds samples, each mapped through the table, into runs: the one rule of
// both converters. A run ends at another level, or once it holds kMaxPause
// further steps; the next step then opens a new run.
//
// The runs go to an output, which writes them where it wants them (LevelRun
// records, or list bytes straight away):
//   Cursor                        where the next run is written (a pointer)
//   Cursor Room(Cursor, size_t n) makes room for n more runs; where to write
//   static Cursor Put(Cursor, const LevelRun&, int keep)
//                                 writes the run and returns the cursor past it
//                                 when keep is 1, the same cursor when it is 0
//                                 (the next run then goes over it)
// The cursor is the fold's own local, so that it stays in a register while
// bytes, which may alias anything, are stored through it.
class RunFolder {
 public:
  explicit RunFolder(const ConversionTable& table) : table_(table) {}
  // Adds a block of samples that follows the blocks before it; the runs it
  // closes go to output from at. Returns the cursor past them.
  template <typename Output>
  typename Output::Cursor Add(std::span<const uint8_t> samples, Output& output, typename Output::Cursor at);
  // The pending run, if any, goes to output: the last sample's level is part
  // of the list.
  template <typename Output>
  typename Output::Cursor Finish(Output& output, typename Output::Cursor at);

 private:
  template <typename Output>
  struct Pass;

  ConversionTable table_;
  bool has_run_ = false;
  // The pending run: its level and its steps so far (1 to kMaxPause + 1).
  uint8_t level_ = 0;
  int64_t steps_ = 0;
  // The last sample of the blocks before, which the next block's first
  // sample is compared with.
  uint8_t last_sample_ = 0;
};

// The steps of one block's pass of the fold, over the locals of Add: the
// pending run's level, where it opened (counted from the block's first
// sample) and the output cursor. They stay the fold's own locals, so that
// they stay in registers while bytes, which may alias anything, are stored
// through the cursor; every step is inlined into the fold's loop.
template <typename Output>
struct RunFolder::Pass {
  using Cursor = typename Output::Cursor;
  static constexpr int64_t kLongestRun = kMaxPause + 1;  // the level's own step and kMaxPause more
  static constexpr size_t kWindow = 64;
  // A window closes at most one run a step, and one more is stored ahead.
  static constexpr size_t kWindowRuns = kWindow + 2;

  const ConversionTable& table;
  const uint8_t* const block;
  Output& output;
  Cursor& at;
  uint8_t& level;
  int64_t& opened;

  // Closes the pending run at step k, full runs first when it held longer.
  [[gnu::always_inline]] void CloseAt(size_t k) {
    int64_t steps = static_cast<int64_t>(k) - opened;
    for (; steps > kLongestRun; steps -= kLongestRun) {
      at = output.Room(at, kWindowRuns + 1);
      at = Output::Put(at, LevelRun{level, kMaxPause}, 1);
    }
    at = Output::Put(at, LevelRun{level, static_cast<int>(steps - 1)}, 1);
    opened = static_cast<int64_t>(k);
  }

  // Step k, where the sample changed.
  [[gnu::always_inline]] void Step(size_t k) {
    const uint8_t now = table[block[k]];
    const int64_t steps = static_cast<int64_t>(k) - opened;
    if (steps > kLongestRun) [[unlikely]] {
      // The level held past a full run: cut it here.
      if (now != level) CloseAt(k);
    } else {
      // Told as unpredictable, so that the compiler selects rather than
      // branches: a conditional move is also the shortest chain from one
      // step's opening to the next.
      const int differs = now != level;
      at = Output::Put(at, LevelRun{level, static_cast<int>(steps - 1)}, differs);
      if (__builtin_expect_with_probability(differs, 1, 0.5)) opened = static_cast<int64_t>(k);
    }
    level = now;
  }

  // The steps of a window of width samples from base whose changes are bits.
  [[gnu::always_inline]] void Visit(uint64_t changes, size_t base, size_t width) {
    at = output.Room(at, kWindowRuns);
    if (BitCount(changes) > 24) {
      for (size_t k = base; k < base + width; ++k) Step(k);
      return;
    }
    for (; changes != 0; changes &= changes - 1) Step(base + static_cast<size_t>(__builtin_ctzll(changes)));
  }

  // Runs that filled up while the level held to the block's end of count
  // samples, so that the pending run never holds more than a run's steps.
  void CloseFullRuns(size_t count) {
    for (; static_cast<int64_t>(count) - opened > kLongestRun; opened += kLongestRun) {
      at = output.Room(at, 1);
      at = Output::Put(at, LevelRun{level, kMaxPause}, 1);
    }
  }
};

// Sound holds one sample value for stretches (silences, held levels) and many
// values map to one level, so the level changes at few of the steps where the
// sample changes, and the sample at few steps: the steps where the sample
// changes are found 64 at a time, and only those look up their level. Where
// most steps change (noise), every step is taken in turn. A step stores the
// pending run and keeps it only when the level changed, without a branch on
// the level, whose changes in noise no predictor follows.
template <typename Output>
typename Output::Cursor RunFolder::Add(std::span<const uint8_t> samples, Output& output,
                                       typename Output::Cursor at) {
  if (samples.empty()) return at;
  using Fold = Pass<Output>;
  // A local copy the compiler can keep apart from the runs being stored.
  const ConversionTable table = table_;
  const uint8_t* const block = samples.data();
  const size_t count = samples.size();
  if (!has_run_) {
    has_run_ = true;
    level_ = table[block[0]];
    steps_ = 0;
    last_sample_ = block[0];
  }
  uint8_t level = level_;
  int64_t opened = -steps_;
  Fold pass{table, block, output, at, level, opened};
  // The first sample against the block before, then 64 at a time.
  at = output.Room(at, Fold::kWindowRuns);
  if (block[0] != last_sample_) pass.Step(0);
  size_t base = 1;
  for (; base + Fold::kWindow <= count; base += Fold::kWindow)
    pass.Visit(SampleChanges64(block + base), base, Fold::kWindow);
  if (base < count) pass.Visit(SampleChanges(block + base, count - base), base, count - base);
  pass.CloseFullRuns(count);
  level_ = level;
  steps_ = static_cast<int64_t>(count) - opened;
  last_sample_ = block[count - 1];
  return at;
}

template <typename Output>
typename Output::Cursor RunFolder::Finish(Output& output, typename Output::Cursor at) {
  if (!has_run_) return at;
  has_run_ = false;
  at = output.Room(at, 1);
  return Output::Put(at, LevelRun{level_, static_cast<int>(steps_ - 1)}, 1);
}

// Where a sample's bytes go, a block at a time.
using SamplesSink = std::function<void(std::span<const uint8_t> samples)>;

// Hands every block of a sample, in order, to on_samples; false when the
// sample could not be read to its end.
using SampleSource = std::function<bool(const SamplesSink& on_samples)>;

// Hands every run of a sample, in order, to on_runs, a block at a time; false
// when the sample could not be read to its end.
using RunSource = std::function<bool(const RunsSink& on_runs)>;

// An opened sample with the first 256 bytes of its conversion table.
struct SoundSource {
  FilePtr sample;
  uint64_t sample_count = 0;  // the sample file's length in bytes
  ConversionTable table{};
};

// Opens sample_path (a regular file holding at least one sample) and reads 256
// bytes from table_path. Refuses "Can not open sample ! (PATH)", "Can not open
// conversion table ! (PATH)", "Conversion table shorter than 256 bytes ! (PATH)"
// or "Empty sample ! (PATH)".
Checked<SoundSource> OpenSoundSource(const std::string& sample_path, const std::string& table_path);

// The two lines of every sound conversion once its source is open: prefix +
// sample_path and prefix + "Processing  N samples...".
std::vector<std::string> SoundOpeningLines(const std::string& prefix, const std::string& sample_path,
                                           const SoundSource& source);

// The tail of the line printed when the sample can not be read to its end.
std::string SampleReadFailureText(const std::string& sample_path);

// The opened sample, read in blocks so that memory stays flat whatever its
// length; false when the file could not be read to the length it had when
// opened.
SampleSource StreamedSamples(SoundSource& source);

// A sample held in memory, as one block.
SampleSource SamplesInMemory(std::span<const uint8_t> samples);

// The runs of samples folded through table, handed over a block at a time.
RunSource RunsOf(const SampleSource& samples, const ConversionTable& table);

// Where a converter's list goes, in large blocks as it grows (the output file,
// or a test's string).
using ListSink = std::function<void(std::span<const uint8_t> bytes)>;

// A converter's output gathered in one large buffer and handed to its sink in
// big blocks: the list is streamed, never held whole. Each run is written
// straight into the buffer through WriteRuns.
struct ListBuffer {
  explicit ListBuffer(ListSink list_sink);
  std::vector<uint8_t> bytes;
  size_t used = 0;
  int64_t flushed = 0;  // bytes handed to the sink so far
  ListSink sink;
};

// The most bytes one run of any list takes, with the whole copy of a line
// template (kLineCopyBytes) past its last line: room WriteRuns always leaves.
inline constexpr size_t kMostRunBytes = 48;

// Hands the gathered bytes to the sink and empties the buffer.
void FlushList(ListBuffer& list);

// Appends text to list (any length), flushing as needed.
void AppendToList(ListBuffer& list, std::string_view text);

// Writes every run into list through write_run(run, place), which puts that
// run's bytes (at most kMostRunBytes) at place and returns their count; hands
// the gathered bytes on whenever the buffer nearly fills.
// Where to write more bytes into list: at, when that many fit after it,
// else the start of the buffer once what is before at has been handed on.
uint8_t* ListRoom(ListBuffer& list, uint8_t* at, size_t bytes);

template <typename WriteRun>
void WriteRuns(ListBuffer& list, std::span<const LevelRun> runs, WriteRun write_run) {
  // A local pointer: the bytes written are uint8_t, which may alias anything,
  // so fields read through list would be read again after every run.
  uint8_t* place = list.bytes.data() + list.used;
  for (size_t k = 0; k < runs.size();) {
    place = ListRoom(list, place, kMostRunBytes);
    // The runs that surely fit are written without a look at the room left.
    const uint8_t* const end = list.bytes.data() + list.bytes.size();
    const size_t fit = std::min(runs.size() - k, static_cast<size_t>(end - place) / kMostRunBytes);
    for (const size_t stop = k + fit; k < stop; ++k) place += write_run(runs[k], place);
  }
  list.used = static_cast<size_t>(place - list.bytes.data());
}

// A converter's list writer: the whole list of samples folded through table,
// to sink, in the dialect of text (whose declarations it fills for the
// header); its size in bytes, or SamplesUnread when the samples could not be
// read to the end.
using ListWriter = std::function<Checked<int64_t>(const SampleSource& samples, const ConversionTable& table,
                                                  const ListSink& sink, SourceText& text)>;

// The refusal of a list writer whose samples could not be read to the end
// (kCannotRead); the converter, which knows the sample's path, says so in
// its own line (SampleReadFailureText).
Checked<int64_t> SamplesUnread();

// The list of the opened sample written by write_list to text's source path,
// with text's header beside it when it has one (aside, both put in place when
// complete). Its size, or the refusal "Can not create PATH", "Can not read
// sample ! (PATH)" or "Can not write PATH".
Checked<int64_t> WriteSampleList(SoundSource& source, const std::string& sample_path, SourceText& text,
                                 const ListWriter& write_list);

// The two upper-case hex digits of every byte value, for the list writers.
using HexPair = std::array<char, 2>;
const std::array<HexPair, 256>& HexPairs();

// The WinApe lists hold nothing of their file's name; in the chosen syntax's
// other forms it becomes the header's name (SourceNameRefusal).
inline Refusal ListNameRefusal(const std::string& asm_path) {
  const SourceSyntax syntax = ChosenSyntax();
  if (syntax == SourceSyntax::kWinApe) return std::nullopt;
  return SourceNameRefusal(asm_path, SourceContent::kData, syntax);
}

// A list line spelled for one dialect at compile time: its text with room for
// the hex digits of one or two bytes, copied whole (kLineCopyBytes, one fixed
// move whatever the dialect) and then given its digits.
inline constexpr size_t kLineCopyBytes = 32;
struct ListLine {
  std::array<uint8_t, kLineCopyBytes> text{};
  size_t length = 0;
  size_t first_at = 0;   // where the first value's two digits go
  size_t second_at = 0;  // the second value's, when the line has two
};

namespace list_line {
constexpr void Append(ListLine& line, std::string_view piece) {
  for (const char c : piece) line.text[line.length++] = static_cast<uint8_t>(c);
}
constexpr size_t AppendDigits(ListLine& line, std::string_view prefix) {
  Append(line, prefix);
  const size_t at = line.length;
  Append(line, "00");
  return at;
}
constexpr void Close(ListLine& line, const DataSpelling& spelling, std::string_view comment) {
  Append(line, spelling.line_close);
  if (!comment.empty()) {
    Append(line, spelling.comment_open);
    Append(line, comment);
    Append(line, spelling.comment_close);
  }
  Append(line, kLineEnd);
}
}  // namespace list_line

// "db #LL": one byte (first).
constexpr ListLine ByteListLine(SourceSyntax syntax, std::string_view comment = {}) {
  const DataSpelling& spelling = SpellingOf(syntax);
  ListLine line;
  list_line::Append(line, spelling.byte_directive);
  line.first_at = line.second_at = list_line::AppendDigits(line, spelling.hex_prefix);
  list_line::Close(line, spelling, comment);
  return line;
}

// "db #HH,#LL": two bytes, first then second.
constexpr ListLine BytePairListLine(SourceSyntax syntax, std::string_view comment = {}) {
  const DataSpelling& spelling = SpellingOf(syntax);
  ListLine line;
  list_line::Append(line, spelling.byte_directive);
  line.first_at = list_line::AppendDigits(line, spelling.hex_prefix);
  list_line::Append(line, ",");
  line.second_at = list_line::AppendDigits(line, spelling.hex_prefix);
  list_line::Close(line, spelling, comment);
  return line;
}

// "dw #HHLL": a word, its high byte first and low byte second; in C the two
// bytes, the low one first, as the Z80 reads the word.
constexpr ListLine WordListLine(SourceSyntax syntax, std::string_view comment = {}) {
  const DataSpelling& spelling = SpellingOf(syntax);
  ListLine line;
  if (spelling.has_words) {
    list_line::Append(line, spelling.word_directive);
    line.first_at = list_line::AppendDigits(line, spelling.hex_prefix);
    line.second_at = line.first_at + 2;
    list_line::Append(line, "00");
  } else {
    list_line::Append(line, spelling.byte_directive);
    line.second_at = list_line::AppendDigits(line, spelling.hex_prefix);
    list_line::Append(line, ",");
    line.first_at = list_line::AppendDigits(line, spelling.hex_prefix);
  }
  list_line::Close(line, spelling, comment);
  return line;
}

// Writes line at out with the digits of first and second (out has
// kLineCopyBytes of room); returns the line's length.
inline size_t PutListLine(const ListLine& line, const HexPair& first, const HexPair& second, uint8_t* out) {
  std::memcpy(out, line.text.data(), kLineCopyBytes);
  out[line.first_at] = static_cast<uint8_t>(first[0]);
  out[line.first_at + 1] = static_cast<uint8_t>(first[1]);
  out[line.second_at] = static_cast<uint8_t>(second[0]);
  out[line.second_at + 1] = static_cast<uint8_t>(second[1]);
  return line.length;
}
