#include "toolkit/image_ops/raw_pixels.h"

#include <algorithm>
#include <cstdint>
#include <span>
#include <vector>

#include "common/line_output.h"
#include "common/number_text.h"
#include "toolkit/source_image.h"

namespace {

constexpr char kPrefix[] = "ExtractRawPixels : ";
// A CPC mode 0 pen is 4 bits; higher palette indices fold onto pens 0 to 15.
constexpr uint8_t kPenMask = 0x0F;

// Big enough that the writes cost nothing per row, small enough that memory
// stays flat whatever the picture's size.
constexpr size_t kWriteBlockBytes = 64 * 1024;

// width * height bytes, row 0 first, each pen with its high 4 bits cleared,
// handed to file a block of whole rows at a time.
void WritePixelBytes(const Picture& pixels, AsideFile& file) {
  const size_t width = static_cast<size_t>(pixels.width);
  if (width == 0) return;
  std::vector<uint8_t> block(std::max(kWriteBlockBytes, width));
  const size_t rows_a_block = block.size() / width;
  for (int y = 0; y < pixels.height;) {
    const int rows = static_cast<int>(std::min<size_t>(rows_a_block, static_cast<size_t>(pixels.height - y)));
    for (int k = 0; k < rows; ++k) {
      const uint8_t* row = pixels.Row(y + k);
      uint8_t* out = block.data() + width * static_cast<size_t>(k);
      for (size_t x = 0; x < width; ++x) out[x] = static_cast<uint8_t>(row[x] & kPenMask);
    }
    file.Write(std::span<const uint8_t>(block.data(), width * static_cast<size_t>(rows)));
    y += rows;
  }
}

}  // namespace

bool ExtractRawPixels(const std::string& source_path, const std::string& output_path) {
  PrintLine(kPrefix + source_path);
  const std::optional<Picture> source = LoadSourceImage(source_path, 1);
  if (!source) return false;
  PrintLine("Image dimensions : " + SpacedDecimal(source->width) + "/" + SpacedDecimal(source->height));
  AsideFile file(output_path);
  if (file.IsOpen()) WritePixelBytes(*source, file);  // else Commit reports it
  if (const Refusal refused = file.Commit()) {
    PrintLine(kPrefix + *refused);
    return false;
  }
  return true;
}
