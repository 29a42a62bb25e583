#include "common/image_io/colour_picture.h"

#include <algorithm>
#include <cstdio>

#include "common/image_io/bitmap.h"
#include "common/image_io/picture_probe.h"
#include "common/input_file.h"
#include "common/line_output.h"
#include "common/picture_header.h"

namespace {

// Alpha below this is transparent.
constexpr uint8_t kOpaqueAlpha = 128;

// image as 32-bit BGRA (FreeImage's order on this machine), or null when the
// library has no conversion for its pixel type.
ImagePtr ToThirtyTwoBits(FIBITMAP* image) {
  const FREE_IMAGE_TYPE type = FreeImage_GetImageType(image);
  if (type == FIT_BITMAP || type == FIT_RGB16 || type == FIT_RGBA16) {
    // Palettised pictures get their transparency table (tRNS, GIF transparent
    // index) as alpha here.
    return ImagePtr(FreeImage_ConvertTo32Bits(image));
  }
  // Greys of 16 bits, floats: first to 8 bits a channel, scaled.
  const ImagePtr standard(FreeImage_ConvertToStandardType(image, TRUE));
  return standard ? ImagePtr(FreeImage_ConvertTo32Bits(standard.get())) : nullptr;
}

// The decoded picture at path, after the checks that must come before the
// library sees it.
Checked<ImagePtr> DecodeChecked(const std::string& path, const std::string& cannot_load) {
  // Checked first: the library opens the file itself, and a FIFO would block it.
  if (const Checked<InputFile> input = OpenInputFile(path); !input) return Checked<ImagePtr>::Refused(input);
  FREE_IMAGE_FORMAT format = FreeImage_GetFileType(path.c_str(), 0);
  if (format == FIF_UNKNOWN) format = FreeImage_GetFIFFromFilename(path.c_str());
  // The record holds four bytes a pixel: kMaxDeepPixels whatever the depth.
  if (const Refusal refused = ProbePicture(path, format, cannot_load, kMaxDeepPixels))
    return Checked<ImagePtr>::Refused(*refused);
  ImagePtr image(FreeImage_Load(format, path.c_str(), 0));
  if (!image || FreeImage_GetWidth(image.get()) == 0 || FreeImage_GetHeight(image.get()) == 0)
    return Checked<ImagePtr>::Refused(cannot_load);
  // The size the probe read, checked again on the decoded picture.
  if (uint64_t{FreeImage_GetWidth(image.get())} * FreeImage_GetHeight(image.get()) > kMaxDeepPixels)
    return Checked<ImagePtr>::Refused(cannot_load + " : picture too large");
  return image;
}

// 24- and 32-bit pictures (true-colour PNG, JPEG, most TIFFs) are read as
// they are; every other kind is first converted to 32 bits by the library.
bool IsDirect(FIBITMAP* image) {
  const unsigned bits = FreeImage_GetBPP(image);
  return FreeImage_GetImageType(image) == FIT_BITMAP && (bits == 24 || bits == 32) &&
         FreeImage_GetRedMask(image) == FI_RGBA_RED_MASK;
}

// The rows of a 24-bit (kHasAlpha false) or 32-bit bitmap into picture, top
// row first; true when some pixel is transparent. One loop for each depth, so
// that the pixel loop holds no test of it.
template <bool kHasAlpha>
bool CopyRowsOf(FIBITMAP* wide, ColourPicture& picture) {
  const int width = picture.width;
  const int height = picture.height;
  constexpr size_t step = kHasAlpha ? 4 : 3;
  uint8_t* out = picture.rgba.data();
  bool has_transparency = false;
  for (int y = 0; y < height; ++y) {
    // FreeImage keeps the bottom row first.
    const uint8_t* in = FreeImage_GetScanLine(wide, height - 1 - y);
    for (int x = 0; x < width; ++x, in += step, out += 4) {
      out[0] = in[FI_RGBA_RED];
      out[1] = in[FI_RGBA_GREEN];
      out[2] = in[FI_RGBA_BLUE];
      out[3] = kHasAlpha ? in[FI_RGBA_ALPHA] : 0xFF;
      if constexpr (kHasAlpha) has_transparency |= out[3] < kOpaqueAlpha;
    }
  }
  return has_transparency;
}

bool CopyRows(FIBITMAP* wide, ColourPicture& picture) {
  return FreeImage_GetBPP(wide) == 32 ? CopyRowsOf<true>(wide, picture) : CopyRowsOf<false>(wide, picture);
}

// A 32-bit BMP or TGA written without alpha leaves the fourth byte 0 in
// every pixel: an alpha channel that is 0 everywhere is taken as unused.
// True when it was.
bool DropUnusedAlpha(std::vector<uint8_t>& rgba) {
  for (size_t i = 3; i < rgba.size(); i += 4) {
    if (rgba[i] != 0) return false;
  }
  for (size_t i = 3; i < rgba.size(); i += 4) rgba[i] = 0xFF;
  return true;
}

}  // namespace

Checked<ColourPicture> LoadColourPicture(const std::string& path) {
  const std::string cannot_load = "Can not load " + path;
  Checked<ImagePtr> image = DecodeChecked(path, cannot_load);
  if (!image) return Checked<ColourPicture>::Refused(image.refusal());
  const bool is_direct = IsDirect(image->get());
  const ImagePtr wide = is_direct ? std::move(*image) : ToThirtyTwoBits(image->get());
  image->reset();
  if (!wide || FreeImage_GetBits(wide.get()) == nullptr) return Checked<ColourPicture>::Refused(cannot_load);
  ColourPicture picture;
  picture.width = static_cast<int>(FreeImage_GetWidth(wide.get()));
  picture.height = static_cast<int>(FreeImage_GetHeight(wide.get()));
  picture.rgba.resize(static_cast<size_t>(picture.width) * static_cast<size_t>(picture.height) * 4);
  picture.has_transparency = CopyRows(wide.get(), picture);
  if (is_direct && picture.has_transparency && FreeImage_GetBPP(wide.get()) == 32)
    picture.has_transparency = !DropUnusedAlpha(picture.rgba);
  return picture;
}
