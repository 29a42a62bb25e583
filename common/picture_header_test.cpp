#include "common/picture_header.h"

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

// The kind of the check's refusal, kNone when it accepts.
RefusalKind Check(const std::vector<uint8_t>& head, uint64_t file_size) {
  return CheckBmpHeader(head.data(), head.size(), file_size).kind();
}

}  // namespace

TEST(PictureHeader, AcceptsWholeFilesOfKnownKinds) {
  EXPECT_EQ(Check(Header(6, 3, 8), 54 + 1024 + 8 * 3), RefusalKind::kNone);
  EXPECT_EQ(Check(Header(6, -3, 8), 54 + 1024 + 8 * 3), RefusalKind::kNone);  // top-down rows
  EXPECT_EQ(Check(Header(160, 200, 24), 54 + 1024 + 480 * 200), RefusalKind::kNone);
  // Run-length data is shorter than the picture it draws.
  EXPECT_EQ(Check(Header(100, 100, 8, 1), 54 + 1024 + 10), RefusalKind::kNone);
}

TEST(PictureHeader, RefusesDamagedOrHostileHeaders) {
  const uint64_t big_file = 1 << 20;
  EXPECT_EQ(Check(Header(6, 3, 8), 54 + 1024 + 8 * 3 - 1), RefusalKind::kDamaged);  // pixel data cut short
  EXPECT_EQ(Check(Header(0, 3, 8), big_file), RefusalKind::kDamaged);
  EXPECT_EQ(Check(Header(-6, 3, 8), big_file), RefusalKind::kDamaged);
  EXPECT_EQ(Check(Header(6, 0, 8), big_file), RefusalKind::kDamaged);
  EXPECT_EQ(Check(Header(6, 3, 7), big_file), RefusalKind::kDamaged);
  EXPECT_EQ(Check(Header(6, 3, 8, 2), big_file), RefusalKind::kDamaged);  // 4-bit compression on 8 bits
  EXPECT_EQ(Check(Header(6, 3, 8, 4), big_file), RefusalKind::kDamaged);  // embedded JPEG
  std::vector<uint8_t> many_colours = Header(6, 3, 8);
  Put32(many_colours, 46, 257);
  EXPECT_EQ(Check(many_colours, big_file), RefusalKind::kDamaged);
  std::vector<uint8_t> offset_past_end = Header(6, 3, 8);
  Put32(offset_past_end, 10, 2000);
  EXPECT_EQ(Check(offset_past_end, 1500), RefusalKind::kDamaged);
  // An OS/2 bitmap array ("BA") with a height of 0x40000002 made FreeImage ask for gigabytes.
  std::vector<uint8_t> array = Header(5, 0x40000002, 24);
  array[1] = 'A';
  EXPECT_EQ(Check(array, 80), RefusalKind::kDamaged);
  EXPECT_EQ(Check(Header(5, 0x40000002, 24), big_file), RefusalKind::kTooLarge);
  EXPECT_EQ(Check(Header(16385, 16384, 8, 1), big_file), RefusalKind::kTooLarge);
  EXPECT_EQ(Check(Header(16384, 16384, 8, 1), big_file), RefusalKind::kNone);
  EXPECT_EQ(Check(Header(0x7FFFFFFF, 0x7FFFFFFF, 32), big_file), RefusalKind::kTooLarge);
  EXPECT_EQ(Check({'B', 'M', 0}, 3), RefusalKind::kDamaged);
}

namespace {

// An 18-byte Targa header: type, width x height at bits, optional colour map.
std::vector<uint8_t> Targa(uint8_t type, uint16_t width, uint16_t height, uint8_t bits, uint16_t map_length = 0,
                           uint8_t map_bits = 0) {
  std::vector<uint8_t> b(18, 0);
  b[1] = map_length > 0 ? 1 : 0;
  b[2] = type;
  b[5] = static_cast<uint8_t>(map_length & 0xFF);
  b[6] = static_cast<uint8_t>(map_length >> 8);
  b[7] = map_bits;
  b[12] = static_cast<uint8_t>(width & 0xFF);
  b[13] = static_cast<uint8_t>(width >> 8);
  b[14] = static_cast<uint8_t>(height & 0xFF);
  b[15] = static_cast<uint8_t>(height >> 8);
  b[16] = bits;
  return b;
}

// A 128-byte PCX header for a width x height picture.
std::vector<uint8_t> Pcx(uint16_t width, uint16_t height, uint8_t bits, uint8_t planes, uint16_t line_bytes) {
  std::vector<uint8_t> b(128, 0);
  b[0] = 0x0A;
  b[1] = 5;
  b[2] = 1;
  b[3] = bits;
  b[8] = static_cast<uint8_t>((width - 1) & 0xFF);
  b[9] = static_cast<uint8_t>((width - 1) >> 8);
  b[10] = static_cast<uint8_t>((height - 1) & 0xFF);
  b[11] = static_cast<uint8_t>((height - 1) >> 8);
  b[65] = planes;
  b[66] = static_cast<uint8_t>(line_bytes & 0xFF);
  b[67] = static_cast<uint8_t>(line_bytes >> 8);
  return b;
}

}  // namespace

