#include "common/image_io/colour_picture.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "common/bmp_version3.h"
#include "common/image_io/bitmap.h"
#include "common/image_io/picture_probe.h"
#include "common/input_file.h"
#include "common/large_buffer.h"
#include "common/line_output.h"
#include "common/picture_header.h"
#include "common/two_halves.h"

namespace {

// Alpha below this is transparent.
constexpr uint8_t kOpaqueAlpha = 128;

// image as 32-bit BGRA (FreeImage's order on this machine), or null when the
// library has no conversion for its pixel type.
ImagePtr ToThirtyTwoBits(FIBITMAP* image) {
  if (FreeImage_GetImageType(image) == FIT_BITMAP) {
    // Palettised pictures get their transparency table (tRNS, GIF transparent
    // index) as alpha here.
    return ImagePtr(FreeImage_ConvertTo32Bits(image));
  }
  // Floats and the rarer kinds: first to 8 bits a channel, scaled.
  const ImagePtr standard(FreeImage_ConvertToStandardType(image, TRUE));
  return standard ? ImagePtr(FreeImage_ConvertTo32Bits(standard.get())) : nullptr;
}

// The channels in a pixel of 16-bit grey, RGB or RGBA (16-bit PNG, PGM,
// TIFF); 0 for any other kind.
int SixteenBitChannels(FIBITMAP* image) {
  const FREE_IMAGE_TYPE type = FreeImage_GetImageType(image);
  return type == FIT_UINT16 ? 1 : type == FIT_RGB16 ? 3 : type == FIT_RGBA16 ? 4 : 0;
}

// A 16-bit channel as 8 bits, round(value / 257): the inverse of how 8-bit
// values are widened (times 257), so #404040 saved at 16 bits reads back as
// #404040. The library's own conversion of grey stretches it between the
// picture's darkest and lightest pixels instead.
uint8_t EightBits(const uint8_t* channel) {
  uint16_t value = 0;
  std::memcpy(&value, channel, sizeof value);
  return static_cast<uint8_t>((value + 128u) / 257u);
}

// The rows of a 16-bit picture of kChannels channels into picture, top row
// first; true when some pixel is transparent.
template <int kChannels>
bool CopySixteenBitRowsOf(FIBITMAP* image, ColourPicture& picture) {
  constexpr size_t green = kChannels >= 3 ? 2 : 0;
  constexpr size_t blue = kChannels >= 3 ? 4 : 0;
  uint8_t* out = picture.rgba.data();
  bool has_transparency = false;
  for (int y = 0; y < picture.height; ++y) {
    const uint8_t* in = FreeImage_GetScanLine(image, picture.height - 1 - y);
    for (int x = 0; x < picture.width; ++x, in += 2 * kChannels, out += 4) {
      out[0] = EightBits(in);
      out[1] = EightBits(in + green);
      out[2] = EightBits(in + blue);
      out[3] = kChannels == 4 ? EightBits(in + 6) : 0xFF;
      if constexpr (kChannels == 4) has_transparency |= out[3] < kOpaqueAlpha;
    }
  }
  return has_transparency;
}

bool CopySixteenBitRows(FIBITMAP* image, int channels, ColourPicture& picture) {
  if (channels == 1) return CopySixteenBitRowsOf<1>(image, picture);
  return channels == 3 ? CopySixteenBitRowsOf<3>(image, picture) : CopySixteenBitRowsOf<4>(image, picture);
}

// A BMP with a version 4 or 5 info header (what ImageMagick writes) restated
// with the version 3 one, which the image library reads; empty for any other
// file. Only the first bytes are read of a file that is no such BMP.
std::vector<uint8_t> LongHeaderBmp(const std::string& path) {
  {
    const Checked<InputFile> input = OpenInputFile(path);
    uint8_t head[18] = {};
    if (!input || std::fread(head, 1, sizeof head, input->file.get()) != sizeof head) return {};
    const uint32_t info_size = ReadLe32(head + 14);
    if (head[0] != 'B' || head[1] != 'M' || (info_size != 108 && info_size != 124)) return {};
  }
  // A pixel array of at most kMaxBitmapBytes, its headers and a palette.
  const Checked<std::vector<uint8_t>> input = ReadInputFile(path, kMaxBitmapBytes + 4096);
  return input ? BmpWithVersion3Header(*input) : std::vector<uint8_t>{};
}

bool IsPastLimit(uint64_t width, uint64_t height, const SideLimit& limit) {
  return width > limit.most_width || height > limit.most_height;
}

// The picture of a restated BMP, whose header checks passed.
Checked<ImagePtr> DecodeBmpBytes(std::vector<uint8_t>& bytes, const std::string& cannot_load,
                                 const SideLimit& limit) {
  const uint8_t* info = bytes.data() + 14;
  const int64_t height = static_cast<int32_t>(ReadLe32(info + 8));
  const uint64_t rows = static_cast<uint64_t>(height < 0 ? -height : height);
  const uint64_t width = ReadLe32(info + 4);
  if (width * rows > kMaxDeepPixels) return Checked<ImagePtr>::Refused(cannot_load + " : picture too large");
  if (IsPastLimit(width, rows, limit)) return Checked<ImagePtr>::Refused(limit.refusal);
  const MemoryPtr memory(FreeImage_OpenMemory(bytes.data(), static_cast<DWORD>(bytes.size())));
  ImagePtr image(memory ? FreeImage_LoadFromMemory(FIF_BMP, memory.get(), 0) : nullptr);
  if (!image || FreeImage_GetWidth(image.get()) == 0 || FreeImage_GetHeight(image.get()) == 0)
    return Checked<ImagePtr>::Refused(cannot_load);
  return image;
}

// The decoded picture at path, after the checks that must come before the
// library sees it.
Checked<ImagePtr> DecodeChecked(const std::string& path, const std::string& cannot_load,
                                const SideLimit& limit) {
  // Checked first: the library opens the file itself, and a FIFO would block it.
  if (const Checked<InputFile> input = OpenInputFile(path); !input) return Checked<ImagePtr>::Refused(input);
  FREE_IMAGE_FORMAT format = FreeImage_GetFileType(path.c_str(), 0);
  if (format == FIF_UNKNOWN) format = FreeImage_GetFIFFromFilename(path.c_str());
  if (format == FIF_BMP) {
    std::vector<uint8_t> restated = LongHeaderBmp(path);
    if (!restated.empty()) return DecodeBmpBytes(restated, cannot_load, limit);
  }
  // The record holds four bytes a pixel: kMaxDeepPixels whatever the depth.
  ProbedSize size;
  if (const Refusal refused = ProbePicture(path, format, cannot_load, kMaxDeepPixels, &size))
    return Checked<ImagePtr>::Refused(*refused);
  if (IsPastLimit(size.width, size.height, limit)) return Checked<ImagePtr>::Refused(limit.refusal);
  ImagePtr image(FreeImage_Load(format, path.c_str(), 0));
  if (!image || FreeImage_GetWidth(image.get()) == 0 || FreeImage_GetHeight(image.get()) == 0)
    return Checked<ImagePtr>::Refused(cannot_load);
  // The size the probe read, checked again on the decoded picture.
  if (uint64_t{FreeImage_GetWidth(image.get())} * FreeImage_GetHeight(image.get()) > kMaxDeepPixels)
    return Checked<ImagePtr>::Refused(cannot_load + " : picture too large");
  if (IsPastLimit(FreeImage_GetWidth(image.get()), FreeImage_GetHeight(image.get()), limit))
    return Checked<ImagePtr>::Refused(limit.refusal);
  return image;
}

// 24- and 32-bit pictures (true-colour PNG, JPEG, most TIFFs) are read as
// they are; every other kind is first converted to 32 bits by the library.
bool IsDirect(FIBITMAP* image) {
  const unsigned bits = FreeImage_GetBPP(image);
  return FreeImage_GetImageType(image) == FIT_BITMAP && (bits == 24 || bits == 32) &&
         FreeImage_GetRedMask(image) == FI_RGBA_RED_MASK;
}

// Rows first to last of a 24-bit (kHasAlpha false) or 32-bit bitmap into
// picture, row 0 the top one; true when some pixel is transparent. One loop
// for each depth, so that the pixel loop holds no test of it.
template <bool kHasAlpha>
bool CopyRowsOf(FIBITMAP* wide, ColourPicture& picture, int first, int last) {
  const int width = picture.width;
  const int height = picture.height;
  constexpr size_t step = kHasAlpha ? 4 : 3;
  uint8_t* out = picture.rgba.data() + static_cast<size_t>(first) * static_cast<size_t>(width) * 4;
  bool has_transparency = false;
  for (int y = first; y < last; ++y) {
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

// The two halves of a large picture's rows at once.
bool CopyRows(FIBITMAP* wide, ColourPicture& picture) {
  const bool has_alpha = FreeImage_GetBPP(wide) == 32;
  const int middle = picture.height / 2;
  bool has_transparency[2] = {false, false};
  const auto copy = [&](int first, int last, bool& has) {
    has = has_alpha ? CopyRowsOf<true>(wide, picture, first, last)
                    : CopyRowsOf<false>(wide, picture, first, last);
  };
  auto top = [&] { copy(0, middle, has_transparency[0]); };
  auto bottom = [&] { copy(middle, picture.height, has_transparency[1]); };
  AtOnce(picture.rgba.size() / 4 >= kTwoHalvesLeast, top, bottom);
  return has_transparency[0] || has_transparency[1];
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

// A record of image's size, its pixels still to be copied.
ColourPicture EmptyPicture(FIBITMAP* image) {
  ColourPicture picture;
  picture.width = static_cast<int>(FreeImage_GetWidth(image));
  picture.height = static_cast<int>(FreeImage_GetHeight(image));
  const size_t bytes = static_cast<size_t>(picture.width) * static_cast<size_t>(picture.height) * 4;
  ReserveLarge(picture.rgba, bytes);
  picture.rgba.resize(bytes);
  return picture;
}

}  // namespace

Checked<ColourPicture> LoadColourPicture(const std::string& path, const SideLimit& limit) {
  const std::string cannot_load = "Can not load " + path;
  Checked<ImagePtr> image = DecodeChecked(path, cannot_load, limit);
  if (!image) return Checked<ColourPicture>::Refused(image.refusal());
  const int sixteen_bit_channels = SixteenBitChannels(image->get());
  if (sixteen_bit_channels != 0) {
    if (FreeImage_GetBits(image->get()) == nullptr) return Checked<ColourPicture>::Refused(cannot_load);
    ColourPicture picture = EmptyPicture(image->get());
    picture.has_transparency = CopySixteenBitRows(image->get(), sixteen_bit_channels, picture);
    return picture;
  }
  const bool is_direct = IsDirect(image->get());
  const ImagePtr wide = is_direct ? std::move(*image) : ToThirtyTwoBits(image->get());
  image->reset();
  if (!wide || FreeImage_GetBits(wide.get()) == nullptr) return Checked<ColourPicture>::Refused(cannot_load);
  ColourPicture picture = EmptyPicture(wide.get());
  picture.has_transparency = CopyRows(wide.get(), picture);
  if (is_direct && picture.has_transparency && FreeImage_GetBPP(wide.get()) == 32)
    picture.has_transparency = !DropUnusedAlpha(picture.rgba);
  return picture;
}
