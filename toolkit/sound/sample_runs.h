// What the two sample converters share: the sample file and conversion table
// they read, the rule that folds equal output levels into runs, and the buffer
// their lists are written through.
#pragma once

#include <algorithm>
#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "common/input_file.h"
#include "common/refusal.h"

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

// Folds samples, each mapped through the table, into runs: the one rule of
// both converters. A run ends at another level, or once it holds kMaxPause
// further steps; the next step then opens a new run.
class RunFolder {
 public:
  explicit RunFolder(const ConversionTable& table) : table_(table) {}
  // Adds a block of samples that follows the blocks before it, and hands
  // on_runs the runs it closed.
  void Add(std::span<const uint8_t> samples, const RunsSink& on_runs);
  // Hands on_runs the pending run, if any: the last sample's level is part of
  // the list.
  void Finish(const RunsSink& on_runs);

 private:
  ConversionTable table_;
  bool has_run_ = false;
  // The pending run: its level and its steps so far (1 to kMaxPause + 1).
  uint8_t level_ = 0;
  int64_t steps_ = 0;
  // The last sample of the blocks before, which the next block's first
  // sample is compared with.
  uint8_t last_sample_ = 0;
  std::vector<LevelRun> closed_;
};

// Bit i of the result: samples[i] differs from samples[i - 1], for i from 0 to
// 63 (samples[-1] is read). Whole words or vectors at a time.
uint64_t SampleChanges64(const uint8_t* samples);

// Hands every run of a sample, in order, to on_runs; false when the sample
// could not be read to its end.
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

// The runs of the opened sample, read in blocks so that memory stays flat
// whatever its length; false when the file could not be read to the length it
// had when opened.
RunSource StreamedRuns(SoundSource& source);

// The runs of a sample held in memory, folded by the same rule.
RunSource RunsOfSamples(std::span<const uint8_t> samples, const ConversionTable& table);

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
  ListSink sink;
};

// The most bytes one run of any list takes: room WriteRuns always leaves.
inline constexpr size_t kMostRunBytes = 32;

// Hands the gathered bytes to the sink and empties the buffer.
void FlushList(ListBuffer& list);

// Appends text to list (any length), flushing as needed.
void AppendToList(ListBuffer& list, std::string_view text);

// Writes every run into list through write_run(run, place), which puts that
// run's bytes (at most kMostRunBytes) at place and returns their count; hands
// the gathered bytes on whenever the buffer nearly fills.
template <typename WriteRun>
void WriteRuns(ListBuffer& list, std::span<const LevelRun> runs, WriteRun write_run) {
  // Local pointers: the bytes written are uint8_t, which may alias anything,
  // so fields read through list would be read again after every run.
  uint8_t* const start = list.bytes.data();
  uint8_t* const end = start + list.bytes.size();
  uint8_t* place = start + list.used;
  for (size_t k = 0; k < runs.size();) {
    // The runs that surely fit are written without a look at the room left.
    const size_t fit = std::min(runs.size() - k, static_cast<size_t>(end - place) / kMostRunBytes);
    if (fit == 0) {
      list.used = static_cast<size_t>(place - start);
      FlushList(list);
      place = start;
      continue;
    }
    for (const size_t stop = k + fit; k < stop; ++k) place += write_run(runs[k], place);
  }
  list.used = static_cast<size_t>(place - start);
}

// A converter's list writer: the whole list for runs, to sink; its size in
// bytes, or none when runs could not be read to the end.
using ListWriter = std::function<std::optional<int64_t>(const RunSource& runs, const ListSink& sink)>;

// The list of the opened sample written by write_list to output_path (aside,
// put in place when complete). Its size, or the refusal "Can not create
// PATH", "Can not read sample ! (PATH)" or "Can not write PATH".
Checked<int64_t> WriteSampleList(SoundSource& source, const std::string& sample_path,
                                 const std::string& output_path, const ListWriter& write_list);

// The two upper-case hex digits of every byte value, for the list writers.
using HexPair = std::array<char, 2>;
const std::array<HexPair, 256>& HexPairs();
