#include "common/picture_header.h"

#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <iterator>
#include <memory>
#include <vector>

#include "common/input_file.h"
#include "common/line_output.h"

namespace {

constexpr size_t kFileHeaderBytes = 14;
constexpr size_t kLongestInfoHeader = 124;
constexpr uint32_t kCoreHeaderBytes = 12;

enum Compression : uint32_t { kRgb = 0, kRle8 = 1, kRle4 = 2, kBitFields = 3, kAlphaBitFields = 6 };

Checked<Accepted> Damaged() { return Checked<Accepted>::Refused(kDamagedHeaderText, RefusalKind::kDamaged); }
Checked<Accepted> TooLarge() { return Checked<Accepted>::Refused(kTooLargeText, RefusalKind::kTooLarge); }

uint32_t Le16(const uint8_t* p) { return ReadLe16(p); }
uint32_t Le32(const uint8_t* p) { return ReadLe32(p); }

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

}  // namespace

Checked<Accepted> CheckBmpHeader(const uint8_t* head, size_t head_size, uint64_t file_size) {
  if (head_size < kFileHeaderBytes + 4 || head[0] != 'B' || head[1] != 'M') return Damaged();
  const uint32_t pixel_offset = Le32(head + 10);
  const uint32_t info_size = Le32(head + 14);
  if (!IsKnownInfoSize(info_size) || head_size < kFileHeaderBytes + info_size) return Damaged();
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
    return Damaged();
  }
  const uint64_t pitch = (static_cast<uint64_t>(width) * bits + 31) / 32 * 4;
  const uint64_t pixel_bytes = pitch * static_cast<uint64_t>(height);
  if (pixel_bytes > kMaxBitmapBytes) return TooLarge();
  const bool is_compressed = compression == kRle8 || compression == kRle4;
  if (!is_compressed && pixel_offset + pixel_bytes > file_size) return Damaged();
  return Accepted{};
}

namespace {

constexpr size_t kTargaHeaderBytes = 18;
constexpr size_t kPcxHeaderBytes = 128;
constexpr int kPaletteEntries = 256;

bool IsTargaType(uint32_t type) { return type == 1 || type == 2 || type == 3 || type == 9 || type == 10 || type == 11; }
bool IsColourMapped(uint32_t type) { return type == 1 || type == 9; }
bool IsTargaDepth(uint32_t bits) { return bits == 8 || bits == 15 || bits == 16 || bits == 24 || bits == 32; }
bool IsTargaMapEntry(uint32_t bits) { return bits == 15 || bits == 16 || bits == 24 || bits == 32; }

uint64_t PixelBytes(uint64_t width, uint64_t height, uint64_t bits) { return (width * bits + 7) / 8 * height; }

}  // namespace

Checked<Accepted> CheckTargaHeader(const uint8_t* head, size_t head_size, uint64_t file_size) {
  if (head_size < kTargaHeaderBytes) return Damaged();
  const uint32_t id_bytes = head[0];
  const uint32_t map_type = head[1];
  const uint32_t image_type = head[2];
  const uint32_t map_first = Le16(head + 3);
  const uint32_t map_length = Le16(head + 5);
  const uint32_t map_entry_bits = head[7];
  const uint64_t width = Le16(head + 12);
  const uint64_t height = Le16(head + 14);
  const uint32_t bits = head[16];
  if (!IsTargaType(image_type) || map_type > 1 || !IsTargaDepth(bits) || width == 0 || height == 0) {
    return Damaged();
  }
  const bool has_map = map_type == 1;
  if (IsColourMapped(image_type) && (!has_map || bits != 8)) return Damaged();
  if (has_map && (!IsTargaMapEntry(map_entry_bits) || map_length == 0 || map_first + map_length > kPaletteEntries)) {
    return Damaged();
  }
  const uint64_t map_bytes = has_map ? PixelBytes(map_length, 1, map_entry_bits) : 0;
  const uint64_t data_start = kTargaHeaderBytes + id_bytes + map_bytes;
  const uint64_t pixel_bytes = PixelBytes(width, height, bits);
  if (pixel_bytes > kMaxBitmapBytes) return TooLarge();
  const bool is_compressed = image_type >= 9;
  // Run-length data is shorter than its picture, but never shorter than one
  // packet header and pixel.
  const uint64_t least_data = is_compressed ? 1 + (bits + 7) / 8 : pixel_bytes;
  if (data_start + least_data > file_size) return Damaged();
  return Accepted{};
}

