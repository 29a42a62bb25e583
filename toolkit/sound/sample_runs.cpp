#include "toolkit/sound/sample_runs.h"

#include <algorithm>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "common/line_output.h"
#include "common/number_text.h"

namespace {

// Big enough to make the per-call costs vanish, small enough that a block's
// samples, the runs it closes, the list buffer and the kernel's copy of it all
// stay in the core's own cache (twice the blocks made noise twice as slow).
// Memory stays flat whatever the sample's length.
constexpr size_t kReadBlockBytes = 32 * 1024;
constexpr size_t kWriteBlockBytes = 256 * 1024;

}  // namespace

uint64_t SampleChanges(const uint8_t* samples, size_t count) {
  uint64_t changes = 0;
  for (size_t i = 0; i < count; ++i) changes |= uint64_t{samples[i] != samples[static_cast<ptrdiff_t>(i) - 1]} << i;
  return changes;
}

uint64_t SampleChanges64(const uint8_t* samples) {
#if defined(__SSE2__)
  uint64_t equal = 0;
  for (int part = 0; part < 4; ++part) {
    const __m128i here = _mm_loadu_si128(reinterpret_cast<const __m128i*>(samples + 16 * part));
    const __m128i before = _mm_loadu_si128(reinterpret_cast<const __m128i*>(samples + 16 * part - 1));
    equal |= static_cast<uint64_t>(static_cast<uint16_t>(_mm_movemask_epi8(_mm_cmpeq_epi8(here, before))))
             << (16 * part);
  }
  return ~equal;
#else
  return SampleChanges(samples, 64);
#endif
}

Checked<SoundSource> OpenSoundSource(const std::string& sample_path, const std::string& table_path) {
  Checked<InputFile> sample = OpenInputFile(sample_path);
  if (!sample) {
    return Checked<SoundSource>::Refused("Can not open sample ! (" + sample_path + ")");
  }
  const Checked<InputFile> table_file = OpenInputFile(table_path);
  if (!table_file) {
    return Checked<SoundSource>::Refused("Can not open conversion table ! (" + table_path + ")");
  }
  SoundSource source;
  if (std::fread(source.table.data(), 1, kTableBytes, table_file->file.get()) != kTableBytes) {
    return Checked<SoundSource>::Refused("Conversion table shorter than 256 bytes ! (" + table_path + ")");
  }
  if (sample->size_bytes == 0) return Checked<SoundSource>::Refused("Empty sample ! (" + sample_path + ")");
  source.sample = std::move(sample->file);
  source.sample_count = sample->size_bytes;
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

SampleSource StreamedSamples(SoundSource& source) {
  return [&source](const SamplesSink& on_samples) {
    std::vector<uint8_t> block(kReadBlockBytes);
    uint64_t read_count = 0;
    size_t got = 0;
    while ((got = std::fread(block.data(), 1, block.size(), source.sample.get())) > 0) {
      read_count += got;
      on_samples(std::span<const uint8_t>(block.data(), got));
    }
    return std::ferror(source.sample.get()) == 0 && read_count == source.sample_count;
  };
}

SampleSource SamplesInMemory(std::span<const uint8_t> samples) {
  return [samples](const SamplesSink& on_samples) {
    if (!samples.empty()) on_samples(samples);
    return true;
  };
}

namespace {

// The fold's output as LevelRun records, handed over a block at a time.
struct RunRecords {
  using Cursor = LevelRun*;
  std::vector<LevelRun> runs;
  const RunsSink* on_runs;

  Cursor Room(Cursor at, size_t count) {
    if (static_cast<size_t>(runs.data() + runs.size() - at) >= count) return at;
    Hand(at);
    return runs.data();
  }
  static Cursor Put(Cursor at, const LevelRun& run, int keep) {
    *at = run;
    return at + keep;
  }
  void Hand(Cursor at) {
    if (at != runs.data()) (*on_runs)(std::span<const LevelRun>(runs.data(), at));
  }
};

}  // namespace

RunSource RunsOf(const SampleSource& samples, const ConversionTable& table) {
  return [samples, &table](const RunsSink& on_runs) {
    RunFolder folder(table);
    // Runs are handed over in blocks as large as a block of samples makes.
    RunRecords records{std::vector<LevelRun>(kReadBlockBytes), &on_runs};
    LevelRun* at = records.runs.data();
    const bool is_read = samples([&](std::span<const uint8_t> block) { at = folder.Add(block, records, at); });
    if (!is_read) return false;
    records.Hand(folder.Finish(records, at));
    return true;
  };
}

Checked<int64_t> SamplesUnread() {
  return Checked<int64_t>::Refused("the samples can not be read to the end", RefusalKind::kCannotRead);
}

Checked<int64_t> WriteSampleList(SoundSource& source, const std::string& sample_path, SourceText& text,
                                 const ListWriter& write_list) {
  const std::string& output_path = text.names.source_path;
  AsideFile file(output_path);
  if (!file.IsOpen()) return Checked<int64_t>::Refused(CannotCreateText(output_path));
  const Checked<int64_t> list_bytes = write_list(
      StreamedSamples(source), source.table, [&file](std::span<const uint8_t> bytes) { file.Write(bytes); },
      text);
  if (!list_bytes) return Checked<int64_t>::Refused(SampleReadFailureText(sample_path));
  // The list went to the file as it grew; only the header is left.
  std::vector<SourceFile> header = FinishSource(text);
  header.erase(header.begin());
  AsideFile* const list_file[] = {&file};
  if (Refusal refusal = WriteSourceFiles(header, list_file))
    return Checked<int64_t>::Refused(std::move(*refusal));
  return *list_bytes;
}

ListBuffer::ListBuffer(ListSink list_sink) : bytes(kWriteBlockBytes), sink(std::move(list_sink)) {}

void FlushList(ListBuffer& list) {
  if (list.used > 0) list.sink(std::span<const uint8_t>(list.bytes.data(), list.used));
  list.flushed += static_cast<int64_t>(list.used);
  list.used = 0;
}

uint8_t* ListRoom(ListBuffer& list, uint8_t* at, size_t bytes) {
  uint8_t* const start = list.bytes.data();
  if (static_cast<size_t>(start + list.bytes.size() - at) >= bytes) return at;
  list.used = static_cast<size_t>(at - start);
  FlushList(list);
  return start;
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
