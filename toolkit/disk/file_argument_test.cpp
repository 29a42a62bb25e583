#include "toolkit/disk/file_argument.h"

#include <gtest/gtest.h>

TEST(FileArgument, AddressForms) {
  const struct {
    const char* text;
    int value;  // -1: refused
  } cases[] = {
      {"#C000", 0xC000},  {"&c000", 0xC000}, {"0xC000", 0xC000},
      {"0XFFFF", 0xFFFF}, {"49152", 49152},  {"0", 0},
      {"65535", 65535},   {"65536", -1},     {"&10000", -1},
      {"#", -1},          {"", -1},          {"-1", -1},
      {"+5", -1},         {" 5", -1},        {"12ab", -1},
      {"&G0", -1},        {"0x", -1},        {"99999999999999999999", -1},
  };
  for (const auto& c : cases) {
    const Checked<uint16_t> address = ParseAddress(c.text);
    if (c.value < 0) {
      EXPECT_EQ(address.refusal(),
                "\"" + std::string(c.text) +
                    "\" is not an address: #C000, &C000, 0xC000 or decimal, at most &FFFF");
    } else {
      ASSERT_TRUE(address) << c.text;
      EXPECT_EQ(*address, c.value) << c.text;
    }
  }
}

TEST(FileArgument, FileLoadEntryAndAsIs) {
  const Checked<FileArgument> plain = ParseFileArgument("out/title.scr");
  ASSERT_TRUE(plain);
  EXPECT_EQ(plain->path, "out/title.scr");
  EXPECT_FALSE(plain->addresses);
  EXPECT_FALSE(plain->is_stored_as_is);

  const Checked<FileArgument> both = ParseFileArgument("me@home/code.bin@#4000,&4010");
  ASSERT_TRUE(both);
  EXPECT_EQ(both->path, "me@home/code.bin");
  ASSERT_TRUE(both->addresses);
  EXPECT_EQ(both->addresses->load, 0x4000);
  EXPECT_EQ(both->addresses->entry, 0x4010);

  const Checked<FileArgument> load_only = ParseFileArgument("title.scr@&C000");
  ASSERT_TRUE(load_only && load_only->addresses);
  EXPECT_EQ(load_only->addresses->entry, 0);

  const Checked<FileArgument> as_is = ParseFileArgument("notes.txt@-");
  ASSERT_TRUE(as_is);
  EXPECT_TRUE(as_is->is_stored_as_is);
  EXPECT_EQ(as_is->path, "notes.txt");

  EXPECT_TRUE(ParseFileArgument("a.bin@").IsRefused());
  EXPECT_TRUE(ParseFileArgument("a.bin@#4000,").IsRefused());
  EXPECT_TRUE(ParseFileArgument("a.bin@,#4000").IsRefused());
  EXPECT_TRUE(ParseFileArgument("a.bin@#4000,#4000,1").IsRefused());
}
