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

std::vector<uint8_t> AyListWords(std::span<const uint8_t> samples, const ConversionTable& table) {
  std::vector<uint8_t> levels;
  for (const uint8_t sample : samples) levels.push_back(table[sample]);
  std::vector<uint8_t> bytes;
  for (const LevelRun& run : SplitIntoRuns(levels)) AppendAyRunWords(run, bytes);
  return bytes;
}

bool ConvertAYlist15K(const std::string& sample_path, const std::string& output_path,
                      const std::string& table_path, int32_t /*reserved*/, int32_t options) {
  std::optional<SoundSource> source = StartSoundConversion(kPrefix, sample_path, table_path);
  if (!source) return false;
  AsideFile file(output_path);
  if (!file.IsOpen()) {
    PrintLine(kPrefix + WriteFailureText(WriteStatus::kCannotCreate, output_path));
    return false;
  }
  const bool is_raw = (options & kAyListRaw) != 0;
  std::string text;
  std::vector<uint8_t> words;
  if (!is_raw) {
    text += kHeaderLine;
    text += kLineEnd;
  }
  int64_t list_bytes = 0;
  const bool is_read = StreamSampleRuns(*source, [&](const LevelRun& run) {
    if (is_raw) {
      list_bytes += AppendAyRunWords(run, words);
      FlushWhenFull(file, words);
    } else {
      list_bytes += AppendAyRunText(run, text);
      FlushWhenFull(file, text);
    }
  });
  if (!is_read) {
    PrintLine(kPrefix + SampleReadFailureText(sample_path));
    return false;
  }
  file.Write(text);
  file.Write(words);
  const WriteStatus written = file.Commit();
  if (written != WriteStatus::kOk) {
    PrintLine(kPrefix + WriteFailureText(written, output_path));
    return false;
  }
  PrintLine(kPrefix + std::string("AY list size : ") + SpacedDecimal(list_bytes) + " bytes");
  return true;
}
