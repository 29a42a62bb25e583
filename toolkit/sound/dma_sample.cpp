#include "toolkit/sound/dma_sample.h"

#include <array>

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

// A level line holds one data byte, a pause line two.
constexpr int kLevelBytes = 1;
constexpr int kPauseBytes = 2;

void AppendLine(std::string& text, std::string_view line) {
  text += line;
  text += kLineEnd;
}

// Every level line, made once: a noisy sample writes one for almost every step.
const std::string& LevelLine(uint8_t level) {
  static const std::array<std::string, 256> kLines = [] {
    std::array<std::string, 256> lines;
    for (size_t k = 0; k < lines.size(); ++k) lines[k] = "db #" + Hex(k, 2);
    return lines;
  }();
  return kLines[level];
}

std::string SizeLine(int64_t data_bytes) { return ";sample size " + SpacedDecimal(data_bytes) + " bytes"; }

}  // namespace

int AppendDmaRun(const LevelRun& run, std::string& text) {
  const std::string& level_line = LevelLine(run.level);
  if (run.pause < kShortestPause) {
    for (int step = 0; step <= run.pause; ++step) AppendLine(text, level_line);
    return (run.pause + 1) * kLevelBytes;
  }
  const std::string pause = Hex(static_cast<uint64_t>(kPauseMark + run.pause), 4);
  AppendLine(text, level_line);
  AppendLine(text, "db #" + pause.substr(0, 2) + ",#" + pause.substr(2, 2));
  return kLevelBytes + kPauseBytes;
}

std::optional<int64_t> WriteDmaSampleList(const RunSource& runs, const ListSink& sink) {
  ListBuffer list(sink);
  for (const char* line : kHeaderLines) AppendLine(list.text(), line);
  int64_t data_bytes = 0;
  const bool is_read = runs([&](const LevelRun& run) {
    data_bytes += AppendDmaRun(run, list.text());
    list.FlushWhenFull();
  });
  if (!is_read) return std::nullopt;
  AppendLine(list.text(), kEndLine);
  AppendLine(list.text(), SizeLine(data_bytes));
  list.Flush();
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
  AsideFile file(output_path);
  if (!file.IsOpen()) {
    PrintLine(kPrefix + WriteFailureText(WriteStatus::kCannotCreate, output_path));
    return false;
  }
  const std::optional<int64_t> data_bytes =
      WriteDmaSampleList(StreamedRuns(*source), [&](std::string_view bytes) { file.Write(bytes); });
  if (!data_bytes) {
    PrintLine(kPrefix + SampleReadFailureText(sample_path));
    return false;
  }
  const WriteStatus written = file.Commit();
  if (written != WriteStatus::kOk) {
    PrintLine(kPrefix + WriteFailureText(written, output_path));
    return false;
  }
  PrintLine(kPrefix + std::string("DMA sample size : ") + SpacedDecimal(*data_bytes) + " bytes");
  return true;
}
