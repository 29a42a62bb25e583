#include "toolkit/sprites/rle_sprite.h"

#include <memory>

#include "common/assembler_label.h"
#include "common/line_output.h"
#include "common/number_text.h"

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
Refusal HeaderRefusal(const std::string& data_path, const std::string& decoder_address) {
  if (decoder_address.find_first_not_of(' ') == std::string::npos) {
    return Refusal("Decoder address can not be empty");
  }
  if (Refusal refusal = SourceTextRefusal("Decoder address", decoder_address)) return refusal;
  return QuotedNameRefusal("Data file name", data_path);
}

void PrintRuns(std::span<const uint8_t> data) {
  for (const uint8_t byte : data) {
    if (byte == kEndByte) break;
    PrintLine("ROW :" + SpacedDecimal(byte & 15) + ":" + SpacedDecimal(byte >> 4));
  }
  PrintLine("RLE sprite : " + SpacedDecimal(static_cast<int64_t>(data.size())) + " bytes");
}

bool ReportFailure(WriteStatus status, const std::string& path) {
  PrintLine(kPrefix + WriteFailureText(status, path));
  return false;
}

std::unique_ptr<AsideFile> PrepareHeader(const std::string& header_path, const std::string& data_path,
                                         const std::string& decoder_address, std::span<const uint8_t> data) {
  const int32_t total_time_nops = EstimateRleDecodeTime(data) + kHeaderNops;
  const int32_t size_bytes = static_cast<int32_t>(data.size()) + kHeaderCodeBytes + kHeaderWordBytes;
  auto header_file = std::make_unique<AsideFile>(header_path);
  for (const std::string& line : RleHeaderLines(data_path, decoder_address, total_time_nops, size_bytes)) {
    header_file->WriteLine(line);
  }
  return header_file;
}

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

std::vector<std::string> RleHeaderLines(const std::string& data_path, const std::string& decoder_address,
                                        int32_t total_time_nops, int32_t size_bytes) {
  const std::string label = LabelNamePart(WithoutExtension(data_path));
  // Called with IX at the "ex DE,HL": the data starts 11 code bytes further on.
  return {
      "update_" + label + ":",
      "\tdw " + PlainDecimal(total_time_nops) + " ;total time",
      ";\tsize = " + SpacedDecimal(size_bytes),
      "\tex DE,HL",
      "\tpush IX",
      "\tpop HL",
      "\tld BC," + PlainDecimal(kHeaderCodeBytes),
      "\tadd HL,BC",
      "\tjp " + decoder_address,
      "\tincbin \"" + data_path + "\"",
  };
}

bool ConvertToRleSprite(const std::string& source_path, const std::string& data_path,
                        const std::string& header_path, const std::string& decoder_address) {
  const bool has_header = !MeansNoDecoder(decoder_address);
  if (const Refusal refusal = has_header ? HeaderRefusal(data_path, decoder_address) : std::nullopt) {
    PrintLine(kPrefix + *refusal);
    return false;
  }
  const std::optional<Picture> source = LoadSpriteSource(source_path);
  if (!source) return false;
  const std::vector<uint8_t> data = EncodeRleSprite(ReadSpritePixels(*source));
  // Both outputs are prepared aside first, so that a header that cannot be
  // created leaves no data file either.
  AsideFile data_file(data_path);
  data_file.Write(data);
  std::unique_ptr<AsideFile> header_file;
  if (has_header) header_file = PrepareHeader(header_path, data_path, decoder_address, data);
  if (!data_file.IsOpen()) return ReportFailure(WriteStatus::kCannotCreate, data_path);
  if (header_file && !header_file->IsOpen()) return ReportFailure(WriteStatus::kCannotCreate, header_path);
  const WriteStatus data_status = data_file.Commit();
  if (data_status != WriteStatus::kOk) return ReportFailure(data_status, data_path);
  PrintRuns(data);
  if (!header_file) return true;
  const WriteStatus header_status = header_file->Commit();
  if (header_status != WriteStatus::kOk) return ReportFailure(header_status, header_path);
  return true;
}