Checked<Accepted> CheckPcxHeader(const uint8_t* head, size_t head_size, uint64_t file_size) {
  if (head_size < kPcxHeaderBytes || file_size <= kPcxHeaderBytes) return Damaged();
  const uint32_t mark = head[0];
  const uint32_t encoding = head[2];
  const uint32_t bits = head[3];
  const uint32_t x_min = Le16(head + 4);
  const uint32_t y_min = Le16(head + 6);
  const uint32_t x_max = Le16(head + 8);
  const uint32_t y_max = Le16(head + 10);
  const uint32_t planes = head[65];
  const uint64_t line_bytes = Le16(head + 66);
  const bool is_known_depth = bits == 1 || bits == 2 || bits == 4 || bits == 8;
  const bool is_known_planes = planes == 1 || planes == 3 || planes == 4;
  if (mark != 0x0A || encoding > 1 || !is_known_depth || !is_known_planes || x_max < x_min || y_max < y_min) {
    return Damaged();
  }
  const uint64_t width = uint64_t{x_max} - x_min + 1;
  const uint64_t height = uint64_t{y_max} - y_min + 1;
  if (line_bytes == 0 || line_bytes * 8 < width * bits) return Damaged();
  if (line_bytes * planes * height > kMaxBitmapBytes || width * height * 4 > kMaxBitmapBytes) {
    return TooLarge();
  }
  return Accepted{};
}

namespace {

constexpr uint8_t kPngSignature[] = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};
constexpr size_t kPngChunkOverhead = 12;  // length, type, CRC
constexpr uint32_t kPngHeaderLength = 13;

uint32_t Be32(const uint8_t* p) {
  return static_cast<uint32_t>(p[0]) << 24 | static_cast<uint32_t>(p[1]) << 16 | static_cast<uint32_t>(p[2]) << 8 |
         p[3];
}

uint32_t PngChannels(uint32_t colour_type) {
  switch (colour_type) {
    case 0:
    case 3:
      return 1;
    case 4:
      return 2;
    case 2:
      return 3;
    case 6:
      return 4;
    default:
      return 0;
  }
}

Checked<Accepted> CheckPngHeaderChunk(const uint8_t* data) {
  const uint64_t width = Be32(data);
  const uint64_t height = Be32(data + 4);
  const uint32_t channels = PngChannels(data[9]);
  if (width == 0 || height == 0 || channels == 0 || data[8] == 0) return Damaged();
  // Whatever the depth, FreeImage gives every pixel at least a byte.
  const uint64_t decoded = std::max(PixelBytes(width, height, uint64_t{data[8]} * channels), width * height);
  return decoded > kMaxBitmapBytes ? TooLarge() : Accepted{};
}

}  // namespace

namespace {

// The chunks of a PNG of size bytes walked to IEND, with read(at, count,
// out) giving the count bytes at offset at (false when it can not): the
// signature, the header chunk, then each chunk's length and type only.
template <typename ReadAt>
Checked<Accepted> WalkPngChunks(uint64_t size, ReadAt read) {
  uint8_t head[sizeof kPngSignature + 8 + kPngHeaderLength] = {};
  if (size < sizeof kPngSignature + kPngChunkOverhead + kPngHeaderLength || !read(0, sizeof head, head) ||
      !std::equal(std::begin(kPngSignature), std::end(kPngSignature), head)) {
    return Damaged();
  }
  uint64_t at = sizeof kPngSignature;
  if (Be32(head + at) != kPngHeaderLength || std::memcmp(head + at + 4, "IHDR", 4) != 0) {
    return Damaged();
  }
  if (Checked<Accepted> header = CheckPngHeaderChunk(head + at + 8); !header) return header;
  while (at + kPngChunkOverhead <= size) {
    uint8_t chunk[8];
    if (!read(at, sizeof chunk, chunk)) return Damaged();
    const uint64_t length = Be32(chunk);
    if (at + kPngChunkOverhead + length > size) return Damaged();
    if (std::memcmp(chunk + 4, "IEND", 4) == 0) return Accepted{};
    at += kPngChunkOverhead + length;
  }
  return Damaged();
}

}  // namespace

Checked<Accepted> CheckPngBytes(const uint8_t* bytes, size_t size) {
  return WalkPngChunks(size, [&](uint64_t at, size_t count, uint8_t* out) {
    std::memcpy(out, bytes + at, count);
    return true;
  });
}

Checked<Accepted> CheckGifHeader(const uint8_t* head, size_t head_size) {
  if (head_size < 10 || (std::memcmp(head, "GIF87a", 6) != 0 && std::memcmp(head, "GIF89a", 6) != 0)) {
    return Damaged();
  }
  const uint64_t width = Le16(head + 6);
  const uint64_t height = Le16(head + 8);
  if (width == 0 || height == 0) return Damaged();
  return width * height > kMaxBitmapBytes ? TooLarge() : Accepted{};
}

