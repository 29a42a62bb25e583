#include "toolkit/sound/ay_list.h"

#include <bit>
#include <cstring>

#include "common/assembler_label.h"
#include "common/line_output.h"
#include "common/number_text.h"
#include "common/source_dialect.h"

namespace {

constexpr char kPrefix[] = "ConvertAYlist15K : ";

constexpr char kHeaderLine[] = "starting sample AY list here - pause unit = 64nops";

// The DMA's LOAD instruction is 0RDD: register R (9, channel B's volume) gets DD.
constexpr uint8_t kVolumeRegister = 9;
// The DMA's PAUSE instruction is 1NNN: wait NNN steps of 64 microseconds.
constexpr int kPauseInstruction = 4096;

constexpr int kWordBytes = 2;

// "dw #09LL" (the load of register 9 with level LL) and "dw #1PPP ;pause".
template <SourceSyntax kSyntax>
struct AyLines {
  static constexpr ListLine kLoad = WordListLine(kSyntax);
  static constexpr ListLine kPause = WordListLine(kSyntax, "pause");
  static_assert(kLoad.length + kLineCopyBytes <= kMostRunBytes, "a run's lines fit the room left for them");
};

// Writes the lines of one run at out; returns how many bytes they take.
template <SourceSyntax kSyntax>
size_t WriteAyRunText(const LevelRun& run, uint8_t* out) {
  using Lines = AyLines<kSyntax>;
  const auto& hex = HexPairs();
  const size_t load = PutListLine(Lines::kLoad, hex[kVolumeRegister], hex[run.level], out);
  if (run.pause == 0) return load;
  const unsigned word = static_cast<unsigned>(kPauseInstruction + run.pause);
  return load + PutListLine(Lines::kPause, hex[word >> 8], hex[word & 0xFF], out + load);
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

// The source lines of the runs; the list size, or refused (SamplesUnread) when the samples could not be read.
template <SourceSyntax kSyntax>
Checked<int64_t> WriteAyBody(const SampleSource& samples, const ConversionTable& table, ListBuffer& list) {
  int64_t list_bytes = 0;
  const bool is_read = RunsOf(samples, table)([&](std::span<const LevelRun> closed) {
    WriteRuns(list, closed, WriteAyRunText<kSyntax>);
    // Counted apart: a count kept in the writing loop would be stored and
    // loaded again after every run, since the list bytes may alias it.
    for (const LevelRun& run : closed) list_bytes += AyRunBytes(run);
  });
  if (!is_read) return SamplesUnread();
  return list_bytes;
}

Checked<int64_t> WriteAyBodyIn(SourceSyntax syntax, const SampleSource& samples, const ConversionTable& table,
                               ListBuffer& list) {
  switch (syntax) {
    case SourceSyntax::kWinApe:
      return WriteAyBody<SourceSyntax::kWinApe>(samples, table, list);
    case SourceSyntax::kSdasz80:
      return WriteAyBody<SourceSyntax::kSdasz80>(samples, table, list);
    case SourceSyntax::kC:
      break;
  }
  return WriteAyBody<SourceSyntax::kC>(samples, table, list);
}

// The raw words, written as the runs close: no run is stored between.
Checked<int64_t> WriteAyWords(const SampleSource& samples, const ConversionTable& table, ListBuffer& list) {
  RunFolder folder(table);
  AyWordsOutput output{&list};
  uint8_t* at = list.bytes.data();
  const bool is_read = samples([&](std::span<const uint8_t> block) { at = folder.Add(block, output, at); });
  if (!is_read) return SamplesUnread();
  at = folder.Finish(output, at);
  list.used = static_cast<size_t>(at - list.bytes.data());
  FlushList(list);
  return list.flushed;
}

void MoveToList(SourceText& text, ListBuffer& list) {
  AppendToList(list, text.text);
  text.text.clear();
}

}  // namespace

Checked<int64_t> WriteAyList(const SampleSource& samples, const ConversionTable& table, int32_t options,
                             const ListSink& sink, SourceText& text, const std::string& label) {
  ListBuffer list(sink);
  if ((options & kAyListRaw) != 0) return WriteAyWords(samples, table, list);
  AddComment(text, kHeaderLine);
  // The WinApe list has always followed the including program's own label.
  OpenArray(text, label, WinApeLabel::kOmitted);
  MoveToList(text, list);
  const Checked<int64_t> list_bytes = WriteAyBodyIn(text.names.syntax, samples, table, list);
  if (!list_bytes) return list_bytes;
  text.array_bytes += *list_bytes;
  CloseArray(text);
  MoveToList(text, list);
  FlushList(list);
  return list_bytes;
}

Checked<int64_t> WriteAyList(const SampleSource& samples, const ConversionTable& table, int32_t options,
                             const ListSink& sink) {
  SourceText text = StartSource("list.asm", SourceContent::kData, SourceSyntax::kWinApe);
  return WriteAyList(samples, table, options, sink, text, "list");
}

bool ConvertAYlist15K(const std::string& sample_path, const std::string& output_path,
                      const std::string& table_path, int32_t /*reserved*/, int32_t options) {
  if (const Refusal refusal = (options & kAyListRaw) == 0 ? ListNameRefusal(output_path) : std::nullopt) {
    PrintLine(kPrefix + *refusal);
    return false;
  }
  Checked<SoundSource> source = OpenSoundSource(sample_path, table_path);
  if (!source) {
    PrintLine(kPrefix + source.refusal());
    return false;
  }
  for (const std::string& line : SoundOpeningLines(kPrefix, sample_path, *source)) PrintLine(line);
  // The raw words are no source: their file keeps its name whatever the syntax.
  const bool is_raw = (options & kAyListRaw) != 0;
  SourceText text =
      StartSource(output_path, SourceContent::kData, is_raw ? SourceSyntax::kWinApe : ChosenSyntax());
  const std::string label = LabelNamePart(WithoutExtension(output_path));
  const Checked<int64_t> list_bytes =
      WriteSampleList(*source, sample_path, text,
                      [options, &label](const SampleSource& samples, const ConversionTable& table,
                                        const ListSink& sink, SourceText& list_text) {
                        return WriteAyList(samples, table, options, sink, list_text, label);
                      });
  if (!list_bytes) {
    PrintLine(kPrefix + list_bytes.refusal());
    return false;
  }
  PrintLine(kPrefix + std::string("AY list size : ") + SpacedDecimal(*list_bytes) + " bytes");
  return true;
}
