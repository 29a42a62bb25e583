#include "toolkit/sprites/mode0_extraction.h"

#include "common/cpc_pixels.h"
#include "common/image_io/picture_file.h"
#include "common/input_file.h"
#include "common/line_output.h"
#include "common/number_text.h"
#include "common/refusal.h"

namespace {

constexpr char kPrefix[] = "ExtractMode0Sprite : ";
constexpr size_t kFileHeaderBytes = 128;  // the AMSDOS header in front of a CPC file

// A CPC's whole memory is 128 KB; the bound only keeps a wrong path (a disk
// image, a film) from being read whole.
constexpr uint64_t kMaxDataBytes = uint64_t{64} * 1024 * 1024;

// Pens into the template's rows: decoded line y is row y of an upright
// picture, or row height - 1 - y of one saved upside down.
void StorePens(Picture& picture, const std::vector<uint8_t>& pens, int width, int height, bool is_upright) {
  for (int y = 0; y < height; ++y) {
    uint8_t* row = picture.Row(is_upright ? y : height - 1 - y);
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

namespace {

// ex0 names its output after the data (DATA.bmp): "ex0 pic pic" would
// otherwise save over its own template.
Refusal SameFileRefusal(const std::string& data_path, const std::string& template_path,
                        const std::string& output_path) {
  for (const std::string* input : {&data_path, &template_path}) {
    if (IsSameFile(*input, output_path))
      return "Output " + output_path + " is the same file as the input " + *input;
  }
  return std::nullopt;
}

Checked<std::vector<uint8_t>> ReadData(const std::string& data_path) {
  Checked<std::vector<uint8_t>> read = ReadInputFile(data_path, kMaxDataBytes);
  if (read.kind() == RefusalKind::kMissing)
    return Checked<std::vector<uint8_t>>::Refused(CannotReadText(data_path), RefusalKind::kCannotRead);
  return read;
}

// The offset and the options as numbers typed by the user: a negative offset
// and options other than the sums of kSkipFileHeader and kSaveUpright are
// refused rather than read as some other choice. The data must then hold the
// template's (width / 2) x height bytes from first_byte on.
Refusal ArgumentRefusal(int start_offset, int options, int64_t first_byte, int64_t needed, size_t data_bytes) {
  if (start_offset < 0) return "Start offset can not be negative";
  if (options < 0 || options > (kSkipFileHeader | kSaveUpright)) {
    return "Options must be 0 to 3, not " + PlainDecimal(options);
  }
  if (needed > static_cast<int64_t>(data_bytes)) {
    return "Not enough data: " + PlainDecimal(needed) + " bytes needed from offset " +
           PlainDecimal(first_byte);
  }
  return std::nullopt;
}

bool Refuse(const std::string& text) {
  PrintLine(kPrefix + text);
  return false;
}

}  // namespace

bool ExtractMode0Sprite(const std::string& data_path, const std::string& template_path,
                        const std::string& output_path, int start_offset, int options) {
  PrintLine(std::string(kPrefix) + "Extracting...");
  if (const Refusal same = SameFileRefusal(data_path, template_path, output_path)) return Refuse(*same);
  std::optional<Picture> source = LoadSourceImage(template_path, 2);
  if (!source) return false;
  const Checked<std::vector<uint8_t>> data = ReadData(data_path);
  if (!data) return Refuse(data.refusal());
  PrintLine(kPrefix + std::string("target ") + data_path + SpacedDecimal(static_cast<int64_t>(data->size())) +
            " bytes");
  const int width = source->width;
  const int height = source->height;
  const int64_t first_byte = int64_t{start_offset} + ((options & kSkipFileHeader) ? int64_t{kFileHeaderBytes} : 0);
  const int64_t needed = first_byte + int64_t{width} / 2 * height;
  if (const Refusal refusal = ArgumentRefusal(start_offset, options, first_byte, needed, data->size()))
    return Refuse(*refusal);
  const std::vector<uint8_t> pens = DecodeMode0Rows(*data, static_cast<size_t>(first_byte), width, height);
  StorePens(*source, pens, width, height, (options & kSaveUpright) != 0);
  if (const Refusal refused = WriteBmpPicture(*source, output_path)) return Refuse(*refused);
  return true;
}
