// The CPC screen byte layouts and the CPC+ colour: the one definition of how
// pens become screen bytes, shared by every operation of both programs.
#pragma once

#include <array>
#include <cstdint>

// Mode 0: two pixels a byte, 4 bits each, the bits of each pen interleaved.
uint8_t EncodeMode0Byte(uint8_t left, uint8_t right);

// Mode 1: four pixels a byte, 2 bits each; p0 is the leftmost.
uint8_t EncodeMode1Byte(uint8_t p0, uint8_t p1, uint8_t p2, uint8_t p3);

// Mode 2: eight pixels a byte; any non-zero pen is ink. pens[0] is the leftmost.
uint8_t EncodeMode2Byte(const std::array<uint8_t, 8>& pens);

struct Mode0Pens {
  uint8_t left = 0;
  uint8_t right = 0;
};

// The inverse of EncodeMode0Byte: the two pens (0 to 15) a mode 0 byte holds.
Mode0Pens DecodeMode0Byte(uint8_t byte);

// CPC+ colour from 8-bit channels: byte 0 = red level * 16 + blue level,
// byte 1 = green level, each level the channel divided by 17, truncated.
std::array<uint8_t, 2> EncodePlusColour(uint8_t red, uint8_t green, uint8_t blue);
