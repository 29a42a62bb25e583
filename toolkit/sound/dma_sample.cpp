#include "toolkit/sound/dma_sample.h"

#include <array>
#include <cstring>

#include "common/assembler_label.h"
#include "common/line_output.h"
#include "common/number_text.h"
#include "common/source_dialect.h"

namespace {

constexpr char kPrefix[] = "ConvertDMAsample15K : ";

// The list's own description of its format, for whoever opens the source.
constexpr const char* kHeaderLines[] = {
    "starting DMA sample here - pause unit = 64nops",
    "=DMA sample format=",
    "first data is 8bits",
    "data = #FF ==> end of sample",
    "else",
    "bit 4 = 0 ==> data = sample to output (AY code 0RDD (ld R,DD)",
    "bit 4 = 1 ==> read next byte data2 (AY code byte1,byte2 so 1DDD (pause DDD))",
};

// The player stops at #FF; it is part of the list, not of the sample data.
constexpr uint8_t kEndByte = 0xFF;
constexpr char kEndComment[] = "the end";

// A level byte with bit 4 set opens a pause: 16 + the pause's high nibble.
constexpr int kPauseMark = 4096;

// Runs of 1 or 2 steps are cheaper as repeated level bytes than as a pause.
constexpr int kShortestPause = 2;
static_assert(kShortestPause == 2, "WriteDmaRun writes a run shorter than a pause as one or two level lines");

// A level line holds one data byte, a pause line two.
constexpr int kLevelBytes = 1;
constexpr int kPauseBytes = 2;

// Every level line with its line end, made once for each dialect: a noisy
// sample writes one for almost every step. Sixteen bytes an entry, so each
// is copied in one move.
using LevelLineBytes = std::array<uint8_t, 16>;
using LevelLines = std::array<LevelLineBytes, 256>;

template <SourceSyntax kSyntax>
struct DmaLines {
  static constexpr ListLine kLevel = ByteListLine(kSyntax);
  static constexpr ListLine kPause = BytePairListLine(kSyntax);
  static_assert(kLevel.length <= sizeof(LevelLineBytes), "a level line fits its entry");
  static_assert(kLevel.length + kLineCopyBytes <= kMostRunBytes, "a run's lines fit the room left for them");

  static const LevelLines& Levels() {
    static const LevelLines kLines = [] {
      LevelLines lines{};
      uint8_t line[kLineCopyBytes];
      for (size_t k = 0; k < lines.size(); ++k) {
        PutListLine(kLevel, HexPairs()[k], HexPairs()[k], line);
        std::memcpy(lines[k].data(), line, sizeof(LevelLineBytes));
      }
      return lines;
    }();
    return kLines;
  }
};

// Writes the list lines of one run at out; returns how many bytes they take.
template <SourceSyntax kSyntax>
size_t WriteDmaRun(const LevelRun& run, const LevelLines& level_lines, const std::array<HexPair, 256>& hex,
                   uint8_t* out) {
  using Lines = DmaLines<kSyntax>;
  // Every run starts with its level line; a run of 2 steps repeats it.
  std::memcpy(out, level_lines[run.level].data(), sizeof(LevelLineBytes));
  if (run.pause < kShortestPause) {
    if (run.pause == 0) return Lines::kLevel.length;
    std::memcpy(out + Lines::kLevel.length, level_lines[run.level].data(), sizeof(LevelLineBytes));
    return 2 * Lines::kLevel.length;
  }
  // The pause mark and the pause's 12 bits as two bytes.
  const unsigned word = static_cast<unsigned>(kPauseMark + run.pause);
  return Lines::kLevel.length +
         PutListLine(Lines::kPause, hex[word >> 8], hex[word & 0xFF], out + Lines::kLevel.length);
}

int DmaRunDataBytes(const LevelRun& run) {
  return run.pause < kShortestPause ? (run.pause + 1) * kLevelBytes : kLevelBytes + kPauseBytes;
}

std::string SizeComment(int64_t data_bytes) { return "sample size " + SpacedDecimal(data_bytes) + " bytes"; }

// The body of the list; the data size, or refused (SamplesUnread) when the samples could not be read.
template <SourceSyntax kSyntax>
Checked<int64_t> WriteDmaBody(const SampleSource& samples, const ConversionTable& table, ListBuffer& list) {
  int64_t data_bytes = 0;
  const LevelLines& level_lines = DmaLines<kSyntax>::Levels();
  const std::array<HexPair, 256>& hex = HexPairs();
  const bool is_read = RunsOf(samples, table)([&](std::span<const LevelRun> closed) {
    // The size is counted apart: a count kept in the writing loop would be
    // stored and loaded again after every run, since the list bytes may alias it.
    WriteRuns(list, closed, [&level_lines, &hex](const LevelRun& run, uint8_t* place) {
      return WriteDmaRun<kSyntax>(run, level_lines, hex, place);
    });
    for (const LevelRun& run : closed) data_bytes += DmaRunDataBytes(run);
  });
  if (!is_read) return SamplesUnread();
  return data_bytes;
}

Checked<int64_t> WriteDmaBodyIn(SourceSyntax syntax, const SampleSource& samples,
                                const ConversionTable& table, ListBuffer& list) {
  switch (syntax) {
    case SourceSyntax::kWinApe:
      return WriteDmaBody<SourceSyntax::kWinApe>(samples, table, list);
    case SourceSyntax::kSdasz80:
      return WriteDmaBody<SourceSyntax::kSdasz80>(samples, table, list);
    case SourceSyntax::kC:
      break;
  }
  return WriteDmaBody<SourceSyntax::kC>(samples, table, list);
}

// Hands what text holds so far to the list.
void MoveToList(SourceText& text, ListBuffer& list) {
  AppendToList(list, text.text);
  text.text.clear();
}

}  // namespace

