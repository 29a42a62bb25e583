// A look at a BMP file's headers before the image library gets it: the
// library trusts the sizes it reads, so a damaged or hostile header could make
// it allocate gigabytes or read past its buffers.
#pragma once

#include <cstdint>
#include <string>

enum class BmpCheck {
  kOk,
  kUnreadable,  // missing or cannot be opened
  kNotBmp,      // not a Windows bitmap, or headers that contradict the file
  kTooLarge,    // a picture larger than the toolkit handles
};

// The largest pixel array accepted, in bytes (a 16384 x 16384 picture at 8 bits).
inline constexpr uint64_t kMaxBitmapBytes = uint64_t{16384} * 16384;

// Checks the headers of the file at path: "BM" signature, a known header size,
// positive sizes, a known depth and compression, a palette of at most 256
// entries, a pixel array within kMaxBitmapBytes and, when uncompressed, wholly
// inside the file.
BmpCheck CheckBmpFile(const std::string& path);

// The same check on the first bytes of a file whose total length is file_size.
BmpCheck CheckBmpHeader(const uint8_t* head, size_t head_size, uint64_t file_size);
