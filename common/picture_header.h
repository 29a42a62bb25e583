// A look at a picture file's headers before the image library gets it: the
// library trusts the sizes it reads, so a damaged or hostile header could make
// it allocate gigabytes, read past its buffers or crash. BMP, the two formats
// whose readers are FreeImage's own (TGA, PCX), PNG and GIF are checked here.
#pragma once

#include <cstdint>
#include <string>

#include "common/refusal.h"

// Each check accepts, or refuses with its kind: kDamaged (not of the format,
// or headers that contradict the file) and kTooLarge (a picture larger than
// the toolkit handles) with the texts below, and the file checks also as
// OpenInputFile refuses (kMissing, kNotRegular without opening it for the
// library, kCannotRead). The loaders put the console lines together.
inline constexpr char kDamagedHeaderText[] = "damaged picture header";
inline constexpr char kTooLargeText[] = "picture too large";

// The largest pictures the toolkit takes, the one place these limits live.
// A pixel array of a file checked here is at most kMaxBitmapBytes (a 16384 x
// 16384 picture at 8 bits). A decode holds at most kMaxPalettedPixels pixels
// at 8 bits a pixel or less, kMaxDeepPixels for deeper pictures, so that no
// decoded picture passes 256 MB.
inline constexpr uint64_t kMaxBitmapBytes = uint64_t{16384} * 16384;
inline constexpr uint64_t kMaxPalettedPixels = kMaxBitmapBytes;
inline constexpr uint64_t kMaxDeepPixels = kMaxBitmapBytes / 4;

// Checks the headers of the file at path: "BM" signature, a known header size,
// positive sizes, a known depth and compression, a palette of at most 256
// entries, a pixel array within kMaxBitmapBytes and, when uncompressed, wholly
// inside the file.
Checked<Accepted> CheckBmpFile(const std::string& path);

// The same check on the first bytes of a file whose total length is file_size.
Checked<Accepted> CheckBmpHeader(const uint8_t* head, size_t head_size, uint64_t file_size);

// Targa: a known image type and depth, a colour map that fits 256 entries of a
// known size, positive sizes within kMaxBitmapBytes, and the identification
// field, colour map and (uncompressed) pixels inside the file.
Checked<Accepted> CheckTargaHeader(const uint8_t* head, size_t head_size, uint64_t file_size);

// PCX: the 0x0A mark, run-length or no encoding, a known depth and plane
// count, a line length that holds the picture's width, sizes within
// kMaxBitmapBytes, and a file longer than its 128-byte header.
Checked<Accepted> CheckPcxHeader(const uint8_t* head, size_t head_size, uint64_t file_size);

// PNG: the signature, an IHDR of positive sizes whose decoded picture fits
// kMaxBitmapBytes, and every chunk inside the file up to IEND (a truncated
// chunk made the library allocate its claimed length before failing).
Checked<Accepted> CheckPngBytes(const uint8_t* bytes, size_t size);

// GIF: the signature and a logical screen of positive size within
// kMaxBitmapBytes pixels (27 bytes can otherwise ask for a gigabyte).
Checked<Accepted> CheckGifHeader(const uint8_t* head, size_t head_size);

// GIF, the whole file: CheckGifHeader, then every image's frame (a frame may
// be larger than the logical screen, and the library allocates the frame's
// size: 29 bytes could ask for 4 GB) of positive size within kMaxBitmapBytes
// pixels, colour tables and blocks walked up to the trailer or the end.
Checked<Accepted> CheckGifBytes(const uint8_t* bytes, size_t size);

enum class PictureKind { kBmp, kTarga, kPcx, kPng, kGif };

// The check of kind on the file at path (refused as OpenInputFile refuses
// when it can not be opened, without waiting on it when it is not a regular
// file).
Checked<Accepted> CheckPictureFile(const std::string& path, PictureKind kind);
