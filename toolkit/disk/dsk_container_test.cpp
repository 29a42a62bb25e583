#include "toolkit/disk/dsk_container.h"

#include <gtest/gtest.h>

#include <cstring>

namespace {

constexpr size_t kTrackBytes = 256 + 9 * 512;

// A blank DATA disk image built from the container's description: the disk
// information block, then 40 tracks of a Track-Info block and nine sectors.
std::vector<uint8_t> BlankImage(DiskContainer container) {
  std::vector<uint8_t> image(256 + 40 * kTrackBytes, 0xE5);
  std::fill(image.begin(), image.begin() + 256, 0);
  const char* signature = container == DiskContainer::kStandard ? "MV - CPCEMU Disk-File\r\nDisk-Info\r\n"
                                                                : "EXTENDED CPC DSK File\r\nDisk-Info\r\n";
  std::memcpy(image.data(), signature, std::strlen(signature));
  image[0x30] = 40;
  image[0x31] = 1;
  if (container == DiskContainer::kStandard) {
    image[0x32] = kTrackBytes & 0xFF;
    image[0x33] = kTrackBytes >> 8;
  } else {
    for (size_t t = 0; t < 40; ++t) image[0x34 + t] = kTrackBytes >> 8;
  }
  for (size_t t = 0; t < 40; ++t) {
    uint8_t* track = image.data() + 256 + t * kTrackBytes;
    std::fill(track, track + 256, 0);
    std::memcpy(track, "Track-Info\r\n", 12);
    track[0x10] = static_cast<uint8_t>(t);
    track[0x14] = 2;
    track[0x15] = 9;
    for (size_t s = 0; s < 9; ++s) {
      uint8_t* sector = track + 0x18 + 8 * s;
      sector[0] = static_cast<uint8_t>(t);
      sector[2] = static_cast<uint8_t>(0xC1 + (s * 5) % 9);  // interleaved: C1 C6 C2 C7 ...
      sector[3] = 2;
      if (container == DiskContainer::kExtended) sector[7] = 2;  // 512 bytes of data
    }
  }
  return image;
}

std::string RefusalOf(const std::vector<uint8_t>& image) { return CheckDataContainer(image).refusal(); }

}  // namespace

TEST(DskContainer, BothContainersOfADataDiskPass) {
  const Checked<DiskContainer> standard = CheckDataContainer(BlankImage(DiskContainer::kStandard));
  ASSERT_TRUE(standard) << standard.refusal();
  EXPECT_EQ(*standard, DiskContainer::kStandard);
  const Checked<DiskContainer> extended = CheckDataContainer(BlankImage(DiskContainer::kExtended));
  ASSERT_TRUE(extended) << extended.refusal();
  EXPECT_EQ(*extended, DiskContainer::kExtended);
}

TEST(DskContainer, WhatLibdskMustNotSee) {
  const std::vector<uint8_t> standard = BlankImage(DiskContainer::kStandard);
  const std::vector<uint8_t> extended = BlankImage(DiskContainer::kExtended);
  const size_t track5 = 256 + 5 * kTrackBytes;
  EXPECT_EQ(RefusalOf(std::vector<uint8_t>(standard.begin(), standard.begin() + 255)),
            "is not a CPC disk image");
  EXPECT_EQ(RefusalOf(std::vector<uint8_t>(standard.begin(), standard.end() - 1)),
            "is a damaged disk image (track 39 is cut short)");

  std::vector<uint8_t> long_sector = extended;
  long_sector[track5 + 0x18 + 8 * 3 + 7] = 0xE5;  // a sector claiming &E500 bytes
  EXPECT_EQ(RefusalOf(long_sector),
            "is not in the DATA format (track 5 is not 9 sectors of 512 bytes, &C1 to &C9)");

  std::vector<uint8_t> big_code = standard;
  big_code[track5 + 0x14] = 6;  // the old container's sector size for the track
  EXPECT_EQ(RefusalOf(big_code),
            "is not in the DATA format (track 5 is not 9 sectors of 512 bytes, &C1 to &C9)");

  std::vector<uint8_t> repeated_id = extended;
  repeated_id[track5 + 0x18 + 8 * 1 + 2] = repeated_id[track5 + 0x18 + 2];
  EXPECT_EQ(RefusalOf(repeated_id),
            "is not in the DATA format (track 5 is not 9 sectors of 512 bytes, &C1 to &C9)");

  std::vector<uint8_t> ten_sectors = standard;
  ten_sectors[track5 + 0x15] = 10;
  EXPECT_EQ(RefusalOf(ten_sectors),
            "is not in the DATA format (track 5 is not 9 sectors of 512 bytes, &C1 to &C9)");

  std::vector<uint8_t> no_block = extended;
  no_block[track5] = 'X';
  EXPECT_EQ(RefusalOf(no_block), "is a damaged disk image (track 5 has no Track-Info block)");

  std::vector<uint8_t> unformatted = extended;
  unformatted[0x34 + 7] = 0;
  EXPECT_EQ(RefusalOf(unformatted), "is not in the DATA format (track 7 is not 9 sectors of 512 bytes)");

  std::vector<uint8_t> huge_track = standard;
  huge_track[0x33] = 0xFF;  // 65280 bytes a track: track 1 would start inside track 0's data
  EXPECT_EQ(RefusalOf(huge_track), "is a damaged disk image (track 1 has no Track-Info block)");

  std::vector<uint8_t> two_sides = extended;
  two_sides[0x31] = 2;
  EXPECT_EQ(RefusalOf(two_sides), "is not in the DATA format (one side, 40 tracks of 9 sectors &C1 to &C9)");
}
