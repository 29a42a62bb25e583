#include "toolkit/inks/ink_sizing.h"

#include <algorithm>
#include <cmath>
#include <cstdint>

#include "common/number_text.h"

namespace {

constexpr uint32_t kLongestSide = 4096;
constexpr int64_t kMostPixels = int64_t{1} << 20;
constexpr int kScreenHeight = 200;
constexpr int kScreenBytes = 80;  // a row of the screen in every mode

int ModeNumber(ScreenMode mode) {
  return mode == ScreenMode::kMode0 ? 0 : mode == ScreenMode::kMode1 ? 1 : 2;
}

std::string ByteRule(ScreenMode mode) {
  return "a whole number of bytes in mode " + PlainDecimal(ModeNumber(mode)) + " (" +
         PlainDecimal(PixelsPerByte(mode)) + " pixels a byte)";
}

}  // namespace

int PixelsPerByte(ScreenMode mode) {
  return mode == ScreenMode::kMode0 ? 2 : mode == ScreenMode::kMode1 ? 4 : 8;
}

Checked<PictureSize> ParseSize(const std::string& value, ScreenMode mode) {
  const std::string option = "--size=" + value;
  const size_t cross = value.find('x');
  const Checked<uint32_t> width = ParseDigits(value.substr(0, cross), 10, kLongestSide);
  const Checked<uint32_t> height = cross == std::string::npos
                                       ? Checked<uint32_t>::Refused("")
                                       : ParseDigits(value.substr(cross + 1), 10, kLongestSide);
  if (!width || !height || *width == 0 || *height == 0 || int64_t{*width} * *height > kMostPixels)
    return Checked<PictureSize>::Refused("bad value in " + option +
                                         " : WxH, each 1 to 4096, at most 2^20 pixels");
  if (*width % static_cast<uint32_t>(PixelsPerByte(mode)) != 0)
    return Checked<PictureSize>::Refused("bad value in " + option + " : the width is not " + ByteRule(mode));
  return PictureSize{static_cast<int>(*width), static_cast<int>(*height)};
}

Placement FitOnScreen(int source_width, int source_height, ScreenMode mode) {
  const int per_byte = PixelsPerByte(mode);
  Placement placement;
  placement.screen = {kScreenBytes * per_byte, kScreenHeight};
  // The screen as shown is 640 x 400 units of a mode 2 pixel's width; a mode
  // pixel is 4, 2 or 1 units wide and 2 tall.
  const double units_wide = mode == ScreenMode::kMode0 ? 4 : mode == ScreenMode::kMode1 ? 2 : 1;
  const double scale = std::min(640.0 / source_width, 400.0 / source_height);
  const long bytes = std::lround(source_width * scale / units_wide / per_byte);
  placement.scaled.width = static_cast<int>(std::clamp(bytes, 1L, long{kScreenBytes})) * per_byte;
  placement.scaled.height = static_cast<int>(std::clamp(std::lround(source_height * scale / 2), 1L, 200L));
  placement.left = (placement.screen.width - placement.scaled.width) / 2;
  placement.top = (placement.screen.height - placement.scaled.height) / 2;
  return placement;
}

Refusal WidthRefusal(int width, ScreenMode mode) {
  if (width % PixelsPerByte(mode) == 0) return std::nullopt;
  return "width " + PlainDecimal(width) + " is not " + ByteRule(mode) +
         ": scale the picture with --fit or --size=WxH";
}
