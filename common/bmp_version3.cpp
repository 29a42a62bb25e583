#include "common/bmp_version3.h"

#include <algorithm>

#include "common/line_output.h"
#include "common/picture_header.h"

namespace {

constexpr size_t kFileHeaderBytes = 14;
constexpr uint32_t kVersion3Bytes = 40;
constexpr uint32_t kBitFields = 3;
constexpr uint32_t kAlphaBitFields = 6;

// 32-bit pixels whose masks are blue, green, red, alpha a byte each in that
// order are what a plain 32-bit BMP holds; its fourth byte is then alpha.
bool HasPlainMasks(const uint8_t* info) {
  return ReadLe32(info + 40) == 0x00FF0000 && ReadLe32(info + 44) == 0x0000FF00 &&
         ReadLe32(info + 48) == 0x000000FF;
}

}  // namespace

std::vector<uint8_t> BmpWithVersion3Header(const std::vector<uint8_t>& file) {
  if (file.size() < kFileHeaderBytes + 4) return {};
  const uint32_t info_size = ReadLe32(file.data() + kFileHeaderBytes);
  if ((info_size != 108 && info_size != 124) ||
      !CheckBmpHeader(file.data(), file.size(), file.size()))
    return {};
  const uint8_t* info = file.data() + kFileHeaderBytes;
  const uint32_t bits = ReadLe16(info + 14);
  const uint32_t compression = ReadLe32(info + 16);
  const bool has_masks = compression == kBitFields || compression == kAlphaBitFields;
  const bool is_plain = has_masks && bits == 32 && HasPlainMasks(info);
  const uint32_t mask_bytes = has_masks && !is_plain ? 12 : 0;
  std::vector<uint8_t> out(file.begin(), file.begin() + kFileHeaderBytes + kVersion3Bytes);
  WriteLe32(out.data() + kFileHeaderBytes, kVersion3Bytes);
  WriteLe32(out.data() + kFileHeaderBytes + 16, is_plain ? 0 : has_masks ? kBitFields : compression);
  out.insert(out.end(), info + 40, info + 40 + mask_bytes);
  out.insert(out.end(), file.begin() + static_cast<std::ptrdiff_t>(kFileHeaderBytes + info_size), file.end());
  const uint32_t pixel_offset = ReadLe32(file.data() + 10) - info_size + kVersion3Bytes + mask_bytes;
  WriteLe32(out.data() + 10, pixel_offset);
  WriteLe32(out.data() + 2, static_cast<uint32_t>(out.size()));
  return out;
}
