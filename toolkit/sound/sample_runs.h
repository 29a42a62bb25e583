// What the two sample converters share: the sample file and conversion table
// they read, and the rule that folds equal output levels into runs.
#pragma once

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

using RunSink = std::function<void(const LevelRun&)>;

// Folds levels into runs, one level per step.
struct RunBuilder {
  bool has_run = false;
  LevelRun run;
};

// Adds a block of samples, each mapped through table, in order. Hands on_run
// every run the block closes: a run ends at another level, or once it holds
// kMaxPause further steps.
void AddSampleBlock(RunBuilder& builder, std::span<const uint8_t> samples, const ConversionTable& table,
                    const RunSink& on_run);

// The pending run, if any, after the last block: the last sample's level is
// part of the list.
std::optional<LevelRun> FinishRuns(RunBuilder& builder);

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

// Hands every run of a sample, in order, to on_run; false when the sample
// could not be read to its end.
using RunSource = std::function<bool(const RunSink& on_run)>;

// The runs of the opened sample, read in blocks so that memory stays flat
// whatever its length.
RunSource StreamedRuns(SoundSource& source);

// The runs of a sample held in memory, folded by the same rule.
RunSource RunsOfSamples(std::span<const uint8_t> samples, const ConversionTable& table);

// Where a converter's list goes, in blocks as it grows (the output file, or a
// test's string).
using ListSink = std::function<void(std::string_view bytes)>;

// Collects list bytes and hands them to a sink in large blocks.
class ListBuffer {
 public:
  explicit ListBuffer(ListSink sink) : sink_(std::move(sink)) {}
  std::string& text() { return pending_; }
  // Hands the pending bytes on once a block is full; Flush hands on the rest.
  void FlushWhenFull();
  void Flush();

 private:
  ListSink sink_;
  std::string pending_;
};
