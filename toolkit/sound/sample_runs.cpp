#include "toolkit/sound/sample_runs.h"

#include <sys/stat.h>

#include <algorithm>
#include <cstring>

#include "common/line_output.h"
#include "common/number_text.h"

namespace {

// Big enough to make the per-read cost vanish, small enough that memory stays
// flat whatever the sample's length.
constexpr size_t kReadBlockBytes = 64 * 1024;
// A list line is a handful of bytes: a megabyte makes the writes few and large.
constexpr size_t kWriteBlockBytes = 1024 * 1024;

constexpr uint64_t kEveryByte = 0x0101010101010101ull;

uint64_t Load64(const uint8_t* bytes) {
  uint64_t value = 0;
  std::memcpy(&value, bytes, sizeof value);
  return value;
}

}  // namespace

std::optional<LevelRun> AddLevel(RunBuilder& builder, uint8_t level) {
  if (builder.has_run && builder.run.level == level && builder.run.pause < kMaxPause) {
    ++builder.run.pause;
    return std::nullopt;
  }
  const std::optional<LevelRun> closed = FinishRuns(builder);
  builder.has_run = true;
  builder.run = LevelRun{level, 0};
  return closed;
}

std::optional<LevelRun> FinishRuns(RunBuilder& builder) {
  if (!builder.has_run) return std::nullopt;
  builder.has_run = false;
  return builder.run;
}

std::vector<LevelRun> SplitIntoRuns(std::span<const uint8_t> levels) {
  std::vector<LevelRun> runs;
  RunBuilder builder;
  for (const uint8_t level : levels) {
    if (const std::optional<LevelRun> run = AddLevel(builder, level)) runs.push_back(*run);
  }
  if (const std::optional<LevelRun> run = FinishRuns(builder)) runs.push_back(*run);
  return runs;
}

std::optional<SoundSource> OpenSoundSource(const std::string& sample_path, const std::string& table_path,
                                           SoundSourceStatus& status) {
  SoundSource source;
  source.sample = OpenRegularFile(sample_path, source.sample_count);
  if (!source.sample) {
    status = SoundSourceStatus::kNoSample;
    return std::nullopt;
  }
  uint64_t table_length = 0;
  const FilePtr table = OpenRegularFile(table_path, table_length);
  if (!table) {
    status = SoundSourceStatus::kNoTable;
    return std::nullopt;
  }
  if (std::fread(source.table.data(), 1, kTableBytes, table.get()) != kTableBytes) {
    status = SoundSourceStatus::kShortTable;
    return std::nullopt;
  }
  if (source.sample_count == 0) {
    status = SoundSourceStatus::kEmptySample;
    return std::nullopt;
  }
  status = SoundSourceStatus::kOk;
  return source;
}

std::string SoundSourceFailureText(SoundSourceStatus status, const std::string& sample_path,
                                   const std::string& table_path) {
  switch (status) {
    case SoundSourceStatus::kOk:
      return "";
    case SoundSourceStatus::kNoSample:
      return "Can not open sample ! (" + sample_path + ")";
    case SoundSourceStatus::kNoTable:
      return "Can not open conversion table ! (" + table_path + ")";
    case SoundSourceStatus::kShortTable:
      return "Conversion table shorter than 256 bytes ! (" + table_path + ")";
    case SoundSourceStatus::kEmptySample:
      break;
  }
  return "Empty sample ! (" + sample_path + ")";
}

std::optional<SoundSource> StartSoundConversion(const std::string& prefix, const std::string& sample_path,
                                                const std::string& table_path) {
  SoundSourceStatus status = SoundSourceStatus::kOk;
  std::optional<SoundSource> source = OpenSoundSource(sample_path, table_path, status);
  if (!source) {
    PrintLine(prefix + SoundSourceFailureText(status, sample_path, table_path));
    return std::nullopt;
  }
  PrintLine(prefix + sample_path);
  PrintLine(prefix + "Processing " + SpacedDecimal(static_cast<int64_t>(source->sample_count)) + " samples...");
  return source;
}

