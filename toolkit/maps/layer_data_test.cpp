#include "toolkit/maps/layer_data.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

// Ids as Tiled's writers lay them out, and the faults a damaged or hostile
// file brings; the refusal's text is what the console line carries.
TEST(LayerData, DecodesTiledsFormsAndNamesEachFault) {
  struct Case {
    std::string text;
    bool is_base64;
    LayerCompression compression;
    std::vector<uint32_t> ids;
    std::string refusal;
  };
  const std::vector<Case> cases = {
      {"\n1,2,\n3,4294967295\n", false, LayerCompression::kNone, {1, 2, 3, 4294967295u}, ""},
      {"1,2,3,4294967296", false, LayerCompression::kNone, {}, "is not a list of tile ids"},
      {"1,2,-3,4", false, LayerCompression::kNone, {}, "is not a list of tile ids"},
      {"1,2,3,", false, LayerCompression::kNone, {}, "is not a list of tile ids"},
      {"1,2,3", false, LayerCompression::kNone, {}, "holds 3 ids, not the 4 cells of the layer"},
      // 1, 2, 3 and 0x80000004 as little-endian words, broken over lines.
      {"\n   AQAAAAIAAAAD\nAAAABAAAgA==\n", true, LayerCompression::kNone, {1, 2, 3, 0x80000004u}, ""},
      {"AQAAAAIAAAADAAAABAAAgA=A", true, LayerCompression::kNone, {}, "is not base64"},
      {"AQAAAAIAAAADAAAABAAAg", true, LayerCompression::kNone, {}, "is not base64"},
      {"AQAAAAIAAAADAAAABAAA", true, LayerCompression::kNone, {}, "does not hold whole 32-bit ids"},
      // zlib of the same 16 bytes, then the stream cut short, then read as gzip.
      {"eJxjZGBgYAJiZiBmYWBo", true, LayerCompression::kZlib, {}, "is not a whole zlib stream"},
      {"eJxjZGBgYAJiZiBmYWBoAAAA4ACL", true, LayerCompression::kZlib, {1, 2, 3, 0x80000004u}, ""},
      {"eJxjZGBgYAJiZiBmYWBoAAAA4ACL", true, LayerCompression::kGzip, {}, "is not a whole gzip member"},
      {"AQAAAAIAAAADAAAABAAAgA==", true, LayerCompression::kZstd, {}, "is not a whole zstd frame"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    const Checked<std::vector<uint32_t>> ids =
        c.is_base64 ? DecodeBase64Cells(c.text, c.compression, 4) : DecodeCsvCells(c.text, 4);
    EXPECT_EQ(ids.refusal(), c.refusal);
    if (ids) {
      EXPECT_EQ(*ids, c.ids);
    }
  }
}

}  // namespace
