#include "toolkit/sound/sample_runs.h"

#include <algorithm>

#include "common/number_text.h"

namespace {

// Big enough to make the per-call cost vanish, small enough that memory stays
// flat whatever the sample's length.
constexpr size_t kReadBlockBytes = 64 * 1024;
constexpr size_t kWriteBlockBytes = 64 * 1024;

// Adds count (1 or more) steps of one level. Equal levels come in long
// stretches in real sound, so a stretch is added at once.
void AddLevelSteps(RunBuilder& builder, uint8_t level, size_t count, const RunSink& on_run) {
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

void AddSampleBlock(RunBuilder& builder, std::span<const uint8_t> samples, const ConversionTable& table,
                    const RunSink& on_run) {
  for (size_t start = 0, end = 0; start < samples.size(); start = end) {
    const uint8_t level = table[samples[start]];
    for (end = start + 1; end < samples.size() && table[samples[end]] == level;) ++end;
    AddLevelSteps(builder, level, end - start, on_run);
  }
}

std::optional<LevelRun> FinishRuns(RunBuilder& builder) {
  if (!builder.has_run) return std::nullopt;
  builder.has_run = false;
  return builder.run;
}

Checked<SoundSource> OpenSoundSource(const std::string& sample_path, const std::string& table_path) {
  InputFile sample = OpenInputFile(sample_path);
  if (sample.status != InputStatus::kOk) {
    return Checked<SoundSource>::Refused("Can not open sample ! (" + sample_path + ")");
  }
  const InputFile table_file = OpenInputFile(table_path);
  if (table_file.status != InputStatus::kOk) {
    return Checked<SoundSource>::Refused("Can not open conversion table ! (" + table_path + ")");
  }
  SoundSource source;
  if (std::fread(source.table.data(), 1, kTableBytes, table_file.file.get()) != kTableBytes) {
    return Checked<SoundSource>::Refused("Conversion table shorter than 256 bytes ! (" + table_path + ")");
  }
  if (sample.size_bytes == 0) return Checked<SoundSource>::Refused("Empty sample ! (" + sample_path + ")");
  source.sample = std::move(sample.file);
  source.sample_count = sample.size_bytes;
  return source;
}

std::vector<std::string> SoundOpeningLines(const std::string& prefix, const std::string& sample_path,
                                           const SoundSource& source) {
  return {prefix + sample_path,
          prefix + "Processing " + SpacedDecimal(static_cast<int64_t>(source.sample_count)) + " samples..."};
}

std::string SampleReadFailureText(const std::string& sample_path) {
  return "Can not read sample ! (" + sample_path + ")";
}

RunSource StreamedRuns(SoundSource& source) {
  return [&source](const RunSink& on_run) {
    std::vector<uint8_t> block(kReadBlockBytes);
    RunBuilder builder;
    uint64_t read_count = 0;
    size_t got = 0;
    while ((got = std::fread(block.data(), 1, block.size(), source.sample.get())) > 0) {
      read_count += got;
      AddSampleBlock(builder, std::span<const uint8_t>(block.data(), got), source.table, on_run);
    }
    if (std::ferror(source.sample.get()) != 0 || read_count != source.sample_count) return false;
    if (const std::optional<LevelRun> run = FinishRuns(builder)) on_run(*run);
    return true;
  };
}

RunSource RunsOfSamples(std::span<const uint8_t> samples, const ConversionTable& table) {
  return [samples, &table](const RunSink& on_run) {
    RunBuilder builder;
    AddSampleBlock(builder, samples, table, on_run);
    if (const std::optional<LevelRun> run = FinishRuns(builder)) on_run(*run);
    return true;
  };
}

void ListBuffer::FlushWhenFull() {
  if (pending_.size() >= kWriteBlockBytes) Flush();
}

void ListBuffer::Flush() {
  if (pending_.empty()) return;
  sink_(pending_);
  pending_.clear();
}
