#include "toolkit/sound/sample_runs.h"

#include <algorithm>

#include "common/line_output.h"
#include "common/number_text.h"

namespace {

// Big enough to make the per-read cost vanish, small enough that memory stays
// flat whatever the sample's length.
constexpr size_t kReadBlockBytes = 64 * 1024;
constexpr size_t kWriteBlockBytes = 64 * 1024;

// Adds count (1 or more) steps of one level, handing every run it closes to
// on_run: the same rule as AddLevel, step for step. Equal levels come in long
// stretches in real sound, so a stretch is added at once.
void AddLevelSteps(RunBuilder& builder, uint8_t level, size_t count,
                   const std::function<void(const LevelRun&)>& on_run) {
  if (!builder.has_run || builder.run.level != level) {
    if (builder.has_run) on_run(builder.run);
    builder.has_run = true;
    builder.run = LevelRun{level, 0};
    --count;
  }
  while (count > 0) {
    if (builder.run.pause == kMaxPause) {
      on_run(builder.run);
      builder.run.pause = 0;
      --count;
      continue;
    }
    const size_t taken = std::min(static_cast<size_t>(kMaxPause - builder.run.pause), count);
    builder.run.pause += static_cast<int>(taken);
    count -= taken;
  }
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
  InputFile sample = OpenInputFile(sample_path);
  source.sample = std::move(sample.file);
  source.sample_count = sample.size_bytes;
  if (sample.status != InputStatus::kOk) {
    status = SoundSourceStatus::kNoSample;
    return std::nullopt;
  }
  const InputFile table = OpenInputFile(table_path);
  if (table.status != InputStatus::kOk) {
    status = SoundSourceStatus::kNoTable;
    return std::nullopt;
  }
  if (std::fread(source.table.data(), 1, kTableBytes, table.file.get()) != kTableBytes) {
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

bool StreamSampleRuns(SoundSource& source, const std::function<void(const LevelRun&)>& on_run) {
  std::vector<uint8_t> block(kReadBlockBytes);
  RunBuilder builder;
  uint64_t read_count = 0;
  size_t got = 0;
  while ((got = std::fread(block.data(), 1, block.size(), source.sample.get())) > 0) {
    read_count += got;
    for (size_t start = 0, end = 0; start < got; start = end) {
      const uint8_t level = source.table[block[start]];
      for (end = start + 1; end < got && source.table[block[end]] == level;) ++end;
      AddLevelSteps(builder, level, end - start, on_run);
    }
  }
  if (std::ferror(source.sample.get()) != 0 || read_count != source.sample_count) return false;
  if (const std::optional<LevelRun> run = FinishRuns(builder)) on_run(*run);
  return true;
}

void FlushWhenFull(AsideFile& file, std::string& pending) {
  if (pending.size() < kWriteBlockBytes) return;
  file.Write(pending);
  pending.clear();
}

void FlushWhenFull(AsideFile& file, std::vector<uint8_t>& pending) {
  if (pending.size() < kWriteBlockBytes) return;
  file.Write(pending);
  pending.clear();
}
