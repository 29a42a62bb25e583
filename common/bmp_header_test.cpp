#include "common/bmp_header.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

void Put32(std::vector<uint8_t>& b, size_t at, uint32_t v) {
  for (int i = 0; i < 4; ++i) b[at + i] = static_cast<uint8_t>(v >> (8 * i));
}

// A BITMAPINFOHEADER file header for width x height at bits, palette of 256.
std::vector<uint8_t> Header(int32_t width, int32_t height, uint16_t bits, uint32_t compression = 0) {
  std::vector<uint8_t> b(54, 0);
  b[0] = 'B';
  b[1] = 'M';
  Put32(b, 10, 54 + 1024);
  Put32(b, 14, 40);
  Put32(b, 18, static_cast<uint32_t>(width));
  Put32(b, 22, static_cast<uint32_t>(height));
  b[26] = 1;
  b[28] = static_cast<uint8_t>(bits);
  Put32(b, 30, compression);
  Put32(b, 46, 256);
  return b;
}

BmpCheck Check(const std::vector<uint8_t>& head, uint64_t file_size) {
  return CheckBmpHeader(head.data(), head.size(), file_size);
}

}  // namespace

TEST(BmpHeader, AcceptsWholeFilesOfKnownKinds) {
  EXPECT_EQ(Check(Header(6, 3, 8), 54 + 1024 + 8 * 3), BmpCheck::kOk);
  EXPECT_EQ(Check(Header(6, -3, 8), 54 + 1024 + 8 * 3), BmpCheck::kOk);  // top-down rows
  EXPECT_EQ(Check(Header(160, 200, 24), 54 + 1024 + 480 * 200), BmpCheck::kOk);
  // Run-length data is shorter than the picture it draws.
  EXPECT_EQ(Check(Header(100, 100, 8, 1), 54 + 1024 + 10), BmpCheck::kOk);
}

TEST(BmpHeader, RefusesDamagedOrHostileHeaders) {
  const uint64_t big_file = 1 << 20;
  EXPECT_EQ(Check(Header(6, 3, 8), 54 + 1024 + 8 * 3 - 1), BmpCheck::kNotBmp);  // pixel data cut short
  EXPECT_EQ(Check(Header(0, 3, 8), big_file), BmpCheck::kNotBmp);
  EXPECT_EQ(Check(Header(-6, 3, 8), big_file), BmpCheck::kNotBmp);
  EXPECT_EQ(Check(Header(6, 0, 8), big_file), BmpCheck::kNotBmp);
  EXPECT_EQ(Check(Header(6, 3, 7), big_file), BmpCheck::kNotBmp);
  EXPECT_EQ(Check(Header(6, 3, 8, 2), big_file), BmpCheck::kNotBmp);  // 4-bit compression on 8 bits
  EXPECT_EQ(Check(Header(6, 3, 8, 4), big_file), BmpCheck::kNotBmp);  // embedded JPEG
  std::vector<uint8_t> many_colours = Header(6, 3, 8);
  Put32(many_colours, 46, 257);
  EXPECT_EQ(Check(many_colours, big_file), BmpCheck::kNotBmp);
  std::vector<uint8_t> offset_past_end = Header(6, 3, 8);
  Put32(offset_past_end, 10, 2000);
  EXPECT_EQ(Check(offset_past_end, 1500), BmpCheck::kNotBmp);
  // An OS/2 bitmap array ("BA") with a height of 0x40000002 made FreeImage ask for gigabytes.
  std::vector<uint8_t> array = Header(5, 0x40000002, 24);
  array[1] = 'A';
  EXPECT_EQ(Check(array, 80), BmpCheck::kNotBmp);
  EXPECT_EQ(Check(Header(5, 0x40000002, 24), big_file), BmpCheck::kTooLarge);
  EXPECT_EQ(Check(Header(16385, 16384, 8, 1), big_file), BmpCheck::kTooLarge);
  EXPECT_EQ(Check(Header(16384, 16384, 8, 1), big_file), BmpCheck::kOk);
  EXPECT_EQ(Check(Header(0x7FFFFFFF, 0x7FFFFFFF, 32), big_file), BmpCheck::kTooLarge);
  EXPECT_EQ(Check({'B', 'M', 0}, 3), BmpCheck::kNotBmp);
}
