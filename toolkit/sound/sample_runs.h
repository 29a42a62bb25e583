// What the two sample converters share: the sample file and conversion table
// they read, and the rule that folds equal output levels into runs.
#pragma once

#include <array>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "common/input_file.h"
#include "common/line_output.h"

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

// Folds levels into runs, one level per step.
struct RunBuilder {
  bool has_run = false;
  LevelRun run;
};

// Adds one step. Returns the pending run when this level closes it (another
// level, or a run already at kMaxPause); the level then opens the next run.
std::optional<LevelRun> AddLevel(RunBuilder& builder, uint8_t level);

// The pending run, if any, after the last step.
std::optional<LevelRun> FinishRuns(RunBuilder& builder);

// The runs of a whole level sequence, last level included.
std::vector<LevelRun> SplitIntoRuns(std::span<const uint8_t> levels);

// An opened sample with the first 256 bytes of its conversion table.
struct SoundSource {
  FilePtr sample;
  uint64_t sample_count = 0;  // the sample file's length in bytes
  ConversionTable table{};
};

enum class SoundSourceStatus { kOk, kNoSample, kNoTable, kShortTable, kEmptySample };

// Opens sample_path (a regular file holding at least one sample) and reads 256
// bytes from table_path. A folder, a FIFO or a device counts as a file that
// can not be opened, and is never waited on. Prints nothing; on failure status says why.
std::optional<SoundSource> OpenSoundSource(const std::string& sample_path, const std::string& table_path,
                                           SoundSourceStatus& status);

// The tail of the one console line an operation prints after its prefix when
// OpenSoundSource fails: "Can not open sample ! (PATH)" and the like.
std::string SoundSourceFailureText(SoundSourceStatus status, const std::string& sample_path,
                                   const std::string& table_path);

// The opening of dma and ay alike: OpenSoundSource, then prefix + sample_path
// and prefix + "Processing  N samples..." on the console; on failure the one
// refusal line instead, and none.
std::optional<SoundSource> StartSoundConversion(const std::string& prefix, const std::string& sample_path,
                                                const std::string& table_path);

// The tail of the line printed when the sample can not be read to its end.
std::string SampleReadFailureText(const std::string& sample_path);

// Reads the whole sample in blocks, maps each value through the table and hands
// every run, last sample included, to on_run. False when the file could not be
// read to the length it had when opened.
bool StreamSampleRuns(SoundSource& source, const std::function<void(const LevelRun&)>& on_run);

// The converters build their text or bytes in pending and hand it to file in
// blocks: the list is streamed, never held whole.
void FlushWhenFull(AsideFile& file, std::string& pending);
void FlushWhenFull(AsideFile& file, std::vector<uint8_t>& pending);
