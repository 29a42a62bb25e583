#include "toolkit/sprites/mode0_extraction.h"

#include "common/cpc_pixels.h"
#include "common/input_file.h"
#include "common/line_output.h"
#include "common/number_text.h"
#include "common/image_io/bmp_file.h"

namespace {

constexpr char kPrefix[] = "ExtractMode0Sprite : ";
constexpr size_t kFileHeaderBytes = 128;  // the AMSDOS header in front of a CPC file

// A CPC's whole memory is 128 KB; the bound only keeps a wrong path (a disk
// image, a film) from being read whole.
constexpr uint64_t kMaxDataBytes = uint64_t{64} * 1024 * 1024;

// Pens into the template's scan lines. FreeImage saves its first scan line as
// the bottom of the picture, so decoded line y goes to scan line y for a
// picture saved upside down, or to scan line height - 1 - y for an upright one.
void StorePens(FIBITMAP* image, const std::vector<uint8_t>& pens, int width, int height, bool is_upright) {
  for (int y = 0; y < height; ++y) {
    const int scan_line = is_upright ? height - 1 - y : y;
    uint8_t* row = FreeImage_GetScanLine(image, scan_line);
    std::copy_n(pens.begin() + static_cast<ptrdiff_t>(y) * width, width, row);
  }
}

}  // namespace

std::vector<uint8_t> DecodeMode0Rows(const std::vector<uint8_t>& data, size_t first_byte, int width, int height) {
  std::vector<uint8_t> pens(static_cast<size_t>(width) * height);
  size_t index = first_byte;
  for (size_t pair = 0; pair < pens.size() / 2; ++pair) {
    const Mode0Pens decoded = DecodeMode0Byte(data[index++]);
    pens[2 * pair] = decoded.left;
    pens[2 * pair + 1] = decoded.right;
  }
  return pens;
}

bool ExtractMode0Sprite(const std::string& data_path, const std::string& template_path,
                        const std::string& output_path, int start_offset, int options) {
  PrintLine(std::string(kPrefix) + "Extracting...");
  const std::optional<SourceImage> source = LoadSourceImage(template_path, 2);
  if (!source) return false;
  InputBytes read = ReadInputFile(data_path, kMaxDataBytes);
  if (read.status == InputStatus::kMissing || read.status == InputStatus::kCannotRead) {
    PrintLine(kPrefix + std::string("Can not read ") + data_path);
    return false;
  }
  if (read.status != InputStatus::kOk) {
    PrintLine(kPrefix + InputFailureText(read.status, data_path));
    return false;
  }
  const std::vector<uint8_t> data = std::move(read.bytes);
  PrintLine(kPrefix + std::string("target ") + data_path + SpacedDecimal(static_cast<int64_t>(data.size())) + " bytes");
  const int width = source->pixels.width;
  const int height = source->pixels.height;
  const int64_t first_byte = int64_t{start_offset} + ((options & kSkipFileHeader) ? int64_t{kFileHeaderBytes} : 0);
  const int64_t needed = first_byte + int64_t{width} / 2 * height;
  if (start_offset < 0) {
    PrintLine(kPrefix + std::string("Start offset can not be negative"));
    return false;
  }
  if (needed > static_cast<int64_t>(data.size())) {
    PrintLine(kPrefix + std::string("Not enough data: ") + PlainDecimal(needed) + " bytes needed from offset " +
              PlainDecimal(first_byte));
    return false;
  }
  const std::vector<uint8_t> pens = DecodeMode0Rows(data, static_cast<size_t>(first_byte), width, height);
  StorePens(source->image.get(), pens, width, height, (options & kSaveUpright) != 0);
  const WriteStatus status = WriteBmpFile(source->image.get(), output_path);
  if (status != WriteStatus::kOk) {
    PrintLine(kPrefix + WriteFailureText(status, output_path));
    return false;
  }
  return true;
}
