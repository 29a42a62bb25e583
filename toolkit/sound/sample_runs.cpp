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

// A run holds at most this many steps: the level's own and kMaxPause more.
constexpr int64_t kLongestRun = kMaxPause + 1;

uint64_t ScalarChanges(const uint8_t* samples, size_t count) {
  uint64_t changes = 0;
  for (size_t i = 0; i < count; ++i) changes |= uint64_t{samples[i] != samples[static_cast<ptrdiff_t>(i) - 1]} << i;
  return changes;
}

// Bits set, by adding neighbouring fields: the library call that counts them
// on a plain x86-64 costs more than the steps it chooses between.
int BitCount(uint64_t bits) {
  bits -= (bits >> 1) & 0x5555555555555555ull;
  bits = (bits & 0x3333333333333333ull) + ((bits >> 2) & 0x3333333333333333ull);
  bits = (bits + (bits >> 4)) & 0x0F0F0F0F0F0F0F0Full;
  return static_cast<int>((bits * 0x0101010101010101ull) >> 56);
}

}  // namespace

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
  return ScalarChanges(samples, 64);
#endif
}

// Sound holds one sample value for stretches (silences, held levels) and many
// values map to one level, so the level changes at few of the steps where the
// sample changes, and the sample at few steps: the steps where the sample
// changes are found 64 at a time, and only those look up their level. Runs
// are stored only when they close, so noise, where the level changes almost
// every step, costs a few instructions a step.
void RunFolder::Add(std::span<const uint8_t> samples, const RunsSink& on_runs) {
  if (samples.empty()) return;
  const size_t count = samples.size();
  // A block closes at most one run a step, plus one a full run, and one more
  // slot takes the pending run stored ahead.
  const size_t most_runs = count + count / kLongestRun + 3;
  if (closed_.size() < most_runs) closed_.resize(most_runs);
  // Local copies the compiler can keep apart from the runs being stored.
  const ConversionTable table = table_;
  const uint8_t* const block = samples.data();
  LevelRun* out = closed_.data();
  if (!has_run_) {
    has_run_ = true;
    level_ = table[block[0]];
    steps_ = 0;
    last_sample_ = block[0];
  }
  uint8_t level = level_;
  // Where the pending run opened, counted from this block's first sample.
  int64_t opened = -steps_;
  const auto close_at = [&](size_t k) {
    int64_t steps = static_cast<int64_t>(k) - opened;
    for (; steps > kLongestRun; steps -= kLongestRun) *out++ = LevelRun{level, kMaxPause};
    *out++ = LevelRun{level, static_cast<int>(steps - 1)};
    opened = static_cast<int64_t>(k);
  };
  // One step, without branches on the level, whose changes in noise no
  // predictor follows: the pending run is stored at every step and kept only
  // when the level changed.
  const auto step = [&](size_t k) {
    const uint8_t now = table[block[k]];
    const int64_t steps = static_cast<int64_t>(k) - opened;
    if (steps > kLongestRun) [[unlikely]] {
      if (now != level) close_at(k);
    } else {
      // Arithmetic rather than conditions, which the compiler turns into
      // branches again.
      const int64_t differs = now != level;
      *out = LevelRun{level, static_cast<int>(steps - 1)};
      out += differs;
      opened += steps & -differs;
    }
    level = now;
  };
  // Only the steps where the sample changes can change the level. Where most
  // do (noise), every step is taken in turn rather than finding them first.
  const auto visit = [&](uint64_t changes, size_t base, size_t width) {
    if (BitCount(changes) > 24) {
      for (size_t k = base; k < base + width; ++k) step(k);
      return;
    }
    for (; changes != 0; changes &= changes - 1) step(base + static_cast<size_t>(__builtin_ctzll(changes)));
  };
  // The first sample against the block before, then 64 at a time.
  if (block[0] != last_sample_) step(0);
  size_t base = 1;
  for (; base + 64 <= count; base += 64) visit(SampleChanges64(block + base), base, 64);
  if (base < count) visit(ScalarChanges(block + base, count - base), base, count - base);
  // Runs that filled up while the level held are closed now, so that the
  // pending run never holds more than a run's steps.
  for (; static_cast<int64_t>(count) - opened > kLongestRun; opened += kLongestRun) {
    *out++ = LevelRun{level, kMaxPause};
  }
  level_ = level;
  steps_ = static_cast<int64_t>(count) - opened;
  last_sample_ = block[count - 1];
  on_runs(std::span<const LevelRun>(closed_.data(), out));
}

void RunFolder::Finish(const RunsSink& on_runs) {
  if (!has_run_) return;
  has_run_ = false;
  const LevelRun run{level_, static_cast<int>(steps_ - 1)};
  on_runs(std::span<const LevelRun>(&run, 1));
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