TEST(PictureHeader, TargaHeadersThatFreeImageCanRead) {
  const auto check = [](const std::vector<uint8_t>& head, uint64_t file_size) {
    return CheckTargaHeader(head.data(), head.size(), file_size).kind();
  };
  EXPECT_EQ(check(Targa(2, 6, 2, 24), 18 + 36), RefusalKind::kNone);
  EXPECT_EQ(check(Targa(1, 6, 2, 8, 16, 24), 18 + 48 + 12), RefusalKind::kNone);
  EXPECT_EQ(check(Targa(10, 600, 200, 32), 18 + 10), RefusalKind::kNone);        // run-length data is short
  EXPECT_EQ(check(Targa(2, 6, 2, 24), 18 + 35), RefusalKind::kDamaged);          // pixels cut short
  EXPECT_EQ(check(Targa(1, 6, 2, 8, 300, 24), 1 << 20), RefusalKind::kDamaged);  // more than 256 entries
  EXPECT_EQ(check(Targa(1, 6, 2, 8), 1 << 20), RefusalKind::kDamaged);           // colour-mapped, no map
  EXPECT_EQ(check(Targa(2, 0, 2, 24), 1 << 20), RefusalKind::kDamaged);
  EXPECT_EQ(check(Targa(4, 6, 2, 24), 1 << 20), RefusalKind::kDamaged);
  EXPECT_EQ(check(Targa(2, 6, 2, 7), 1 << 20), RefusalKind::kDamaged);
  EXPECT_EQ(check(Targa(2, 65535, 65535, 32), uint64_t{1} << 40), RefusalKind::kTooLarge);
  // Found by fuzzing: 19 bytes with a 33-byte identification field crashed FreeImage's reader.
  const std::vector<uint8_t> crash = {0x21, 0x00, 0x0a, 0x00, 0x02, 0x01, 0x00, 0x00, 0x18, 0x00,
                                      0x00, 0x00, 0x06, 0x00, 0x04, 0x00, 0x18, 0x00, 0xff};
  EXPECT_EQ(check(crash, crash.size()), RefusalKind::kDamaged);
}

TEST(PictureHeader, PcxHeadersThatFreeImageCanRead) {
  const auto check = [](const std::vector<uint8_t>& head, uint64_t file_size) {
    return CheckPcxHeader(head.data(), head.size(), file_size).kind();
  };
  EXPECT_EQ(check(Pcx(6, 2, 8, 1, 6), 200), RefusalKind::kNone);
  EXPECT_EQ(check(Pcx(6, 2, 8, 3, 6), 200), RefusalKind::kNone);
  EXPECT_EQ(check(Pcx(6, 2, 8, 1, 6), 128), RefusalKind::kDamaged);  // nothing after the header
  EXPECT_EQ(check(Pcx(6, 2, 8, 1, 5), 200), RefusalKind::kDamaged);  // a line too short for the width
  EXPECT_EQ(check(Pcx(6, 2, 3, 1, 6), 200), RefusalKind::kDamaged);
  EXPECT_EQ(check(Pcx(6, 2, 8, 2, 6), 200), RefusalKind::kDamaged);
  std::vector<uint8_t> unmarked = Pcx(6, 2, 8, 1, 6);
  unmarked[0] = 0;
  EXPECT_EQ(check(unmarked, 200), RefusalKind::kDamaged);
  EXPECT_EQ(check(Pcx(65535, 65535, 8, 1, 65535), 200), RefusalKind::kTooLarge);
}

