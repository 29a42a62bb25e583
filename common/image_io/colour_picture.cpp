#include "common/image_io/colour_picture.h"

#include <algorithm>
#include <cstdio>

#include "common/image_io/bitmap.h"
#include "common/image_io/picture_probe.h"
#include "common/input_file.h"
#include "common/line_output.h"
#include "common/picture_header.h"

namespace {

// The toolkit's own header check for the formats that have one; kOk for the others.
HeaderCheck OwnHeaderCheck(const std::string& path, FREE_IMAGE_FORMAT format) {
  switch (format) {
    case FIF_BMP:
      return CheckPictureFile(path, PictureKind::kBmp);
    case FIF_TARGA:
      return CheckPictureFile(path, PictureKind::kTarga);
    case FIF_PCX:
      return CheckPictureFile(path, PictureKind::kPcx);
    case FIF_PNG:
      return CheckPictureFile(path, PictureKind::kPng);
    case FIF_GIF:
      return CheckPictureFile(path, PictureKind::kGif);
    default:
      return HeaderCheck::kOk;
  }
}

uint64_t PixelCap(unsigned bits_per_pixel) {
  return bits_per_pixel <= 8 ? kMaxPalettedPixels : kMaxDeepPixels;
}

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

// The logical screen of a GIF that passed its header check, in pixels (0 when unreadable).
uint64_t GifScreenPixels(const std::string& path) {
  const InputFile input = OpenInputFile(path);
  uint8_t head[10] = {};
  if (input.status != InputStatus::kOk || std::fread(head, 1, sizeof head, input.file.get()) != sizeof head)
    return 0;
  return uint64_t{ReadLe16(head + 6)} * ReadLe16(head + 8);
}

}  // namespace

PictureProbe ProbePicture(const std::string& path, FREE_IMAGE_FORMAT format, uint64_t most_pixels) {
  if (format == FIF_UNKNOWN || FreeImage_Validate(format, path.c_str()) == 0) return PictureProbe::kDamaged;
  const HeaderCheck own = OwnHeaderCheck(path, format);
  if (own == HeaderCheck::kTooLarge) return PictureProbe::kTooLarge;
  if (own != HeaderCheck::kOk) return PictureProbe::kDamaged;
  // GIF's reader can not stop after the header; its own check caps the
  // logical screen at kMaxPalettedPixels, and a GIF is 8 bits at most.
  if (format == FIF_GIF) {
    const uint64_t pixels = GifScreenPixels(path);
    if (pixels == 0) return PictureProbe::kDamaged;
    return pixels > most_pixels ? PictureProbe::kTooLarge : PictureProbe::kOk;
  }
  if (FreeImage_FIFSupportsNoPixels(format) == 0) return PictureProbe::kSizeUnknown;
  const ImagePtr header(FreeImage_Load(format, path.c_str(), FIF_LOAD_NOPIXELS));
  if (!header) return PictureProbe::kDamaged;
  const uint64_t pixels = uint64_t{FreeImage_GetWidth(header.get())} * FreeImage_GetHeight(header.get());
  if (pixels == 0) return PictureProbe::kDamaged;
  return pixels > std::min(PixelCap(FreeImage_GetBPP(header.get())), most_pixels) ? PictureProbe::kTooLarge
                                                                                  : PictureProbe::kOk;
}

