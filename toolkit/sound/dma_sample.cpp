#include "toolkit/sound/dma_sample.h"

#include <array>
#include <cstring>

#include "common/line_output.h"
#include "common/number_text.h"

namespace {

constexpr char kPrefix[] = "ConvertDMAsample15K : ";

// The list's own description of its format, for whoever opens the source.
constexpr const char* kHeaderLines[] = {
    ";starting DMA sample here - pause unit = 64nops",
    ";=DMA sample format=",
    ";first data is 8bits",
    ";data = #FF ==> end of sample",
    ";else",
    ";bit 4 = 0 ==> data = sample to output (AY code 0RDD (ld R,DD)",
    ";bit 4 = 1 ==> read next byte data2 (AY code byte1,byte2 so 1DDD (pause DDD))",
};

// The player stops at #FF; it is not part of the sample data.
constexpr char kEndLine[] = "db #FF ;the end";

// A level byte with bit 4 set opens a pause: 16 + the pause's high nibble.
constexpr int kPauseMark = 4096;

// Runs of 1 or 2 steps are cheaper as repeated level bytes than as a pause.
constexpr int kShortestPause = 2;
static_assert(kShortestPause == 2, "WriteDmaRun writes a run shorter than a pause as one or two level lines");

// A level line holds one data byte, a pause line two.
constexpr int kLevelBytes = 1;
constexpr int kPauseBytes = 2;

void AppendLine(std::string& text, std::string_view line) {
  text += line;
  text += kLineEnd;
}

// Every level line with its line end, made once: a noisy sample writes one for
// almost every step. Eight bytes an entry, so each is copied in one move.
constexpr size_t kLevelLineLength = 7;  // "db #XX" and the line end
static_assert(kLineEnd.size() == 1, "the list lines are laid out with a one-byte line end");
using LevelLineBytes = std::array<uint8_t, 8>;

const std::array<LevelLineBytes, 256>& LevelLines() {
  static const std::array<LevelLineBytes, 256> kLines = [] {
    std::array<LevelLineBytes, 256> lines{};
    for (size_t k = 0; k < lines.size(); ++k) {
      const std::string line = "db #" + Hex(k, 2) + std::string(kLineEnd);
      std::memcpy(lines[k].data(), line.data(), kLevelLineLength);
    }
    return lines;
  }();
  return kLines;
}

// "db #1H,#LL" and the line end: the pause mark and the pause's 12 bits as two bytes.
constexpr size_t kPauseLineLength = 11;

// Writes the list lines of one run at out; returns how many bytes they take.
size_t WriteDmaRun(const LevelRun& run, const std::array<LevelLineBytes, 256>& level_lines,
                   const std::array<HexPair, 256>& hex, uint8_t* out) {
  // Every run starts with its level line; a run of 2 steps repeats it.
  std::memcpy(out, level_lines[run.level].data(), sizeof(LevelLineBytes));
  if (run.pause < kShortestPause) {
    if (run.pause == 0) return kLevelLineLength;
    std::memcpy(out + kLevelLineLength, level_lines[run.level].data(), sizeof(LevelLineBytes));
    return 2 * kLevelLineLength;
  }
  uint8_t* pause = out + kLevelLineLength;
  const unsigned word = static_cast<unsigned>(kPauseMark + run.pause);
  const HexPair& high = hex[word >> 8];
  const HexPair& low = hex[word & 0xFF];
  const uint8_t line[kPauseLineLength] = {'d',
                                          'b',
                                          ' ',
                                          '#',
                                          uint8_t(high[0]),
                                          uint8_t(high[1]),
                                          ',',
                                          '#',
                                          uint8_t(low[0]),
                                          uint8_t(low[1]),
                                          uint8_t(kLineEnd[0])};
  std::memcpy(pause, line, kPauseLineLength);
  return kLevelLineLength + kPauseLineLength;
}

int DmaRunDataBytes(const LevelRun& run) {
  return run.pause < kShortestPause ? (run.pause + 1) * kLevelBytes : kLevelBytes + kPauseBytes;
}

std::string SizeLine(int64_t data_bytes) { return ";sample size " + SpacedDecimal(data_bytes) + " bytes"; }

}  // namespace

int AppendDmaRun(const LevelRun& run, std::string& text) {
  uint8_t lines[kMostRunBytes];
  const size_t length = WriteDmaRun(run, LevelLines(), HexPairs(), lines);
  text.append(reinterpret_cast<const char*>(lines), length);
  return DmaRunDataBytes(run);
}

std::optional<int64_t> WriteDmaSampleList(const SampleSource& samples, const ConversionTable& table,
                                          const ListSink& sink) {
  ListBuffer list(sink);
  std::string text;
  for (const char* line : kHeaderLines) AppendLine(text, line);
  AppendToList(list, text);
  int64_t data_bytes = 0;
  const std::array<LevelLineBytes, 256>& level_lines = LevelLines();
  const std::array<HexPair, 256>& hex = HexPairs();
  const bool is_read = RunsOf(samples, table)([&](std::span<const LevelRun> closed) {
    // The size is counted apart: a count kept in the writing loop would be
    // stored and loaded again after every run, since the list bytes may alias it.
    WriteRuns(list, closed, [&level_lines, &hex](const LevelRun& run, uint8_t* place) {
      return WriteDmaRun(run, level_lines, hex, place);
    });
    for (const LevelRun& run : closed) data_bytes += DmaRunDataBytes(run);
  });
  if (!is_read) return std::nullopt;
  text.clear();
  AppendLine(text, kEndLine);
  AppendLine(text, SizeLine(data_bytes));
  AppendToList(list, text);
  FlushList(list);
  return data_bytes;
}

bool ConvertDMAsample15K(const std::string& sample_path, const std::string& output_path,
                         const std::string& table_path) {
  Checked<SoundSource> source = OpenSoundSource(sample_path, table_path);
  if (!source) {
    PrintLine(kPrefix + source.refusal());
    return false;
  }
  for (const std::string& line : SoundOpeningLines(kPrefix, sample_path, *source)) PrintLine(line);
  const Checked<int64_t> data_bytes = WriteSampleList(*source, sample_path, output_path, WriteDmaSampleList);
  if (!data_bytes) {
    PrintLine(kPrefix + data_bytes.refusal());
    return false;
  }
  PrintLine(kPrefix + std::string("DMA sample size : ") + SpacedDecimal(*data_bytes) + " bytes");
  return true;
}