int AppendDmaRun(const LevelRun& run, std::string& text) {
  uint8_t lines[kMostRunBytes];
  const size_t length =
      WriteDmaRun<SourceSyntax::kWinApe>(run, DmaLines<SourceSyntax::kWinApe>::Levels(), HexPairs(), lines);
  text.append(reinterpret_cast<const char*>(lines), length);
  return DmaRunDataBytes(run);
}

Checked<int64_t> WriteDmaSampleList(const SampleSource& samples, const ConversionTable& table,
                                    const ListSink& sink, SourceText& text, const std::string& label) {
  ListBuffer list(sink);
  for (const char* line : kHeaderLines) AddComment(text, line);
  // The WinApe list has always followed the including program's own label.
  OpenArray(text, label, WinApeLabel::kOmitted);
  MoveToList(text, list);
  const Checked<int64_t> data_bytes = WriteDmaBodyIn(text.names.syntax, samples, table, list);
  if (!data_bytes) return data_bytes;
  text.array_bytes += *data_bytes;
  const SourceNumber end[] = {HexNumber(kEndByte)};
  AddByteLine(text, end, kEndComment);
  CloseArray(text);
  AddComment(text, SizeComment(*data_bytes));
  MoveToList(text, list);
  FlushList(list);
  return data_bytes;
}

Checked<int64_t> WriteDmaSampleList(const SampleSource& samples, const ConversionTable& table,
                                    const ListSink& sink) {
  SourceText text = StartSource("list.asm", SourceContent::kData, SourceSyntax::kWinApe);
  return WriteDmaSampleList(samples, table, sink, text, "list");
}

bool ConvertDMAsample15K(const std::string& sample_path, const std::string& output_path,
                         const std::string& table_path) {
  if (const Refusal refusal = ListNameRefusal(output_path)) {
    PrintLine(kPrefix + *refusal);
    return false;
  }
  Checked<SoundSource> source = OpenSoundSource(sample_path, table_path);
  if (!source) {
    PrintLine(kPrefix + source.refusal());
    return false;
  }
  for (const std::string& line : SoundOpeningLines(kPrefix, sample_path, *source)) PrintLine(line);
  SourceText text = StartSource(output_path, SourceContent::kData, ChosenSyntax());
  const std::string label = LabelNamePart(WithoutExtension(output_path));
  const Checked<int64_t> data_bytes = WriteSampleList(
      *source, sample_path, text,
      [&label](const SampleSource& samples, const ConversionTable& table, const ListSink& sink,
               SourceText& list_text) { return WriteDmaSampleList(samples, table, sink, list_text, label); });
  if (!data_bytes) {
    PrintLine(kPrefix + data_bytes.refusal());
    return false;
  }
  PrintLine(kPrefix + std::string("DMA sample size : ") + SpacedDecimal(*data_bytes) + " bytes");
  return true;
}
