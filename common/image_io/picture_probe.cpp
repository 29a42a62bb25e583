#include "common/image_io/picture_probe.h"

#include <algorithm>
#include <cstdio>

#include "common/image_io/bitmap.h"
#include "common/input_file.h"
#include "common/line_output.h"
#include "common/picture_header.h"

namespace {

// The toolkit's own header check for the formats that have one; accepted for the others.
Checked<Accepted> OwnHeaderCheck(const std::string& path, FREE_IMAGE_FORMAT format) {
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
      return Accepted{};
  }
}

uint64_t PixelCap(unsigned bits_per_pixel) {
  return bits_per_pixel <= 8 ? kMaxPalettedPixels : kMaxDeepPixels;
}

// The logical screen of a GIF that passed its header check (0 x 0 when unreadable).
ProbedSize GifScreen(const std::string& path) {
  const Checked<InputFile> input = OpenInputFile(path);
  uint8_t head[10] = {};
  if (!input || std::fread(head, 1, sizeof head, input->file.get()) != sizeof head) return {};
  return {ReadLe16(head + 6), ReadLe16(head + 8)};
}

// The picture's size as its header gives it, read without the pixels; 0 x 0
// when the header can not be read.
ProbedSize HeaderSize(const std::string& path, FREE_IMAGE_FORMAT format, unsigned& bits_per_pixel) {
  const ImagePtr header(FreeImage_Load(format, path.c_str(), FIF_LOAD_NOPIXELS));
  if (!header) return {};
  bits_per_pixel = FreeImage_GetBPP(header.get());
  return {FreeImage_GetWidth(header.get()), FreeImage_GetHeight(header.get())};
}

}  // namespace

Refusal ProbePicture(const std::string& path, FREE_IMAGE_FORMAT format, const std::string& cannot_load,
                     uint64_t most_pixels, ProbedSize* size) {
  const Refusal too_large = cannot_load + " : picture too large";
  if (format == FIF_UNKNOWN || FreeImage_Validate(format, path.c_str()) == 0) return cannot_load;
  const Checked<Accepted> own = OwnHeaderCheck(path, format);
  if (own.kind() == RefusalKind::kTooLarge) return too_large;
  if (!own) return cannot_load;
  // GIF's reader can not stop after the header; its own check caps the
  // logical screen at kMaxPalettedPixels, and a GIF is 8 bits at most.
  if (format == FIF_GIF) {
    const ProbedSize screen = GifScreen(path);
    if (screen.width * screen.height == 0) return cannot_load;
    if (size) *size = screen;
    return screen.width * screen.height > most_pixels ? too_large : std::nullopt;
  }
  if (FreeImage_FIFSupportsNoPixels(format) == 0)
    return cannot_load + " : its size can not be read before decoding";
  unsigned bits_per_pixel = 0;
  const ProbedSize header = HeaderSize(path, format, bits_per_pixel);
  const uint64_t pixels = header.width * header.height;
  if (pixels == 0) return cannot_load;
  if (size) *size = header;
  return pixels > std::min(PixelCap(bits_per_pixel), most_pixels) ? too_large : std::nullopt;
}
