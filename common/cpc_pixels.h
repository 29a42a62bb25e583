// The CPC screen byte layouts and the CPC+ colour: the one definition of how
// pens become screen bytes, shared by every operation of both programs.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

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

// Every screen byte with its pixels in reverse order, for 2, 4 or 8 pixels a
// byte (modes 0, 1, 2): table[b] holds the pixels of b from right to left.
// A line mirrored left to right is its bytes in reverse order, each through
// this table.
const std::array<uint8_t, 256>& MirroredBytes(int pixels_per_byte);

// A row cut into chunks of chunk_px pixels (a multiple of pixels_per_byte:
// 2, 4 or 8), each chunk packed as PackMode0/1/2Row would pack it and put at
// out + chunk * out_stride: one line of each of a row of sprite frames, put
// where each frame's line goes. Returns the OR of every pen it read, so that a
// caller that refuses pens beyond the mode's learns whether there is one
// without another pass over them.
uint8_t PackRowInChunks(int pixels_per_byte, const uint8_t* pens, int chunks, int chunk_px, uint8_t* out,
                        size_t out_stride);

// As PackRowInChunks, with each byte preceded by its mask byte: the pixels of
// clear_pen are transparent, every bit of theirs set in the mask and clear in
// the data byte; every bit of the other pixels is clear in the mask. Each
// chunk takes twice its bytes at its place.
uint8_t PackMaskedRowInChunks(int pixels_per_byte, const uint8_t* pens, uint8_t clear_pen, int chunks,
                              int chunk_px, uint8_t* out, size_t out_stride);

struct Mode0Pens {
  uint8_t left = 0;
  uint8_t right = 0;
};

// The inverse of EncodeMode0Byte: the two pens (0 to 15) a mode 0 byte holds.
Mode0Pens DecodeMode0Byte(uint8_t byte);

// CPC+ colour from 8-bit channels: byte 0 = red level * 16 + blue level,
// byte 1 = green level, each level the channel divided by 17, truncated.
std::array<uint8_t, 2> EncodePlusColour(uint8_t red, uint8_t green, uint8_t blue);