std::string SampleReadFailureText(const std::string& sample_path) {
  return "Can not read sample ! (" + sample_path + ")";
}

bool StreamSampleRuns(SoundSource& source, const std::function<void(std::span<const LevelRun>)>& on_runs) {
  std::vector<uint8_t> block(kReadBlockBytes);
  // A block closes at most one run a step.
  std::vector<LevelRun> closed(kReadBlockBytes);
  // Local copies the compiler can keep apart from the runs being stored.
  const ConversionTable table = source.table;
  RunBuilder builder;
  uint64_t read_count = 0;
  size_t got = 0;
  while ((got = std::fread(block.data(), 1, block.size(), source.sample.get())) > 0) {
    read_count += got;
    size_t first = 0;
    if (!builder.has_run) {
      builder = RunBuilder{true, LevelRun{table[block[0]], 0}};
      first = 1;
    }
    // AddLevel's rule in a few instructions a step: each step either lengthens
    // the pending run or closes it and opens one. The pending run is stored at
    // the end of the closed ones every step and kept only when a step closes
    // it, so music (long runs) and noise (a new run almost every step) cost the
    // same few instructions a step.
    //
    // Real sound also holds long stretches of one sample value (silences,
    // held levels): once a step has lengthened the run, the samples after it
    // that equal it are taken eight at a time.
    LevelRun run = builder.run;
    LevelRun* end_of_closed = closed.data();
    for (size_t k = first; k < got; ++k) {
      const uint8_t level = table[block[k]];
      const bool lengthens = (level == run.level) & (run.pause < kMaxPause);
      *end_of_closed = run;
      end_of_closed += lengthens ? 0 : 1;
      run.pause = lengthens ? run.pause + 1 : 0;
      run.level = level;
      if (lengthens) {
        const uint64_t same = block[k] * kEveryByte;
        while (k + 9 <= got && run.pause <= kMaxPause - 8 && Load64(&block[k + 1]) == same) {
          run.pause += 8;
          k += 8;
        }
      }
    }
    builder.run = run;
    on_runs(std::span<const LevelRun>(closed.data(), end_of_closed));
  }
  if (std::ferror(source.sample.get()) != 0 || read_count != source.sample_count) return false;
  if (const std::optional<LevelRun> run = FinishRuns(builder)) on_runs(std::span<const LevelRun>(&*run, 1));
  return true;
}

ListBuffer MakeListBuffer() { return ListBuffer{std::vector<uint8_t>(kWriteBlockBytes), 0}; }

void FlushList(AsideFile& file, ListBuffer& list) {
  file.Write(std::span<const uint8_t>(list.bytes.data(), list.used));
  list.used = 0;
}

void AppendToList(AsideFile& file, ListBuffer& list, std::string_view text) {
  while (!text.empty()) {
    if (list.used == list.bytes.size()) FlushList(file, list);
    const size_t part = std::min(text.size(), list.bytes.size() - list.used);
    std::memcpy(list.bytes.data() + list.used, text.data(), part);
    list.used += part;
    text.remove_prefix(part);
  }
}

const std::array<HexPair, 256>& HexPairs() {
  static const std::array<HexPair, 256> kPairs = [] {
    std::array<HexPair, 256> pairs{};
    for (size_t k = 0; k < pairs.size(); ++k) {
      const std::string digits = Hex(k, 2);
      pairs[k] = {digits[0], digits[1]};
    }
    return pairs;
  }();
  return kPairs;
}

FilePtr OpenRegularFile(const std::string& path, uint64_t& length) {
  FilePtr file(std::fopen(path.c_str(), "rb"));
  if (!file) return nullptr;
  struct stat info {};
  if (fstat(fileno(file.get()), &info) != 0 || !S_ISREG(info.st_mode)) return nullptr;
  length = static_cast<uint64_t>(info.st_size);
  return file;
}
