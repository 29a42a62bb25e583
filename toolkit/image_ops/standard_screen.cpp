#include "toolkit/image_ops/standard_screen.h"

#include <algorithm>

#include "common/line_output.h"
#include "common/number_text.h"
#include "toolkit/source_image.h"

namespace {

constexpr char kScreen0Prefix[] = "ConvertToScreen0 : ";
constexpr char kScreen1Prefix[] = "ConvertToScreen1 : ";
constexpr char kScreen2Prefix[] = "ConvertToScreen2 : ";

// The CRTC scans 8 character rows of 25 lines: each of the 8 blocks of &800
// bytes holds one pixel line of every character row, 80 bytes a line, and its
// last 48 bytes are never shown.
constexpr size_t kLineBytes = 80;
constexpr size_t kBlockBytes = 0x800;
constexpr int kLinesPerCharacter = 8;
constexpr int kScreenLines = 200;

int ScreenWidth(ScreenMode mode) {
  switch (mode) {
    case ScreenMode::kMode0:
      return 160;
    case ScreenMode::kMode1:
      return 320;
    case ScreenMode::kMode2:
      break;
  }
  return 640;
}

size_t LineOffset(int y) {
  return static_cast<size_t>(y % kLinesPerCharacter) * kBlockBytes +
         static_cast<size_t>(y / kLinesPerCharacter) * kLineBytes;
}

bool ConvertStandard(const std::string& source_path, const std::string& output_path, ScreenMode mode,
                     const std::string& prefix, int width_multiple) {
  PrintLine(prefix + "Converting...");
  const std::optional<Picture> source = LoadSourceImage(source_path, width_multiple);
  if (!source) return false;
  const Refusal too_large = CheckStandardScreenSize(source->width, source->height, mode);
  if (too_large) {
    PrintLine(prefix + *too_large);
    return false;
  }
  if (const Refusal refused = WriteBinaryFile(output_path, EncodeStandardScreen(*source, mode))) {
    PrintLine(prefix + *refused);
    return false;
  }
  return true;
}

}  // namespace

Refusal CheckStandardScreenSize(int width_px, int height_px, ScreenMode mode) {
  if (width_px <= ScreenWidth(mode) && height_px <= kScreenLines) return std::nullopt;
  return "The picture is " + PlainDecimal(width_px) + " x " + PlainDecimal(height_px) +
         ": the screen holds at most " + PlainDecimal(ScreenWidth(mode)) + " x " + PlainDecimal(kScreenLines);
}

std::vector<uint8_t> EncodeStandardScreen(const Picture& pixels, ScreenMode mode) {
  std::vector<uint8_t> screen(kStandardScreenBytes, 0);
  const std::vector<uint8_t> rows = EncodeLinearScreen(pixels, mode);
  if (pixels.height <= 0) return screen;
  const size_t row_bytes = rows.size() / static_cast<size_t>(pixels.height);
  for (int y = 0; y < pixels.height; ++y) {
    const auto row = rows.begin() + static_cast<ptrdiff_t>(row_bytes * y);
    std::copy(row, row + static_cast<ptrdiff_t>(row_bytes),
              screen.begin() + static_cast<ptrdiff_t>(LineOffset(y)));
  }
  return screen;
}

bool ConvertToScreen0(const std::string& source_path, const std::string& output_path) {
  return ConvertStandard(source_path, output_path, ScreenMode::kMode0, kScreen0Prefix, 2);
}

bool ConvertToScreen1(const std::string& source_path, const std::string& output_path) {
  return ConvertStandard(source_path, output_path, ScreenMode::kMode1, kScreen1Prefix, 1);
}

bool ConvertToScreen2(const std::string& source_path, const std::string& output_path) {
  return ConvertStandard(source_path, output_path, ScreenMode::kMode2, kScreen2Prefix, 8);
}
