// The floors the picture conversions are measured against.
//
// bench_floor pack0|pack1|pack2|raw <picture.bmp> <output>
//   The packing floor: what a screen conversion can not avoid. Load the BMP
//   through FreeImage, turn it upright, pack each row through one 256-entry
//   table per pen position (2, 4 or 8 pens a byte for modes 0, 1, 2; one pen a
//   byte, high bits cleared, for raw) into a 64 KiB buffer, write the buffer
//   out whenever it fills, close. The tables hold the real CPC layouts, so the
//   output is the conversion's own output and the benchmark compares the two.
//   The width must be a whole number of bytes (no ragged edge here).
//
// bench_floor load <picture.bmp> <output> <byte count>
//   The load floor: load the BMP through FreeImage and write that many bytes.
#include <FreeImage.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace {

constexpr size_t kBufferBytes = 64 * 1024;

// table[position][pen]: the bits pen sets in its byte at that position.
struct PackTables {
  int per_byte = 1;
  uint8_t table[8][256] = {};
};

// Mode 0 interleaves the two pens' bits: left pen bits 0..3 in byte bits 7, 3, 5, 1.
uint8_t Mode0Left(int pen) {
  return static_cast<uint8_t>(((pen & 1) << 7) | ((pen & 2) << 2) | ((pen & 4) << 3) | ((pen & 8) >> 2));
}

bool MakeTables(const char* kind, PackTables& tables) {
  if (std::strcmp(kind, "pack0") == 0) {
    tables.per_byte = 2;
    for (int pen = 0; pen < 256; ++pen) {
      tables.table[0][pen] = Mode0Left(pen & 15);
      tables.table[1][pen] = static_cast<uint8_t>(Mode0Left(pen & 15) >> 1);
    }
  } else if (std::strcmp(kind, "pack1") == 0) {
    tables.per_byte = 4;
    for (int position = 0; position < 4; ++position) {
      for (int pen = 0; pen < 256; ++pen) {
        tables.table[position][pen] =
            static_cast<uint8_t>(((pen & 1) << (7 - position)) | (((pen >> 1) & 1) << (3 - position)));
      }
    }
  } else if (std::strcmp(kind, "pack2") == 0) {
    tables.per_byte = 8;
    for (int position = 0; position < 8; ++position) {
      for (int pen = 1; pen < 256; ++pen)
        tables.table[position][pen] = static_cast<uint8_t>(0x80 >> position);
    }
  } else if (std::strcmp(kind, "raw") == 0) {
    tables.per_byte = 1;
    for (int pen = 0; pen < 256; ++pen) tables.table[0][pen] = static_cast<uint8_t>(pen & 15);
  } else {
    return false;
  }
  return true;
}

int Pack(const PackTables& tables, FIBITMAP* image, FILE* out) {
  FreeImage_FlipVertical(image);
  const int per_byte = tables.per_byte;
  const unsigned width = FreeImage_GetWidth(image);
  const unsigned height = FreeImage_GetHeight(image);
  const size_t row_bytes = width / per_byte;
  if (row_bytes * per_byte != width || row_bytes > kBufferBytes) return 2;
  std::vector<uint8_t> buffer(kBufferBytes);
  size_t used = 0;
  bool is_ok = true;
  // FreeImage keeps the bottom line first; after the flip memory runs from the top row.
  for (unsigned y = 0; y < height; ++y) {
    if (used + row_bytes > buffer.size()) {
      is_ok = is_ok && std::fwrite(buffer.data(), 1, used, out) == used;
      used = 0;
    }
    const uint8_t* pens = FreeImage_GetScanLine(image, static_cast<int>(y));
    uint8_t* bytes = buffer.data() + used;
    for (size_t k = 0; k < row_bytes; ++k) {
      uint8_t byte = 0;
      for (int position = 0; position < per_byte; ++position) byte |= tables.table[position][pens[position]];
      bytes[k] = byte;
      pens += per_byte;
    }
    used += row_bytes;
  }
  is_ok = is_ok && std::fwrite(buffer.data(), 1, used, out) == used;
  return is_ok ? 0 : 1;
}

int WriteCount(FIBITMAP* image, FILE* out, unsigned long long left) {
  const std::vector<uint8_t> block(kBufferBytes, FreeImage_GetBits(image)[0]);
  bool is_ok = true;
  while (left > 0 && is_ok) {
    const size_t part = left < block.size() ? static_cast<size_t>(left) : block.size();
    is_ok = std::fwrite(block.data(), 1, part, out) == part;
    left -= part;
  }
  return is_ok ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 4) return 2;
  const bool is_load = std::strcmp(argv[1], "load") == 0;
  PackTables tables;
  if (is_load ? argc != 5 : (argc != 4 || !MakeTables(argv[1], tables))) return 2;
  FreeImage_Initialise(FALSE);
  FIBITMAP* image = FreeImage_Load(FIF_BMP, argv[2], 0);
  if (image == nullptr || FreeImage_GetBPP(image) != 8) return 1;
  FILE* out = std::fopen(argv[3], "wb");
  if (out == nullptr) return 1;
  int result =
      is_load ? WriteCount(image, out, std::strtoull(argv[4], nullptr, 10)) : Pack(tables, image, out);
  if (std::fclose(out) != 0 && result == 0) result = 1;
  FreeImage_Unload(image);
  FreeImage_DeInitialise();
  return result;
}
