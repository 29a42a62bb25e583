#include "toolkit/sprites/rle_sprite.h"

#include "common/assembler_label.h"
#include "common/line_output.h"
#include "common/number_text.h"
#include "common/source_dialect.h"

namespace {

constexpr char kPrefix[] = "ConvertToRleSprite : ";
constexpr int kLongestRun = 15;  // the length lives in a nibble, and 0 ends the data
constexpr uint8_t kEndByte = 0;
constexpr int32_t kRunFirstPixelNops = 21;
constexpr int32_t kRunNextPixelNops = 6;
constexpr int32_t kEndByteNops = 6;
constexpr int32_t kHeaderNops = 25;
// ex DE,HL / push IX / pop HL / ld BC,11 / add HL,BC / jp nn, and the dw word.
constexpr int32_t kHeaderCodeBytes = 11;
constexpr int32_t kHeaderWordBytes = 2;

uint8_t RunByte(uint8_t colour, int length) { return static_cast<uint8_t>(colour * 16 + length); }

bool MeansNoDecoder(const std::string& decoder_address) { return UpperAscii(decoder_address) == "NONE"; }

// The header's source holds the decoder address as the operand of a "jp"
// and the data file's name in its label and between the quotes of an
// "incbin": an empty address would leave a bare "jp", a line break would
// split a line, a quote would end the name early.
Refusal HeaderRefusal(const std::string& data_path, const std::string& decoder_address,
                      const std::string& header_path, SourceSyntax syntax) {
  if (decoder_address.find_first_not_of(' ') == std::string::npos) {
    return Refusal("Decoder address can not be empty");
  }
  if (Refusal refusal = SourceTextRefusal("Decoder address", decoder_address)) return refusal;
  if (Refusal refusal = QuotedNameRefusal("Data file name", data_path)) return refusal;
  return SourceNameRefusal(header_path, SourceContent::kCode, syntax);
}

void PrintRuns(std::span<const uint8_t> data) {
  for (const uint8_t byte : data) {
    if (byte == kEndByte) break;
    PrintLine("ROW :" + SpacedDecimal(byte & 15) + ":" + SpacedDecimal(byte >> 4));
  }
  PrintLine("RLE sprite : " + SpacedDecimal(static_cast<int64_t>(data.size())) + " bytes");
}

bool ReportFailure(const std::string& text) {
  PrintLine(kPrefix + text);
  return false;
}

// The header's code: DE takes the caller's HL (the destination), HL the data
// 11 code bytes past the entry, which the caller has in IX.
// Its time is kHeaderNops, its size kHeaderCodeBytes.
constexpr std::string_view kHeaderCode[] = {"ex DE,HL", "push IX", "pop HL", "ld BC,", "add HL,BC"};
constexpr std::string_view kChanges =
    "AF, BC, DE, HL and what the decoder changes; IX must hold its own address";

}  // namespace

std::vector<uint8_t> EncodeRleSprite(const SpritePixels& pixels) {
  std::vector<uint8_t> data;
  uint8_t run_colour = SpriteColour(pixels[0]);
  int run_length = 0;
  for (const uint8_t pixel : pixels) {
    const uint8_t colour = SpriteColour(pixel);
    if (colour != run_colour || run_length == kLongestRun) {
      data.push_back(RunByte(run_colour, run_length));
      run_colour = colour;
      run_length = 0;
    }
    ++run_length;
  }
  data.push_back(RunByte(run_colour, run_length));
  data.push_back(kEndByte);
  return data;
}

int32_t EstimateRleDecodeTime(std::span<const uint8_t> data) {
  int32_t time_nops = 0;
  for (const uint8_t byte : data) {
    const int length = byte & 15;
    time_nops += length == 0 ? kEndByteNops : kRunFirstPixelNops + kRunNextPixelNops * (length - 1);
  }
  return time_nops;
}

std::vector<SourceFile> RleHeaderSource(const std::string& data_path, const std::string& decoder_address,
                                        int32_t total_time_nops, int32_t size_bytes,
                                        std::span<const uint8_t> data, SourceSyntax syntax,
                                        const std::string& header_path) {
  const std::string label = LabelNamePart(WithoutExtension(data_path));
  SourceText source = StartSource(header_path, SourceContent::kCode, syntax);
  const RoutineEntry entry{"update_" + label, "unsigned char *destination", kChanges, false,
                           DecimalNumber(total_time_nops)};
  StartRoutine(source, entry);
  AddComment(source, "\tsize = " + SpacedDecimal(size_bytes));
  for (const std::string_view text : kHeaderCode) {
    const bool is_offset = text == "ld BC,";
    AddInstruction(source, text, is_offset ? std::optional(DecimalNumber(kHeaderCodeBytes)) : std::nullopt);
  }
  AddInstructionToAddress(source, "jp ", decoder_address);
  AddIncludedBinary(source, data_path, data);
  return FinishSource(source);
}

std::vector<std::string> RleHeaderLines(const std::string& data_path, const std::string& decoder_address,
                                        int32_t total_time_nops, int32_t size_bytes) {
  return SourceLines(RleHeaderSource(data_path, decoder_address, total_time_nops, size_bytes, {},
                                     SourceSyntax::kWinApe, "h.asm")[0]
                         .text);
}

bool ConvertToRleSprite(const std::string& source_path, const std::string& data_path,
                        const std::string& header_path, const std::string& decoder_address) {
  const bool has_header = !MeansNoDecoder(decoder_address);
  const SourceSyntax syntax = ChosenSyntax();
  if (const Refusal refusal =
          has_header ? HeaderRefusal(data_path, decoder_address, header_path, syntax) : std::nullopt) {
    return ReportFailure(*refusal);
  }
  const std::optional<Picture> source = LoadSpriteSource(source_path);
  if (!source) return false;
  const std::vector<uint8_t> data = EncodeRleSprite(ReadSpritePixels(*source));
  AsideFile data_file(data_path);
  data_file.Write(data);
  std::vector<SourceFile> header;
  if (has_header) {
    const int32_t total_time_nops = EstimateRleDecodeTime(data) + kHeaderNops;
    const int32_t size_bytes = static_cast<int32_t>(data.size()) + kHeaderCodeBytes + kHeaderWordBytes;
    header =
        RleHeaderSource(data_path, decoder_address, total_time_nops, size_bytes, data, syntax, header_path);
  }
  // The data and the header are one group: a header that cannot be created
  // leaves no data file either.
  AsideFile* const data_group[] = {&data_file};
  if (const Refusal refusal = WriteSourceFiles(header, data_group)) return ReportFailure(*refusal);
  PrintRuns(data);
  return true;
}
