#include "common/assembler_label.h"

#include <gtest/gtest.h>

TEST(AssemblerLabel, ValidLabelsStayAndOthersAreMadeValid) {
  const struct {
    const char* name;
    const char* label;
  } cases[] = {
      {"ship", "ship"},
      {"_Ship_2", "_Ship_2"},
      {"my-ship", "my_ship"},
      {"art/ship", "ship"},
      {"/tmp/x/my ship", "my_ship"},
      {"3d", "_3d"},
      {"art/2nd-go", "_2nd_go"},
      {"a.b", "a_b"},
      {"\xC3\xA9t\xC3\xA9", "__t__"},
      {"", ""},
  };
  for (const auto& c : cases) EXPECT_EQ(LabelNamePart(c.name), c.label) << c.name;
}

TEST(AssemblerLabel, NamesThatWouldBreakALineOfSourceAreRefused) {
  EXPECT_FALSE(SourceTextRefusal("Name", "my ship-2.asm"));
  EXPECT_FALSE(SourceTextRefusal("Name", "\xC3\xA9t\xC3\xA9"));  // UTF-8 bytes are no control characters
  for (const char* text : {"a\nb", "a\rb", "a\tb", "\x7F", "x\x1B"}) {
    EXPECT_EQ(SourceTextRefusal("Name", text), "Name can not hold a control character") << text;
  }
  EXPECT_FALSE(QuotedNameRefusal("Data file name", "it's.rle"));
  EXPECT_EQ(QuotedNameRefusal("Data file name", "q\"x.rle"), "Data file name can not hold a quote");
  EXPECT_EQ(QuotedNameRefusal("Data file name", "q\"\n"), "Data file name can not hold a control character");
}
