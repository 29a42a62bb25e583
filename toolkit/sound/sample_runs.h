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
#include <string_view>
#include <vector>

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

struct FileCloser {
  void operator()(std::FILE* file) const { std::fclose(file); }
};
using FilePtr = std::unique_ptr<std::FILE, FileCloser>;

// Opens path for reading when it is a regular file and gives its length. A
// folder or a device counts as a file that can not be opened: only a regular
// file has a length to report.
FilePtr OpenRegularFile(const std::string& path, uint64_t& length);

// An opened sample with the first 256 bytes of its conversion table.
struct SoundSource {
  FilePtr sample;
  uint64_t sample_count = 0;  // the sample file's length in bytes
  ConversionTable table{};
};

enum class SoundSourceStatus { kOk, kNoSample, kNoTable, kShortTable, kEmptySample };

// Opens sample_path (a regular file holding at least one sample) and reads 256
// bytes from table_path. Prints nothing; on failure status says why.
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
// the runs, last sample included, to on_runs a block at a time (a noisy sample
// closes a run at almost every step, so a call per run would cost more than
// the run). False when the file could not be read to the length it had when
// opened.
bool StreamSampleRuns(SoundSource& source, const std::function<void(std::span<const LevelRun>)>& on_runs);

// A converter's output gathered in one large buffer and handed to the file in
// big blocks: the list is streamed, never held whole. Each run is written
// straight into the buffer through ListRoom.
struct ListBuffer {
  std::vector<uint8_t> bytes;
  size_t used = 0;
};

// The most bytes one run of any list takes: room ListRoom always has.
inline constexpr size_t kMostRunBytes = 32;

ListBuffer MakeListBuffer();

// Hands the gathered bytes to file and empties list.
void FlushList(AsideFile& file, ListBuffer& list);

// Writes every run into list through write_run(run, place), which puts that
// run's bytes (at most kMostRunBytes) at place and returns their count; hands
// the gathered bytes to file whenever the buffer nearly fills.
template <typename WriteRun>
void WriteRuns(AsideFile& file, ListBuffer& list, std::span<const LevelRun> runs, WriteRun write_run) {
  // Local pointers: the bytes written are uint8_t, which may alias anything,
  // so fields read through list would be read again after every run.
  uint8_t* const start = list.bytes.data();
  uint8_t* const last_room = start + list.bytes.size() - kMostRunBytes;
  uint8_t* place = start + list.used;
  for (const LevelRun& run : runs) {
    if (place > last_room) {
      list.used = static_cast<size_t>(place - start);
      FlushList(file, list);
      place = start;
    }
    place += write_run(run, place);
  }
  list.used = static_cast<size_t>(place - start);
}

// Appends text to list (any length), flushing as needed.
void AppendToList(AsideFile& file, ListBuffer& list, std::string_view text);

// The two upper-case hex digits of every byte value, for the list writers.
using HexPair = std::array<char, 2>;
const std::array<HexPair, 256>& HexPairs();
