#include "common/image_io/indexed_picture.h"

#include <algorithm>
#include <cstdint>
#include <cstring>

#include "common/image_io/bitmap.h"
#include "common/line_output.h"

namespace {

struct MemoryCloser {
  void operator()(FIMEMORY* stream) const { FreeImage_CloseMemory(stream); }
};
using MemoryPtr = std::unique_ptr<FIMEMORY, MemoryCloser>;

ImagePtr Allocate(const IndexedPicture& picture, int scale_x, int scale_y) {
  ImagePtr image(FreeImage_Allocate(picture.width * scale_x, picture.height * scale_y, 8));
  if (!image || FreeImage_GetBits(image.get()) == nullptr) return nullptr;
  RGBQUAD* palette = FreeImage_GetPalette(image.get());
  if (palette == nullptr) return nullptr;
  for (int e = 0; e < 256; ++e) {
    RGBQUAD entry{};
    if (e < static_cast<int>(picture.palette.size())) {
      entry.rgbRed = picture.palette[static_cast<size_t>(e)][0];
      entry.rgbGreen = picture.palette[static_cast<size_t>(e)][1];
      entry.rgbBlue = picture.palette[static_cast<size_t>(e)][2];
    }
    palette[e] = entry;
  }
  const int width = picture.width;
  for (int y = 0; y < picture.height; ++y) {
    const uint8_t* row = picture.pens.data() + static_cast<size_t>(y) * static_cast<size_t>(width);
    // FreeImage keeps the bottom row first.
    uint8_t* first = FreeImage_GetScanLine(image.get(), (picture.height - 1 - y) * scale_y + scale_y - 1);
    for (int x = 0; x < width; ++x) std::fill_n(first + static_cast<size_t>(x) * scale_x, scale_x, row[x]);
    for (int copy = 1; copy < scale_y; ++copy) {
      uint8_t* line = FreeImage_GetScanLine(image.get(), (picture.height - 1 - y) * scale_y + scale_y - 1 - copy);
      std::memcpy(line, first, static_cast<size_t>(width) * scale_x);
    }
  }
  return image;
}

std::optional<std::vector<uint8_t>> Encode(FIBITMAP* image, FREE_IMAGE_FORMAT format, int flags) {
  const MemoryPtr stream(FreeImage_OpenMemory());
  if (!stream || !FreeImage_SaveToMemory(format, image, stream.get(), flags)) return std::nullopt;
  BYTE* data = nullptr;
  DWORD size_bytes = 0;
  if (!FreeImage_AcquireMemory(stream.get(), &data, &size_bytes) || data == nullptr) return std::nullopt;
  return std::vector<uint8_t>(data, data + size_bytes);
}

}  // namespace

std::optional<std::vector<uint8_t>> EncodeIndexedBmp(const IndexedPicture& picture) {
  // Written here rather than by the library: the layout is fixed and simple,
  // and a large picture then takes one buffer instead of a bitmap, the
  // library's memory stream and a copy of it.
  constexpr uint32_t kHeaderBytes = 14 + 40;
  constexpr uint32_t kPaletteBytes = 256 * 4;
  constexpr uint32_t kPixelsPerMetre = 2835;  // 72 dots an inch
  if (picture.width <= 0 || picture.height <= 0 ||
      picture.pens.size() != static_cast<size_t>(picture.width) * static_cast<size_t>(picture.height)) {
    return std::nullopt;
  }
  const size_t row_bytes = (static_cast<size_t>(picture.width) + 3) / 4 * 4;
  const size_t pixel_bytes = row_bytes * static_cast<size_t>(picture.height);
  if (pixel_bytes > UINT32_MAX - kHeaderBytes - kPaletteBytes) return std::nullopt;
  std::vector<uint8_t> bytes;
  bytes.reserve(kHeaderBytes + kPaletteBytes + pixel_bytes);
  bytes.push_back('B');
  bytes.push_back('M');
  AppendLe32(bytes, static_cast<uint32_t>(kHeaderBytes + kPaletteBytes + pixel_bytes));
  AppendLe32(bytes, 0);
  AppendLe32(bytes, kHeaderBytes + kPaletteBytes);
  AppendLe32(bytes, 40);
  AppendLe32(bytes, static_cast<uint32_t>(picture.width));
  AppendLe32(bytes, static_cast<uint32_t>(picture.height));  // positive: rows from the bottom
  AppendLe16(bytes, 1);
  AppendLe16(bytes, 8);
  AppendLe32(bytes, 0);  // no compression
  AppendLe32(bytes, static_cast<uint32_t>(pixel_bytes));
  AppendLe32(bytes, kPixelsPerMetre);
  AppendLe32(bytes, kPixelsPerMetre);
  AppendLe32(bytes, 256);
  AppendLe32(bytes, 0);
  for (size_t e = 0; e < 256; ++e) {
    const std::array<uint8_t, 3> colour = e < picture.palette.size() ? picture.palette[e] : std::array<uint8_t, 3>{};
    bytes.insert(bytes.end(), {colour[2], colour[1], colour[0], 0});
  }
  bytes.resize(kHeaderBytes + kPaletteBytes + pixel_bytes, 0);
  uint8_t* rows = bytes.data() + kHeaderBytes + kPaletteBytes;
  for (int y = 0; y < picture.height; ++y) {
    const uint8_t* pens = picture.pens.data() + static_cast<size_t>(y) * static_cast<size_t>(picture.width);
    std::memcpy(rows + static_cast<size_t>(picture.height - 1 - y) * row_bytes, pens, static_cast<size_t>(picture.width));
  }
  return bytes;
}

std::optional<std::vector<uint8_t>> EncodeScaledIndexedPng(const IndexedPicture& picture, int scale_x, int scale_y) {
  const ImagePtr image = Allocate(picture, scale_x, scale_y);
  if (!image) return std::nullopt;
  return Encode(image.get(), FIF_PNG, PNG_Z_BEST_SPEED);
}
