#include "toolkit/image_ops/raw_pixels.h"

#include <cstdint>
#include <vector>

#include "common/line_output.h"
#include "common/number_text.h"
#include "toolkit/source_image.h"

namespace {

constexpr char kPrefix[] = "ExtractRawPixels : ";
// A CPC mode 0 pen is 4 bits; higher palette indices fold onto pens 0 to 15.
constexpr uint8_t kPenMask = 0x0F;

// width * height bytes, row 0 first, each pen with its high 4 bits cleared.
std::vector<uint8_t> ExtractPixelBytes(const Picture& pixels) {
  const size_t width = static_cast<size_t>(pixels.width);
  std::vector<uint8_t> bytes(width * static_cast<size_t>(pixels.height));
  for (int y = 0; y < pixels.height; ++y) {
    const uint8_t* row = pixels.Row(y);
    uint8_t* out = bytes.data() + width * static_cast<size_t>(y);
    for (size_t x = 0; x < width; ++x) out[x] = static_cast<uint8_t>(row[x] & kPenMask);
  }
  return bytes;
}

}  // namespace

bool ExtractRawPixels(const std::string& source_path, const std::string& output_path) {
  PrintLine(kPrefix + source_path);
  const std::optional<Picture> source = LoadSourceImage(source_path, 1);
  if (!source) return false;
  PrintLine("Image dimensions : " + SpacedDecimal(source->width) + "/" +
            SpacedDecimal(source->height));
  const WriteStatus status = WriteBinaryFile(output_path, ExtractPixelBytes(*source));
  if (status != WriteStatus::kOk) {
    PrintLine(kPrefix + WriteFailureText(status, output_path));
    return false;
  }
  return true;
}
