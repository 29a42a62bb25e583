#include "toolkit/sound/ay_list.h"

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

}  // namespace

int AppendAyRunText(const LevelRun& run, std::string& text) {
  text += "dw #" + Hex(kVolumeRegister, 2) + Hex(run.level, 2);
  text += kLineEnd;
  if (run.pause == 0) return kWordBytes;
  text += "dw #" + Hex(static_cast<uint64_t>(kPauseInstruction + run.pause), 4) + " ;pause";
  text += kLineEnd;
  return 2 * kWordBytes;
}

int AppendAyRunWords(const LevelRun& run, std::vector<uint8_t>& bytes) {
  AppendLe16(bytes, static_cast<uint16_t>(kVolumeRegister << 8 | run.level));
  if (run.pause == 0) return kWordBytes;
  AppendLe16(bytes, static_cast<uint16_t>(kPauseInstruction + run.pause));
  return 2 * kWordBytes;
}

std::optional<int64_t> WriteAyList(const RunSource& runs, int32_t options, const ListSink& sink) {
  const bool is_raw = (options & kAyListRaw) != 0;
  ListBuffer list(sink);
  std::vector<uint8_t> words;
  if (!is_raw) {
    list.text() += kHeaderLine;
    list.text() += kLineEnd;
  }
  int64_t list_bytes = 0;
  const bool is_read = runs([&](const LevelRun& run) {
    if (is_raw) {
      words.clear();
      list_bytes += AppendAyRunWords(run, words);
      list.text().append(words.begin(), words.end());
    } else {
      list_bytes += AppendAyRunText(run, list.text());
    }
    list.FlushWhenFull();
  });
  if (!is_read) return std::nullopt;
  list.Flush();
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
  AsideFile file(output_path);
  if (!file.IsOpen()) {
    PrintLine(kPrefix + WriteFailureText(WriteStatus::kCannotCreate, output_path));
    return false;
  }
  const std::optional<int64_t> list_bytes =
      WriteAyList(StreamedRuns(*source), options, [&](std::string_view bytes) { file.Write(bytes); });
  if (!list_bytes) {
    PrintLine(kPrefix + SampleReadFailureText(sample_path));
    return false;
  }
  const WriteStatus written = file.Commit();
  if (written != WriteStatus::kOk) {
    PrintLine(kPrefix + WriteFailureText(written, output_path));
    return false;
  }
  PrintLine(kPrefix + std::string("AY list size : ") + SpacedDecimal(*list_bytes) + " bytes");
  return true;
}
