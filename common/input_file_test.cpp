#include "common/input_file.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>

namespace fs = std::filesystem;

// Callers act on the kind, not the text: a missing disk image starts a blank
// disk and a missing tileset a new one, where a folder or a file too long
// must be refused. Each kind comes with its own console text.
TEST(InputFile, EachRefusalHasItsKindAndText) {
  const fs::path folder = fs::temp_directory_path() / ("input_file_test_" + std::to_string(getpid()));
  fs::create_directories(folder / "sub");
  const std::string four = (folder / "four.bin").string();
  std::ofstream(four) << "four";
  ASSERT_EQ(mkfifo((folder / "pipe").c_str(), 0600), 0);
  const struct {
    std::string path;
    uint64_t max_bytes;
    RefusalKind kind;
    std::string text;
  } rows[] = {
      {four, 4, RefusalKind::kNone, ""},
      {four, 3, RefusalKind::kTooLarge, four + " is too large"},
      {(folder / "none").string(), 4, RefusalKind::kMissing, "Can not find " + (folder / "none").string()},
      {four + "/under", 4, RefusalKind::kMissing, "Can not find " + four + "/under"},
      {(folder / "sub").string(), 4, RefusalKind::kNotRegular,
       (folder / "sub").string() + " is not a regular file"},
      {(folder / "pipe").string(), 4, RefusalKind::kNotRegular,
       (folder / "pipe").string() + " is not a regular file"},
  };
  for (const auto& row : rows) {
    const Checked<std::vector<uint8_t>> read = ReadInputFile(row.path, row.max_bytes);
    EXPECT_EQ(read.kind(), row.kind) << row.path;
    EXPECT_EQ(read.refusal(), row.text) << row.path;
    if (read) {
      EXPECT_EQ(read->size(), 4u);
    }
  }
  fs::remove_all(folder);
}
