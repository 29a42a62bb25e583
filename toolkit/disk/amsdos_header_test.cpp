#include "toolkit/disk/amsdos_header.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

const std::array<uint8_t, 11> kTitle = {'T', 'I', 'T', 'L', 'E', ' ', ' ', ' ', 'S', 'C', 'R'};

}  // namespace

TEST(AmsdosHeader, BuildsTheBinaryHeaderByteForByte) {
  const auto header = BuildAmsdosHeader(kTitle, 0x4000, AmsdosAddresses{0xC000, 0x0000});
  std::array<uint8_t, 128> expected{};
  std::copy(kTitle.begin(), kTitle.end(), expected.begin() + 1);
  expected[18] = 2;
  expected[22] = 0xC0;  // load &C000
  expected[25] = 0x40;  // length &4000
  expected[65] = 0x40;  // 24-bit length &004000
  // 714 for the name, 2 for the type, &C0 + &40 + &40: &040C.
  expected[67] = 0x0C;
  expected[68] = 0x04;
  EXPECT_EQ(header, expected);
}

TEST(AmsdosHeader, RecognisesOnlyRealHeaders) {
  auto header = BuildAmsdosHeader(kTitle, 0x10000, AmsdosAddresses{0x4000, 0x4010});
  std::vector<uint8_t> file(header.begin(), header.end());
  file.push_back(0x55);
  const auto facts = ReadAmsdosHeader(file);
  ASSERT_TRUE(facts);
  EXPECT_EQ(facts->length, 0x10000u);
  EXPECT_EQ(facts->addresses.load, 0x4000);
  EXPECT_EQ(facts->addresses.entry, 0x4010);

  EXPECT_FALSE(ReadAmsdosHeader(std::vector<uint8_t>(128, 0)));  // a black screen line: checksum 0, no name
  EXPECT_FALSE(ReadAmsdosHeader(std::vector<uint8_t>(file.begin(), file.begin() + 127)));
  std::vector<uint8_t> bad_sum = file;
  bad_sum[67] ^= 1;
  EXPECT_FALSE(ReadAmsdosHeader(bad_sum));
  // A control character in the name, with the checksum made right again.
  std::vector<uint8_t> control_name = file;
  control_name[11] = 0x0D;
  ReaddressAmsdosHeader(control_name, AmsdosAddresses{0x4000, 0x4010});
  EXPECT_FALSE(ReadAmsdosHeader(control_name));
}

TEST(AmsdosHeader, ReaddressingKeepsTheChecksumRight) {
  auto header = BuildAmsdosHeader(kTitle, 100, AmsdosAddresses{});
  ReaddressAmsdosHeader(header, AmsdosAddresses{0x8000, 0x8123});
  const auto facts = ReadAmsdosHeader(header);
  ASSERT_TRUE(facts);
  EXPECT_EQ(facts->addresses.load, 0x8000);
  EXPECT_EQ(facts->addresses.entry, 0x8123);
  EXPECT_EQ(facts->length, 100u);
  EXPECT_EQ(header, BuildAmsdosHeader(kTitle, 100, AmsdosAddresses{0x8000, 0x8123}));
}
