#include "toolkit/sound/sample_runs.h"

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

void RunFolder::Add(std::span<const uint8_t> samples, const RunsSink& on_runs) {
  if (samples.empty()) return;
  // A block closes at most one run a step.
  if (closed_.size() < samples.size()) closed_.resize(samples.size());
  // A local copy the compiler can keep apart from the runs being stored.
  const ConversionTable table = table_;
  size_t first = 0;
  if (!has_run_) {
    has_run_ = true;
    run_ = LevelRun{table[samples[0]], 0};
    first = 1;
  }
  // Each step either lengthens the pending run or closes it and opens one. The
  // pending run is stored at the end of the closed ones every step and kept
  // only when a step closes it, so music (long runs) and noise (a new run
  // almost every step) cost the same few instructions a step.
  //
  // Real sound also holds long stretches of one sample value (silences, held
  // levels): once a step has lengthened the run, the samples after it that
  // equal it are taken eight at a time.
  LevelRun run = run_;
  LevelRun* end_of_closed = closed_.data();
  const size_t count = samples.size();
  const uint8_t* block = samples.data();
  for (size_t k = first; k < count; ++k) {
    const uint8_t level = table[block[k]];
    const bool lengthens = (level == run.level) & (run.pause < kMaxPause);
    *end_of_closed = run;
    end_of_closed += lengthens ? 0 : 1;
    run.pause = lengthens ? run.pause + 1 : 0;
    run.level = level;
    if (lengthens) {
      const uint64_t same = block[k] * kEveryByte;
      while (k + 9 <= count && run.pause <= kMaxPause - 8 && Load64(&block[k + 1]) == same) {
        run.pause += 8;
        k += 8;
      }
      // Music holds a level for many steps through samples that differ but
      // map to it: those steps only lengthen the run, with nothing to store.
      while (k + 1 < count && run.pause < kMaxPause && table[block[k + 1]] == level) {
        ++run.pause;
        ++k;
      }
    }
  }
  run_ = run;
  on_runs(std::span<const LevelRun>(closed_.data(), end_of_closed));
}

void RunFolder::Finish(const RunsSink& on_runs) {
  if (!has_run_) return;
  has_run_ = false;
  on_runs(std::span<const LevelRun>(&run_, 1));
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
  return [&source](const RunsSink& on_runs) {
    std::vector<uint8_t> block(kReadBlockBytes);
    RunFolder folder(source.table);
    uint64_t read_count = 0;
    size_t got = 0;
    while ((got = std::fread(block.data(), 1, block.size(), source.sample.get())) > 0) {
      read_count += got;
      folder.Add(std::span<const uint8_t>(block.data(), got), on_runs);
    }
    if (std::ferror(source.sample.get()) != 0 || read_count != source.sample_count) return false;
    folder.Finish(on_runs);
    return true;
  };
}

RunSource RunsOfSamples(std::span<const uint8_t> samples, const ConversionTable& table) {
  return [samples, &table](const RunsSink& on_runs) {
    RunFolder folder(table);
    folder.Add(samples, on_runs);
    folder.Finish(on_runs);
    return true;
  };
}

Checked<int64_t> WriteSampleList(SoundSource& source, const std::string& sample_path,
                                 const std::string& output_path, const ListWriter& write_list) {
  AsideFile file(output_path);
  if (!file.IsOpen())
    return Checked<int64_t>::Refused(WriteFailureText(WriteStatus::kCannotCreate, output_path));
  const std::optional<int64_t> list_bytes =
      write_list(StreamedRuns(source), [&file](std::span<const uint8_t> bytes) { file.Write(bytes); });
  if (!list_bytes) return Checked<int64_t>::Refused(SampleReadFailureText(sample_path));
  const WriteStatus written = file.Commit();
  if (written != WriteStatus::kOk) return Checked<int64_t>::Refused(WriteFailureText(written, output_path));
  return *list_bytes;
}

ListBuffer::ListBuffer(ListSink list_sink) : bytes(kWriteBlockBytes), sink(std::move(list_sink)) {}

void FlushList(ListBuffer& list) {
  if (list.used > 0) list.sink(std::span<const uint8_t>(list.bytes.data(), list.used));
  list.used = 0;
}

void AppendToList(ListBuffer& list, std::string_view text) {
  while (!text.empty()) {
    if (list.used == list.bytes.size()) FlushList(list);
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
