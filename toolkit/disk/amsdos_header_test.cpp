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
  file.resize(128 + 0x10000, 0x55);
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
  const auto header = BuildAmsdosHeader(kTitle, 100, AmsdosAddresses{});
  std::vector<uint8_t> file(header.begin(), header.end());
  file.resize(128 + 100, 0x55);
  ReaddressAmsdosHeader(file, AmsdosAddresses{0x8000, 0x8123});
  const auto facts = ReadAmsdosHeader(file);
  ASSERT_TRUE(facts);
  EXPECT_EQ(facts->addresses.load, 0x8000);
  EXPECT_EQ(facts->addresses.entry, 0x8123);
  EXPECT_EQ(facts->length, 100u);
  const auto expected = BuildAmsdosHeader(kTitle, 100, AmsdosAddresses{0x8000, 0x8123});
  EXPECT_TRUE(std::equal(expected.begin(), expected.end(), file.begin()));
}

// The 24-bit length must be the rest of the file, or short of it by the
// padding of the last 128-byte record at most.
TEST(AmsdosHeader, TheLengthMustBeTheRestOfTheFile) {
  const struct {
    uint32_t length;
    size_t data_bytes;
    bool is_header;
  } cases[] = {
      {200, 200, true},       {200, 256, true}, {200, 327, true}, {200, 328, false},        {200, 199, false},
      {0xFFFFFF, 200, false}, {0, 0, true},     {0, 128, false},  {0x10000, 0x10000, true},
  };
  for (const auto& c : cases) {
    const auto header = BuildAmsdosHeader(kTitle, c.length, AmsdosAddresses{});
    std::vector<uint8_t> file(header.begin(), header.end());
    file.resize(128 + c.data_bytes, 0x1A);
    EXPECT_EQ(ReadAmsdosHeader(file).has_value(), c.is_header) << c.length << " " << c.data_bytes;
  }
}