Checked<ColourPicture> LoadColourPicture(const std::string& path) {
  // Checked first: the library opens the file itself, and a FIFO would block it.
  {
    const InputFile input = OpenInputFile(path);
    if (input.status != InputStatus::kOk)
      return Checked<ColourPicture>::Refused(InputFailureText(input.status, path));
  }
  FREE_IMAGE_FORMAT format = FreeImage_GetFileType(path.c_str(), 0);
  if (format == FIF_UNKNOWN) format = FreeImage_GetFIFFromFilename(path.c_str());
  const std::string cannot_load = "Can not load " + path;
  // The record holds four bytes a pixel: kMaxDeepPixels whatever the depth.
  switch (ProbePicture(path, format, kMaxDeepPixels)) {
    case PictureProbe::kOk:
      break;
    case PictureProbe::kTooLarge:
      return Checked<ColourPicture>::Refused(cannot_load + " : picture too large");
    case PictureProbe::kSizeUnknown:
      return Checked<ColourPicture>::Refused(cannot_load + " : its size can not be read before decoding");
    case PictureProbe::kDamaged:
      return Checked<ColourPicture>::Refused(cannot_load);
  }
  ImagePtr image(FreeImage_Load(format, path.c_str(), 0));
  if (!image) return Checked<ColourPicture>::Refused(cannot_load);
  const int width = static_cast<int>(FreeImage_GetWidth(image.get()));
  const int height = static_cast<int>(FreeImage_GetHeight(image.get()));
  if (width <= 0 || height <= 0) return Checked<ColourPicture>::Refused(cannot_load);
  // The size the probe read, checked again on the decoded picture.
  if (uint64_t{static_cast<uint32_t>(width)} * static_cast<uint32_t>(height) > kMaxDeepPixels) {
    return Checked<ColourPicture>::Refused(cannot_load + " : picture too large");
  }
  // 24- and 32-bit pictures (true-colour PNG, JPEG, most TIFFs) are read as
  // they are; every other kind is first converted to 32 bits by the library.
  const unsigned bits = FreeImage_GetBPP(image.get());
  const bool is_direct = FreeImage_GetImageType(image.get()) == FIT_BITMAP && (bits == 24 || bits == 32) &&
                         FreeImage_GetRedMask(image.get()) == FI_RGBA_RED_MASK;
  ImagePtr wide = is_direct ? std::move(image) : ToThirtyTwoBits(image.get());
  image.reset();
  if (!wide || FreeImage_GetBits(wide.get()) == nullptr) return Checked<ColourPicture>::Refused(cannot_load);
  const size_t step = FreeImage_GetBPP(wide.get()) / 8;
  ColourPicture picture;
  picture.width = width;
  picture.height = height;
  picture.rgba.resize(static_cast<size_t>(width) * static_cast<size_t>(height) * 4);
  uint8_t* out = picture.rgba.data();
  bool has_transparency = false;
  for (int y = 0; y < height; ++y) {
    // FreeImage keeps the bottom row first.
    const uint8_t* in = FreeImage_GetScanLine(wide.get(), height - 1 - y);
    if (step == 3) {
      for (int x = 0; x < width; ++x, in += 3, out += 4) {
        out[0] = in[FI_RGBA_RED];
        out[1] = in[FI_RGBA_GREEN];
        out[2] = in[FI_RGBA_BLUE];
        out[3] = 0xFF;
      }
      continue;
    }
    for (int x = 0; x < width; ++x, in += 4, out += 4) {
      out[0] = in[FI_RGBA_RED];
      out[1] = in[FI_RGBA_GREEN];
      out[2] = in[FI_RGBA_BLUE];
      out[3] = in[FI_RGBA_ALPHA];
      has_transparency |= out[3] < kOpaqueAlpha;
    }
  }
  // A 32-bit BMP or TGA written without alpha leaves the fourth byte 0 in
  // every pixel: an alpha channel that is 0 everywhere is taken as unused.
  if (is_direct && step == 4 && has_transparency) {
    bool is_alpha_unused = true;
    for (size_t i = 3; i < picture.rgba.size() && is_alpha_unused; i += 4)
      is_alpha_unused = picture.rgba[i] == 0;
    if (is_alpha_unused) {
      for (size_t i = 3; i < picture.rgba.size(); i += 4) picture.rgba[i] = 0xFF;
      has_transparency = false;
    }
  }
  picture.has_transparency = has_transparency;
  return picture;
}