TEST(PictureHeader, PngChunksMustLieInsideTheFile) {
  // Signature, IHDR of 6 x 4 at 8-bit palette, an empty IDAT, IEND (CRCs are not checked here).
  std::vector<uint8_t> png = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A, 0, 0, 0, 13, 'I', 'H', 'D', 'R',
                              0,    0,   0,   6,   0,    0,    0,    4,    8, 3, 0, 0,  0,   0,   0,   0,   0};
  const std::vector<uint8_t> idat = {0, 0, 0, 0, 'I', 'D', 'A', 'T', 0, 0, 0, 0};
  const std::vector<uint8_t> iend = {0, 0, 0, 0, 'I', 'E', 'N', 'D', 0xAE, 0x42, 0x60, 0x82};
  std::vector<uint8_t> whole = png;
  whole.insert(whole.end(), idat.begin(), idat.end());
  whole.insert(whole.end(), iend.begin(), iend.end());
  EXPECT_EQ(CheckPngBytes(whole.data(), whole.size()).kind(), RefusalKind::kNone);
  // A chunk claiming more than the file holds: FreeImage allocated its length.
  std::vector<uint8_t> cut = whole;
  cut[png.size() + 3] = 0x40;
  EXPECT_EQ(CheckPngBytes(cut.data(), cut.size()).kind(), RefusalKind::kDamaged);
  EXPECT_EQ(CheckPngBytes(whole.data(), whole.size() - 12).kind(), RefusalKind::kDamaged);  // no IEND
  std::vector<uint8_t> huge = whole;
  huge[16] = 0x7F;  // width 0x7F000006
  EXPECT_EQ(CheckPngBytes(huge.data(), huge.size()).kind(), RefusalKind::kTooLarge);
  std::vector<uint8_t> unsigned_png = whole;
  unsigned_png[1] = 'Q';
  EXPECT_EQ(CheckPngBytes(unsigned_png.data(), unsigned_png.size()).kind(), RefusalKind::kDamaged);
}

TEST(PictureHeader, GifLogicalScreenSize) {
  const uint8_t small[] = {'G', 'I', 'F', '8', '9', 'a', 6, 0, 4, 0};
  const uint8_t huge[] = {'G', 'I', 'F', '8', '7', 'a', 0xFF, 0xFF, 0xFF, 0xFF};
  const uint8_t empty[] = {'G', 'I', 'F', '8', '9', 'a', 0, 0, 4, 0};
  const uint8_t other[] = {'G', 'I', 'F', '8', '8', 'a', 6, 0, 4, 0};
  EXPECT_EQ(CheckGifHeader(small, sizeof small).kind(), RefusalKind::kNone);
  EXPECT_EQ(CheckGifHeader(huge, sizeof huge).kind(), RefusalKind::kTooLarge);
  EXPECT_EQ(CheckGifHeader(empty, sizeof empty).kind(), RefusalKind::kDamaged);
  EXPECT_EQ(CheckGifHeader(other, sizeof other).kind(), RefusalKind::kDamaged);
}

TEST(PictureHeader, GifFramesLargerThanTheScreen) {
  // A 2 x 1 screen; one image, then the trailer.
  std::vector<uint8_t> gif = {'G',  'I',  'F',  '8',  '9', 'a', 2, 0, 1, 0,
                              0x80, 0,    0,                                 // screen, 2-entry table
                              0,    0,    0,    255,  255, 255,              // global colour table
                              0x21, 0xF9, 4,    1,    0,   0,   0, 0,        // graphic control extension
                              0x2C, 0,    0,    0,    0,   2,   0, 1, 0, 0,  // image 2 x 1 at 0,0
                              2,    2,    0x44, 0x01, 0,                     // LZW data
                              0x3B};
  EXPECT_EQ(CheckGifBytes(gif.data(), gif.size()).kind(), RefusalKind::kNone);
  // The frame claims 65535 x 65535 pixels at 65535,65535: 29 bytes asked FreeImage for 4 GB.
  const std::vector<uint8_t> found = {0x47, 0x49, 0x46, 0x38, 0x39, 0x61, 0x02, 0x00, 0x01, 0x00,
                                      0x00, 0x01, 0x00, 0x2c, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff,
                                      0xff, 0xff, 0x00, 0x02, 0x02, 0x44, 0x0a, 0x00, 0x3b};
  EXPECT_EQ(CheckGifBytes(found.data(), found.size()).kind(), RefusalKind::kTooLarge);
  // A zero-sized frame, an unknown block, a cut descriptor.
  std::vector<uint8_t> bad = gif;
  bad[32] = 0;  // width 0
  EXPECT_EQ(CheckGifBytes(bad.data(), bad.size()).kind(), RefusalKind::kDamaged);
  bad = gif;
  bad[27] = 0x99;
  EXPECT_EQ(CheckGifBytes(bad.data(), bad.size()).kind(), RefusalKind::kDamaged);
  EXPECT_EQ(CheckGifBytes(gif.data(), 31).kind(), RefusalKind::kDamaged);
}
