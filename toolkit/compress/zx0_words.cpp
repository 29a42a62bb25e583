#include "toolkit/compress/zx0_words.h"

#include <span>

#include "common/assembler_label.h"
#include "common/input_file.h"
#include "common/line_output.h"
#include "common/number_text.h"
#include "common/refusal.h"
#include "common/source_dialect.h"
#include "toolkit/compress/zx0_compressor.h"
#include "toolkit/compress/zx0_decoders.h"
#include "toolkit/compress/zx0_stream.h"

namespace {

constexpr char kCompressPrefix[] = "CompressZX0 : ";
constexpr char kDecompressPrefix[] = "DecompressZX0 : ";
constexpr char kDecoderPrefix[] = "WriteZX0Decoder : ";

// A stream is a little longer than its data at worst; anything much longer
// can not decode to an output of the largest size.
constexpr uint64_t kMaxStreamBytes = 2ull * kZx0MaxBytes;

constexpr size_t kZ80Memory = 65536;

struct WordOptions {
  Zx0Direction direction = Zx0Direction::kForward;
  Zx0Decoder decoder = Zx0Decoder::kSmall;
};

Checked<WordOptions> ParseOptions(const std::vector<std::string>& options, bool takes_fast) {
  WordOptions parsed;
  for (const std::string& option : options) {
    if (option == "--backward") {
      parsed.direction = Zx0Direction::kBackward;
    } else if (takes_fast && option == "--fast") {
      parsed.decoder = Zx0Decoder::kFast;
    } else {
      return Checked<WordOptions>::Refused("unknown option " + option);
    }
  }
  return parsed;
}

// The whole input, or the line that says why not.
Checked<std::vector<uint8_t>> LoadInput(const std::string& input_path, const std::string& output_path,
                                        uint64_t max_bytes) {
  Checked<std::vector<uint8_t>> input = ReadInputFile(input_path, max_bytes);
  if (!input) return input;
  if (input->empty()) return Checked<std::vector<uint8_t>>::Refused(input_path + " is empty");
  if (IsSameFile(input_path, output_path)) {
    return Checked<std::vector<uint8_t>>::Refused(output_path + " would replace " + input_path);
  }
  return input;
}

// "19.1%": a tenth of a percent, rounded.
std::string Percent(uint64_t part, uint64_t whole) {
  const uint64_t tenths = (part * 1000 + whole / 2) / whole;
  return PlainDecimal(static_cast<int64_t>(tenths / 10)) + "." +
         PlainDecimal(static_cast<int64_t>(tenths % 10)) + "%";
}

std::string CompressedLine(const std::string& input_path, size_t input_bytes, std::span<const uint8_t> stream,
                           Zx0Direction direction, uint32_t delta) {
  std::string line = kCompressPrefix + input_path + ", " + PlainDecimal(static_cast<int64_t>(input_bytes)) +
                     " -> " + PlainDecimal(static_cast<int64_t>(stream.size())) + " bytes (" +
                     Percent(stream.size(), input_bytes) + "), ";
  if (direction == Zx0Direction::kForward) line += "delta " + PlainDecimal(delta) + ", ";
  // The Z80 addresses 64 KB: a larger output has no decoding time to give.
  if (input_bytes > kZ80Memory) return line + "too large to decode on the Z80 at once";
  return line + "decodes in " + PlainDecimal(ZX0DecoderNops(Zx0Decoder::kSmall, direction, stream)) +
         " NOPs (small) / " + PlainDecimal(ZX0DecoderNops(Zx0Decoder::kFast, direction, stream)) + " (fast)";
}

bool Refuse(const char* prefix, const std::string& text) {
  PrintLine(prefix + text);
  return false;
}

}  // namespace

bool CompressZX0(const std::string& input_path, const std::string& output_path,
                 const std::vector<std::string>& options) {
  const Checked<WordOptions> parsed = ParseOptions(options, false);
  if (!parsed) return Refuse(kCompressPrefix, parsed.refusal());
  const Checked<std::vector<uint8_t>> input = LoadInput(input_path, output_path, kZx0MaxBytes);
  if (!input) return Refuse(kCompressPrefix, input.refusal());
  const std::vector<uint8_t> stream = CompressZX0Bytes(*input, parsed->direction);
  const Checked<Zx0Decoded> decoded = DecodeZX0(stream, parsed->direction);
  if (!decoded || decoded->bytes != *input)
    return Refuse(kCompressPrefix, "the stream does not decode to " + input_path);
  if (const Refusal refused = WriteBinaryFile(output_path, stream)) return Refuse(kCompressPrefix, *refused);
  PrintLine(CompressedLine(input_path, input->size(), stream, parsed->direction, decoded->delta));
  return true;
}

bool DecompressZX0(const std::string& input_path, const std::string& output_path,
                   const std::vector<std::string>& options) {
  const Checked<WordOptions> parsed = ParseOptions(options, false);
  if (!parsed) return Refuse(kDecompressPrefix, parsed.refusal());
  const Checked<std::vector<uint8_t>> input = LoadInput(input_path, output_path, kMaxStreamBytes);
  if (!input) return Refuse(kDecompressPrefix, input.refusal());
  const Checked<Zx0Decoded> decoded = DecodeZX0(*input, parsed->direction);
  if (!decoded) return Refuse(kDecompressPrefix, input_path + " does not decode: " + decoded.refusal());
  if (const Refusal refused = WriteBinaryFile(output_path, decoded->bytes))
    return Refuse(kDecompressPrefix, *refused);
  PrintLine(kDecompressPrefix + input_path + ", " + PlainDecimal(static_cast<int64_t>(input->size())) +
            " -> " + PlainDecimal(static_cast<int64_t>(decoded->bytes.size())) + " bytes in " + output_path);
  return true;
}

bool WriteZX0Decoder(const std::string& name, const std::string& output_path,
                     const std::vector<std::string>& options) {
  const Checked<WordOptions> parsed = ParseOptions(options, true);
  if (!parsed) return Refuse(kDecoderPrefix, parsed.refusal());
  const Refusal bad_name = SourceTextRefusal("NAME", name);
  if (bad_name) return Refuse(kDecoderPrefix, *bad_name);
  const SourceSyntax syntax = ChosenSyntax();
  if (const Refusal refusal = SourceNameRefusal(output_path, SourceContent::kCode, syntax)) {
    return Refuse(kDecoderPrefix, *refusal);
  }
  SourceText source = StartSource(output_path, SourceContent::kCode, syntax);
  SpellZX0Decoder(source, parsed->decoder, parsed->direction, LabelNamePart(name));
  if (const Refusal refusal = WriteSourceFiles(FinishSource(source))) return Refuse(kDecoderPrefix, *refusal);
  const bool is_fast = parsed->decoder == Zx0Decoder::kFast;
  const bool is_backward = parsed->direction == Zx0Direction::kBackward;
  PrintLine(std::string(kDecoderPrefix) + "wrote " + source.names.source_path + ", the " +
            (is_fast ? "fast" : "small") + " " + (is_backward ? "backward" : "forward") + " decoder, " +
            PlainDecimal(ZX0DecoderBytes(parsed->decoder, parsed->direction)) + " bytes");
  return true;
}
