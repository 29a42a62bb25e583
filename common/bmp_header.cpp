#include "common/bmp_header.h"

#include <cstdio>
#include <memory>

namespace {

constexpr size_t kFileHeaderBytes = 14;
constexpr size_t kLongestInfoHeader = 124;
constexpr uint32_t kCoreHeaderBytes = 12;

enum Compression : uint32_t { kRgb = 0, kRle8 = 1, kRle4 = 2, kBitFields = 3, kAlphaBitFields = 6 };

uint32_t Le16(const uint8_t* p) { return static_cast<uint32_t>(p[0] | p[1] << 8); }
uint32_t Le32(const uint8_t* p) { return Le16(p) | Le16(p + 2) << 16; }

bool IsKnownInfoSize(uint32_t size) {
  return size == kCoreHeaderBytes || size == 40 || size == 52 || size == 56 || size == 64 || size == 108 ||
         size == 124;
}

bool IsKnownDepth(uint32_t bits) {
  return bits == 1 || bits == 2 || bits == 4 || bits == 8 || bits == 16 || bits == 24 || bits == 32;
}

bool IsCompressionForDepth(uint32_t compression, uint32_t bits) {
  switch (compression) {
    case kRgb:
      return true;
    case kRle8:
      return bits == 8;
    case kRle4:
      return bits == 4;
    case kBitFields:
    case kAlphaBitFields:
      return bits == 16 || bits == 32;
    default:
      return false;
  }
}

struct FileCloser {
  void operator()(std::FILE* file) const { std::fclose(file); }
};

}  // namespace

BmpCheck CheckBmpHeader(const uint8_t* head, size_t head_size, uint64_t file_size) {
  if (head_size < kFileHeaderBytes + 4 || head[0] != 'B' || head[1] != 'M') return BmpCheck::kNotBmp;
  const uint32_t pixel_offset = Le32(head + 10);
  const uint32_t info_size = Le32(head + 14);
  if (!IsKnownInfoSize(info_size) || head_size < kFileHeaderBytes + info_size) return BmpCheck::kNotBmp;
  const uint8_t* info = head + kFileHeaderBytes;
  const bool is_core = info_size == kCoreHeaderBytes;
  // Both arms widened to int64_t: a ternary of uint32_t and int32_t would be unsigned.
  const int64_t width = is_core ? int64_t{Le16(info + 4)} : int64_t{static_cast<int32_t>(Le32(info + 4))};
  const int64_t signed_height = is_core ? int64_t{Le16(info + 6)} : int64_t{static_cast<int32_t>(Le32(info + 8))};
  const uint32_t bits = is_core ? Le16(info + 10) : Le16(info + 14);
  const uint32_t compression = is_core ? kRgb : Le32(info + 16);
  const uint32_t colours_used = is_core ? 0 : Le32(info + 32);
  const int64_t height = signed_height < 0 ? -signed_height : signed_height;
  if (width <= 0 || height <= 0 || !IsKnownDepth(bits) || !IsCompressionForDepth(compression, bits) ||
      colours_used > 256 || pixel_offset < kFileHeaderBytes + info_size || pixel_offset > file_size) {
    return BmpCheck::kNotBmp;
  }
  const uint64_t pitch = (static_cast<uint64_t>(width) * bits + 31) / 32 * 4;
  const uint64_t pixel_bytes = pitch * static_cast<uint64_t>(height);
  if (pixel_bytes > kMaxBitmapBytes) return BmpCheck::kTooLarge;
  const bool is_compressed = compression == kRle8 || compression == kRle4;
  if (!is_compressed && pixel_offset + pixel_bytes > file_size) return BmpCheck::kNotBmp;
  return BmpCheck::kOk;
}

BmpCheck CheckBmpFile(const std::string& path) {
  const std::unique_ptr<std::FILE, FileCloser> file(std::fopen(path.c_str(), "rb"));
  if (!file) return BmpCheck::kUnreadable;
  uint8_t head[kFileHeaderBytes + kLongestInfoHeader] = {};
  const size_t head_size = std::fread(head, 1, sizeof head, file.get());
  if (std::fseek(file.get(), 0, SEEK_END) != 0) return BmpCheck::kUnreadable;
  const long file_size = std::ftell(file.get());
  if (file_size < 0) return BmpCheck::kUnreadable;
  return CheckBmpHeader(head, head_size, static_cast<uint64_t>(file_size));
}
