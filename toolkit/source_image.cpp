#include "toolkit/source_image.h"

#include "common/line_output.h"
#include "common/number_text.h"

namespace {

constexpr int kRequiredBitsPerPixel = 8;
constexpr int kSpriteSide = 16;

enum class SizeRule { kWidthMultiple, kSprite };

std::optional<SourceImage> LoadChecked(const std::string& path, SizeRule rule, int width_multiple) {
  ImagePtr image = LoadBmpSafely(path);
  if (!image) return std::nullopt;
  const int width = static_cast<int>(FreeImage_GetWidth(image.get()));
  const int height = static_cast<int>(FreeImage_GetHeight(image.get()));
  const int bits_per_pixel = static_cast<int>(FreeImage_GetBPP(image.get()));
  PrintLine("source : " + path);
  PrintLine(SpacedDecimal(width) + "/" + SpacedDecimal(height) + " @" + SpacedDecimal(bits_per_pixel));
  if (bits_per_pixel != kRequiredBitsPerPixel) {
    PrintLine("Source must be 8 bits");
    return std::nullopt;
  }
  if (rule == SizeRule::kWidthMultiple && width % width_multiple != 0) {
    PrintLine("Source width is not valid, must be a multiple of " + SpacedDecimal(width_multiple));
    return std::nullopt;
  }
  if (rule == SizeRule::kSprite && (width != kSpriteSide || height != kSpriteSide)) {
    PrintLine("Source for sprites must be 16*16");
    return std::nullopt;
  }
  if (FreeImage_GetBits(image.get()) == nullptr) {
    PrintLine("Can not access source data");
    return std::nullopt;
  }
  SourceImage source;
  source.pixels = ViewOfImage(image.get());
  source.image = std::move(image);
  return source;
}

}  // namespace

ImagePtr LoadBmpSafely(const std::string& path) {
  HeaderCheck check = HeaderCheck::kOk;
  ImagePtr image = LoadBmpFile(path, &check);
  if (!image) PrintLine("Can not load " + path + (check == HeaderCheck::kTooLarge ? " : picture too large" : ""));
  return image;
}

std::optional<SourceImage> LoadSourceImage(const std::string& path, int width_multiple) {
  return LoadChecked(path, SizeRule::kWidthMultiple, width_multiple);
}

std::optional<SourceImage> LoadSpriteSource(const std::string& path) {
  return LoadChecked(path, SizeRule::kSprite, 1);
}

PixelView ViewOfImage(FIBITMAP* image) {
  PixelView view;
  view.width = static_cast<int>(FreeImage_GetWidth(image));
  view.height = static_cast<int>(FreeImage_GetHeight(image));
  const ptrdiff_t pitch = static_cast<ptrdiff_t>(FreeImage_GetPitch(image));
  const uint8_t* bottom_row = FreeImage_GetBits(image);
  // FreeImage stores the bottom picture row first. Rather than flip the whole
  // bitmap in place (a full copy of a large picture), the view starts at the
  // last scan line in memory and steps backwards.
  view.top_row = view.height > 0 && bottom_row != nullptr ? bottom_row + pitch * (view.height - 1) : bottom_row;
  view.stride = -pitch;
  return view;
}
