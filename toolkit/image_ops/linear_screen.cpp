#include "toolkit/image_ops/linear_screen.h"

#include <algorithm>
#include <span>

#include "common/cpc_pixels.h"
#include "common/line_output.h"

namespace {

constexpr char kMode0Prefix[] = "ConvertToMode0 : ";
constexpr char kMode1Prefix[] = "ConvertToMode1 : ";
constexpr char kMode2Prefix[] = "ConvertToMode2 : ";

// Big enough that the writes cost nothing per row, small enough that memory
// stays flat whatever the picture's size.
constexpr size_t kWriteBlockBytes = 64 * 1024;

int PixelsPerByte(ScreenMode mode) {
  switch (mode) {
    case ScreenMode::kMode0:
      return 2;
    case ScreenMode::kMode1:
      return 4;
    case ScreenMode::kMode2:
      break;
  }
  return 8;
}

using RowPacker = void (*)(const uint8_t* pens, int width_px, uint8_t* out);

RowPacker PackerOf(ScreenMode mode) {
  switch (mode) {
    case ScreenMode::kMode0:
      return PackMode0Row;
    case ScreenMode::kMode1:
      return PackMode1Row;
    case ScreenMode::kMode2:
      break;
  }
  return PackMode2Row;
}

// Packs the rows from the top into blocks of whole rows and hands each block
// to emit: the one loop behind both the in-memory screen and the streamed file.
template <typename Emit>
void PackScreen(const Picture& pixels, ScreenMode mode, std::vector<uint8_t>& block, Emit emit) {
  const RowPacker pack = PackerOf(mode);
  const size_t row_bytes = PackedRowBytes(pixels.width, PixelsPerByte(mode));
  if (row_bytes == 0) return;
  const size_t rows_a_block = block.size() < row_bytes ? 1 : block.size() / row_bytes;
  if (block.size() < row_bytes) block.resize(row_bytes);
  for (int y = 0; y < pixels.height;) {
    const int rows = static_cast<int>(std::min<size_t>(rows_a_block, static_cast<size_t>(pixels.height - y)));
    for (int k = 0; k < rows; ++k) pack(pixels.Row(y + k), pixels.width, block.data() + row_bytes * k);
    emit(std::span<const uint8_t>(block.data(), row_bytes * static_cast<size_t>(rows)));
    y += rows;
  }
}

bool ConvertLinear(const std::string& source_path, const std::string& output_path, ScreenMode mode,
                   const char* prefix, int width_multiple) {
  const std::optional<Picture> source = LoadSourceImage(source_path, width_multiple);
  if (!source) return false;
  AsideFile file(output_path);
  std::vector<uint8_t> block(kWriteBlockBytes);
  // Nothing to pack for when the file could not be created: Commit says so.
  if (file.IsOpen()) {
    PackScreen(*source, mode, block, [&file](std::span<const uint8_t> bytes) { file.Write(bytes); });
  }
  if (const Refusal refused = file.Commit()) {
    PrintLine(prefix + *refused);
    return false;
  }
  return true;
}

}  // namespace

std::vector<uint8_t> EncodeLinearScreen(const Picture& pixels, ScreenMode mode) {
  std::vector<uint8_t> bytes;
  std::vector<uint8_t> block(kWriteBlockBytes);
  PackScreen(pixels, mode, block, [&bytes](std::span<const uint8_t> part) {
    bytes.insert(bytes.end(), part.begin(), part.end());
  });
  return bytes;
}

bool ConvertToMode0(const std::string& source_path, const std::string& output_path) {
  PrintLine(std::string(kMode0Prefix) + "Converting...");
  return ConvertLinear(source_path, output_path, ScreenMode::kMode0, kMode0Prefix, 2);
}

bool ConvertToMode1(const std::string& source_path, const std::string& output_path) {
  // Mode 1 prints no line of its own before loading and takes any width.
  return ConvertLinear(source_path, output_path, ScreenMode::kMode1, kMode1Prefix, 1);
}

bool ConvertToMode2(const std::string& source_path, const std::string& output_path) {
  PrintLine(std::string(kMode2Prefix) + "Converting...");
  return ConvertLinear(source_path, output_path, ScreenMode::kMode2, kMode2Prefix, 8);
}
