#include "toolkit/image_ops/linear_screen.h"

#include <array>

#include "common/cpc_pixels.h"
#include "common/line_output.h"

namespace {

constexpr char kMode0Prefix[] = "ConvertToMode0 : ";
constexpr char kMode1Prefix[] = "ConvertToMode1 : ";
constexpr char kMode2Prefix[] = "ConvertToMode2 : ";

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

// Pixels beyond the right edge read as pen 0 (only mode 1 has a ragged edge).
uint8_t PenOrZero(const uint8_t* row, int x, int width) { return x < width ? row[x] : 0; }

void PackRow(const uint8_t* row, int width, ScreenMode mode, uint8_t* out, size_t row_bytes) {
  for (size_t k = 0; k < row_bytes; ++k) {
    const int x = static_cast<int>(k) * PixelsPerByte(mode);
    switch (mode) {
      case ScreenMode::kMode0:
        out[k] = EncodeMode0Byte(row[x], row[x + 1]);
        break;
      case ScreenMode::kMode1:
        out[k] = EncodeMode1Byte(PenOrZero(row, x, width), PenOrZero(row, x + 1, width),
                                 PenOrZero(row, x + 2, width), PenOrZero(row, x + 3, width));
        break;
      case ScreenMode::kMode2: {
        std::array<uint8_t, 8> pens{};
        for (int i = 0; i < 8; ++i) pens[i] = row[x + i];
        out[k] = EncodeMode2Byte(pens);
        break;
      }
    }
  }
}

bool ConvertLinear(const std::string& source_path, const std::string& output_path, ScreenMode mode,
                   const char* prefix, int width_multiple) {
  const std::optional<Picture> source = LoadSourceImage(source_path, width_multiple);
  if (!source) return false;
  const std::vector<uint8_t> bytes = EncodeLinearScreen(*source, mode);
  const WriteStatus status = WriteBinaryFile(output_path, bytes);
  if (status != WriteStatus::kOk) {
    PrintLine(prefix + WriteFailureText(status, output_path));
    return false;
  }
  return true;
}

}  // namespace

std::vector<uint8_t> EncodeLinearScreen(const Picture& pixels, ScreenMode mode) {
  const int per_byte = PixelsPerByte(mode);
  const size_t row_bytes = (static_cast<size_t>(pixels.width) + per_byte - 1) / per_byte;
  std::vector<uint8_t> bytes(row_bytes * static_cast<size_t>(pixels.height));
  for (int y = 0; y < pixels.height; ++y) {
    PackRow(pixels.Row(y), pixels.width, mode, bytes.data() + row_bytes * y, row_bytes);
  }
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
