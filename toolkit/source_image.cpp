#include "toolkit/source_image.h"

#include "common/image_io/picture_file.h"
#include "common/line_output.h"
#include "common/number_text.h"

namespace {

constexpr int kRequiredBitsPerPixel = 8;

enum class SizeRule { kWidthMultiple, kSprite };

std::optional<Picture> LoadChecked(const std::string& path, SizeRule rule, int width_multiple) {
  const Checked<BmpContents> loaded = LoadBmpPicture(path);
  if (!loaded) {
    PrintLine(loaded.refusal());
    return std::nullopt;
  }
  const BmpContents& bmp = *loaded;
  PrintLine("source : " + path);
  PrintLine(SpacedDecimal(bmp.width) + "/" + SpacedDecimal(bmp.height) + " @" +
            SpacedDecimal(bmp.bits_per_pixel));
  if (bmp.bits_per_pixel != kRequiredBitsPerPixel) {
    PrintLine("Source must be 8 bits");
    return std::nullopt;
  }
  if (rule == SizeRule::kWidthMultiple && bmp.width % width_multiple != 0) {
    PrintLine("Source width is not valid, must be a multiple of " + SpacedDecimal(width_multiple));
    return std::nullopt;
  }
  if (rule == SizeRule::kSprite && (bmp.width != kSpriteSide || bmp.height != kSpriteSide)) {
    PrintLine("Source for sprites must be 16*16");
    return std::nullopt;
  }
  if (!bmp.has_pens) {
    PrintLine("Can not access source data");
    return std::nullopt;
  }
  return bmp.picture;
}

}  // namespace

std::optional<Picture> LoadSourceImage(const std::string& path, int width_multiple) {
  return LoadChecked(path, SizeRule::kWidthMultiple, width_multiple);
}

std::optional<Picture> LoadSpriteSource(const std::string& path) {
  return LoadChecked(path, SizeRule::kSprite, 1);
}
