#include "toolkit/sound/ay_list.h"

#include <bit>
#include <cstring>

#include "common/line_output.h"
#include "common/number_text.h"

namespace {

constexpr char kPrefix[] = "ConvertAYlist15K : ";

constexpr char kHeaderLine[] = ";starting sample AY list here - pause unit = 64nops";

// The DMA's LOAD instruction is 0RDD: register R (9, channel B's volume) gets DD.
constexpr uint8_t kVolumeRegister = 9;
// The DMA's PAUSE instruction is 1NNN: wait NNN steps of 64 microseconds.
constexpr int kPauseInstruction = 4096;

constexpr int kWordBytes = 2;

static_assert(kLineEnd.size() == 1, "the list lines are laid out with a one-byte line end");

// "dw #09LL" and the line end: the load of register 9 with level LL.
constexpr size_t kLoadLineLength = 9;
// "dw #1PPP ;pause" and the line end.
constexpr size_t kPauseLineLength = 16;

// Writes the lines of one run at out; returns how many bytes they take.
size_t WriteAyRunText(const LevelRun& run, uint8_t* out) {
  const auto& hex = HexPairs();
  const HexPair& reg = hex[kVolumeRegister];
  const HexPair& level = hex[run.level];
  const uint8_t load[kLoadLineLength] = {'d',
                                         'w',
                                         ' ',
                                         '#',
                                         uint8_t(reg[0]),
                                         uint8_t(reg[1]),
                                         uint8_t(level[0]),
                                         uint8_t(level[1]),
                                         uint8_t(kLineEnd[0])};
  std::memcpy(out, load, kLoadLineLength);
  if (run.pause == 0) return kLoadLineLength;
  const unsigned word = static_cast<unsigned>(kPauseInstruction + run.pause);
  const HexPair& high = hex[word >> 8];
  const HexPair& low = hex[word & 0xFF];
  const uint8_t pause[kPauseLineLength] = {'d',
                                           'w',
                                           ' ',
                                           '#',
                                           uint8_t(high[0]),
                                           uint8_t(high[1]),
                                           uint8_t(low[0]),
                                           uint8_t(low[1]),
                                           ' ',
                                           ';',
                                           'p',
                                           'a',
                                           'u',
                                           's',
                                           'e',
                                           uint8_t(kLineEnd[0])};
  std::memcpy(out + kLoadLineLength, pause, kPauseLineLength);
  return kLoadLineLength + kPauseLineLength;
}

// The raw list written by the fold itself (sample_runs.h): each run's two
// instruction words, low byte first, the load then the pause. Both are stored
// as one host word and the pause is counted only when the run has one, by
// arithmetic: in noise a branch there would follow the samples.
struct AyWordsOutput {
  using Cursor = uint8_t*;
  ListBuffer* list;

  Cursor Room(Cursor at, size_t runs) { return ListRoom(*list, at, runs * sizeof(uint32_t)); }
  static Cursor Put(Cursor at, const LevelRun& run, int keep) {
    static_assert(std::endian::native == std::endian::little, "the two words are stored as one host word");
    const uint32_t pause_word = static_cast<uint32_t>(kPauseInstruction + run.pause);
    const uint32_t words = run.level | uint32_t{kVolumeRegister} << 8 | pause_word << 16;
    std::memcpy(at, &words, sizeof words);
    // 1 for a pause of 1 to kMaxPause, 0 for none.
    static_assert(kMaxPause == 4095, "has_pause divides by kMaxPause + 1");
    const int has_pause = (run.pause + kMaxPause) >> 12;
    return at + (kWordBytes + kWordBytes * has_pause) * keep;
  }
};

int AyRunBytes(const LevelRun& run) { return run.pause == 0 ? kWordBytes : 2 * kWordBytes; }

}  // namespace

std::optional<int64_t> WriteAyList(const SampleSource& samples, const ConversionTable& table, int32_t options,
                                   const ListSink& sink) {
  ListBuffer list(sink);
  if ((options & kAyListRaw) != 0) {
    // The raw words are written as the runs close: no run is stored between.
    RunFolder folder(table);
    AyWordsOutput output{&list};
    uint8_t* at = list.bytes.data();
    const bool is_read = samples([&](std::span<const uint8_t> block) { at = folder.Add(block, output, at); });
    if (!is_read) return std::nullopt;
    at = folder.Finish(output, at);
    list.used = static_cast<size_t>(at - list.bytes.data());
    FlushList(list);
    return list.flushed;
  }
  AppendToList(list, kHeaderLine);
  AppendToList(list, kLineEnd);
  int64_t list_bytes = 0;
  const bool is_read = RunsOf(samples, table)([&](std::span<const LevelRun> closed) {
    WriteRuns(list, closed, WriteAyRunText);
    // Counted apart: a count kept in the writing loop would be stored and
    // loaded again after every run, since the list bytes may alias it.
    for (const LevelRun& run : closed) list_bytes += AyRunBytes(run);
  });
  if (!is_read) return std::nullopt;
  FlushList(list);
  return list_bytes;
}

bool ConvertAYlist15K(const std::string& sample_path, const std::string& output_path,
                      const std::string& table_path, int32_t /*reserved*/, int32_t options) {
  Checked<SoundSource> source = OpenSoundSource(sample_path, table_path);
  if (!source) {
    PrintLine(kPrefix + source.refusal());
    return false;
  }
  for (const std::string& line : SoundOpeningLines(kPrefix, sample_path, *source)) PrintLine(line);
  const Checked<int64_t> list_bytes = WriteSampleList(
      *source, sample_path, output_path,
      [options](const SampleSource& samples, const ConversionTable& table, const ListSink& sink) {
        return WriteAyList(samples, table, options, sink);
      });
  if (!list_bytes) {
    PrintLine(kPrefix + list_bytes.refusal());
    return false;
  }
  PrintLine(kPrefix + std::string("AY list size : ") + SpacedDecimal(*list_bytes) + " bytes");
  return true;
}