namespace {

constexpr size_t kGifScreenBytes = 13;  // signature and logical screen descriptor
constexpr size_t kGifImageBytes = 10;   // image descriptor
constexpr uint8_t kGifImage = 0x2C;
constexpr uint8_t kGifExtension = 0x21;
constexpr uint8_t kGifTrailer = 0x3B;

// The size of the colour table a GIF flags byte announces.
size_t GifColourTableBytes(uint8_t flags) { return (flags & 0x80) != 0 ? 3 * (size_t{2} << (flags & 7)) : 0; }

// The position after the data sub-blocks starting at at (each a length byte
// and that many bytes, ended by a length of 0), or size when they run past it.
size_t SkipGifSubBlocks(const uint8_t* bytes, size_t size, size_t at) {
  while (at < size) {
    const size_t length = bytes[at];
    at += 1 + length;
    if (length == 0) return at;
  }
  return size;
}

}  // namespace

Checked<Accepted> CheckGifBytes(const uint8_t* bytes, size_t size) {
  Checked<Accepted> screen = CheckGifHeader(bytes, size);
  if (!screen) return screen;
  if (size < kGifScreenBytes) return Damaged();
  size_t at = kGifScreenBytes + GifColourTableBytes(bytes[10]);
  while (at < size) {
    const uint8_t block = bytes[at];
    if (block == kGifTrailer) return Accepted{};
    if (block == kGifExtension) {
      at = SkipGifSubBlocks(bytes, size, at + 2);
    } else if (block == kGifImage) {
      if (at + kGifImageBytes > size) return Damaged();
      const uint64_t left = Le16(bytes + at + 1);
      const uint64_t top = Le16(bytes + at + 3);
      const uint64_t width = Le16(bytes + at + 5);
      const uint64_t height = Le16(bytes + at + 7);
      if (width == 0 || height == 0) return Damaged();
      if ((left + width) * (top + height) > kMaxBitmapBytes) return TooLarge();
      at += kGifImageBytes + GifColourTableBytes(bytes[at + 9]) + 1;  // and the LZW code size
      at = SkipGifSubBlocks(bytes, size, at);
    } else {
      return Damaged();
    }
  }
  // Cut short: the library reads what there is.
  return Accepted{};
}

namespace {

// Each chunk's length and type read where it starts, the chunk's data passed
// over: a large PNG is not read twice, here and by the decoder.
Checked<Accepted> CheckPngFile(std::FILE* file, uint64_t size, const std::string& path) {
  if (size > kMaxBitmapBytes) return TooLarge();
  const int descriptor = fileno(file);
  bool is_unread = false;
  const Checked<Accepted> walked = WalkPngChunks(size, [&](uint64_t at, size_t count, uint8_t* out) {
    is_unread = pread(descriptor, out, count, static_cast<off_t>(at)) != static_cast<ssize_t>(count);
    return !is_unread;
  });
  if (is_unread) return Checked<Accepted>::Refused(CannotReadText(path), RefusalKind::kCannotRead);
  return walked;
}

// The blocks are walked through the whole file: pictures for a CPC are small.
Checked<Accepted> CheckGifFile(std::FILE* file, uint64_t size, const std::string& path) {
  if (size > kMaxBitmapBytes) return TooLarge();
  std::vector<uint8_t> bytes(static_cast<size_t>(size));
  if (std::fseek(file, 0, SEEK_SET) != 0 || std::fread(bytes.data(), 1, bytes.size(), file) != size) {
    return Checked<Accepted>::Refused(CannotReadText(path), RefusalKind::kCannotRead);
  }
  return CheckGifBytes(bytes.data(), bytes.size());
}

}  // namespace

Checked<Accepted> CheckPictureFile(const std::string& path, PictureKind kind) {
  // Opened without waiting on it: a FIFO given as a picture must not hang the
  // run here, nor reach the image library, which would wait on it.
  const Checked<InputFile> input = OpenInputFile(path);
  if (!input) return Checked<Accepted>::Refused(input);
  std::FILE* const file = input->file.get();
  const uint64_t size = input->size_bytes;
  if (kind == PictureKind::kPng) return CheckPngFile(file, size, path);
  if (kind == PictureKind::kGif) return CheckGifFile(file, size, path);
  // Long enough for the largest of the headers: a BMP with a version 5 info header.
  uint8_t head[kFileHeaderBytes + kLongestInfoHeader] = {};
  static_assert(sizeof head >= kPcxHeaderBytes && sizeof head >= kTargaHeaderBytes);
  const size_t head_size = std::fread(head, 1, sizeof head, file);
  if (kind == PictureKind::kBmp) return CheckBmpHeader(head, head_size, size);
  if (kind == PictureKind::kTarga) return CheckTargaHeader(head, head_size, size);
  return CheckPcxHeader(head, head_size, size);
}

Checked<Accepted> CheckBmpFile(const std::string& path) { return CheckPictureFile(path, PictureKind::kBmp); }
