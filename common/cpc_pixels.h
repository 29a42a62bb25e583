// The CPC screen byte layouts and the CPC+ colour: the one definition of how
// pens become screen bytes, shared by every operation of both programs.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

// Mode 0: two pixels a byte, 4 bits each, the bits of each pen interleaved.
uint8_t EncodeMode0Byte(uint8_t left, uint8_t right);

// Mode 1: four pixels a byte, 2 bits each; p0 is the leftmost.
uint8_t EncodeMode1Byte(uint8_t p0, uint8_t p1, uint8_t p2, uint8_t p3);

// Mode 2: eight pixels a byte; any non-zero pen is ink. pens[0] is the leftmost.
uint8_t EncodeMode2Byte(const std::array<uint8_t, 8>& pens);

// Whole rows of pens packed into screen bytes, the fast path of every
// whole-picture conversion. Each gives exactly the bytes of the byte encoders
// above (its tables are built from them), takes pens as they lie in a picture
// row (0 to 255, high bits ignored as the encoders ignore them) and reads pens
// beyond width_px as pen 0, so a ragged last byte is padded with pen 0. out
// receives PackedRowBytes(width_px, pixels a byte) bytes.
size_t PackedRowBytes(int width_px, int pixels_per_byte);
void PackMode0Row(const uint8_t* pens, int width_px, uint8_t* out);  // 2 pixels a byte
void PackMode1Row(const uint8_t* pens, int width_px, uint8_t* out);  // 4 pixels a byte
void PackMode2Row(const uint8_t* pens, int width_px, uint8_t* out);  // 8 pixels a byte

// How PackRowInChunks cuts a row and where the chunks go.
struct ChunkLayout {
  int pixels_per_byte = 2;  // 2, 4 or 8 (modes 0, 1, 2)
  int chunks = 0;
  int chunk_px = 0;          // a multiple of pixels_per_byte
  size_t out_stride = 0;     // from one chunk's place to the next one's
  size_t mirror_offset = 0;  // where each chunk's mirror image goes, past its own place; 0: nowhere
  int clear_pen = -1;        // the transparent pen, when each byte is preceded by its mask byte; -1: none
  const uint32_t* masked_pairs = nullptr;  // with a clear pen: MaskedPairTable(pixels_per_byte, clear_pen)
};

// What PackRowInChunks needs to pack (mask, data) pairs of pixels_per_byte
// pixels a byte with clear_pen transparent, built once for all the rows.
std::vector<uint32_t> MaskedPairTable(int pixels_per_byte, int clear_pen);

// A row cut into chunks, each packed as PackMode0/1/2Row would pack it and put
// at out + chunk * out_stride: one line of each of a row of sprite frames,
// put where each frame's line goes. With a clear pen each byte is preceded by
// its mask byte: every bit of that pen's pixels set in the mask and clear in
// the data byte, every bit of the other pixels clear in the mask. With a
// mirror offset each chunk's mirror image (its bytes from the last back, the
// pixels in each from right to left, masks as well) goes that far past the
// chunk. Returns the OR of every pen it read, so that a caller that refuses
// pens beyond the mode's learns whether there is one without another pass
// over them.
uint8_t PackRowInChunks(const uint8_t* pens, const ChunkLayout& layout, uint8_t* out);

struct Mode0Pens {
  uint8_t left = 0;
  uint8_t right = 0;
};

// The inverse of EncodeMode0Byte: the two pens (0 to 15) a mode 0 byte holds.
Mode0Pens DecodeMode0Byte(uint8_t byte);

// CPC+ colour from 8-bit channels: byte 0 = red level * 16 + blue level,
// byte 1 = green level, each level the channel divided by 17, truncated.
std::array<uint8_t, 2> EncodePlusColour(uint8_t red, uint8_t green, uint8_t blue);
