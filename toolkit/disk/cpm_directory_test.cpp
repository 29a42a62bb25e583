#include "toolkit/disk/cpm_directory.h"

#include <gtest/gtest.h>

namespace {

CpmName Name(const char* path) {
  const Checked<CpmName> name = CpmNameOfPath(path);
  EXPECT_TRUE(name) << path;
  return name ? *name : CpmName{};
}

std::vector<uint8_t> Bytes(size_t count, uint8_t seed) {
  std::vector<uint8_t> bytes(count);
  for (size_t i = 0; i < count; ++i) bytes[i] = static_cast<uint8_t>(seed + i * 7 + i / 256);
  return bytes;
}

// The bytes as CP/M keeps them: the last 128-byte record padded with &1A.
std::vector<uint8_t> Padded(std::vector<uint8_t> bytes) {
  bytes.resize((bytes.size() + 127) / 128 * 128, 0x1A);
  return bytes;
}

// disk with files put on it, through its directory read once.
Checked<std::vector<uint8_t>> DiskWithFiles(std::vector<uint8_t> disk,
                                            const std::vector<NewDiskFile>& files) {
  Checked<DiskContents> contents = ReadDiskContents(disk);
  if (!contents) return Checked<std::vector<uint8_t>>::Refused(contents.refusal());
  const Refusal refusal = PutFilesInDirectory(disk, *contents, files);
  if (refusal) return Checked<std::vector<uint8_t>>::Refused(*refusal);
  return disk;
}

std::vector<uint8_t> Put(const std::vector<uint8_t>& disk, const std::vector<NewDiskFile>& files) {
  Checked<std::vector<uint8_t>> result = DiskWithFiles(disk, files);
  EXPECT_TRUE(result) << result.refusal();
  return result ? *result : disk;
}

}  // namespace

TEST(CpmDirectory, NamesFromPaths) {
  const CpmName title = Name("out/demo/title.scr");
  EXPECT_EQ(std::string(title.begin(), title.end()), "TITLE   SCR");
  EXPECT_EQ(CpmNameText(title), "TITLE.SCR");
  EXPECT_EQ(CpmNameText(Name("readme")), "README");
  EXPECT_EQ(CpmNameText(Name("Ab_1-2$!.x#")), "AB_1-2$!.X#");
  EXPECT_EQ(CpmNameText(Name("12345678.123")), "12345678.123");
  for (const char* refused : {"123456789.bin", "a.long", "a b.txt", "a.b.c", ".scr", "a.", "x*.bin", "",
                              "dir/", "say\"hi\".bas", "t\x01.bin", "caf\xC3\xA9.bin", "a:b"}) {
    const Checked<CpmName> name = CpmNameOfPath(refused);
    EXPECT_TRUE(name.IsRefused()) << refused;
  }
  EXPECT_EQ(CpmNameOfPath("dir/toolongname.scr").refusal(),
            "\"toolongname.scr\" does not make a CP/M name: 1 to 8 characters, a dot and 1 to 3 more, "
            "no spaces nor < > , ; : = ? * [ ] | \" \\");
}

TEST(CpmDirectory, FilesGoInAndComeBack) {
  const std::vector<uint8_t> blank = BlankDataDisk();
  const Checked<DiskContents> empty = ReadDiskContents(blank);
  ASSERT_TRUE(empty);
  EXPECT_TRUE(empty->files.empty());
  EXPECT_EQ(empty->free_blocks, 178);
  EXPECT_EQ(empty->free_entries, 64);

  const std::vector<uint8_t> disk = Put(
      blank,
      {{Name("empty.txt"), {}}, {Name("small.bin"), Bytes(100, 1)}, {Name("large.bin"), Bytes(40000, 2)}});
  const Checked<DiskContents> contents = ReadDiskContents(disk);
  ASSERT_TRUE(contents);
  ASSERT_EQ(contents->files.size(), 3u);
  EXPECT_EQ(CpmNameText(contents->files[0].name), "EMPTY.TXT");
  EXPECT_TRUE(contents->files[0].bytes.empty());
  EXPECT_EQ(contents->files[1].bytes, Padded(Bytes(100, 1)));
  EXPECT_EQ(contents->files[2].bytes, Padded(Bytes(40000, 2)));
  EXPECT_EQ(contents->free_entries, 64 - 5);       // 1 + 1 + 3 extents of 16 KB
  EXPECT_EQ(contents->free_blocks, 178 - 1 - 40);  // 0 + 1 + 40 blocks of 1 KB

  // The large file's entries: extents 0, 1, 2 with 128, 128 and 57 records;
  // blocks from 3 (block 2 holds SMALL.BIN), 16 to an entry.
  const uint8_t* entry = disk.data() + 2 * 32;
  EXPECT_EQ(
      std::vector<uint8_t>(entry, entry + 17),
      (std::vector<uint8_t>{0, 'L', 'A', 'R', 'G', 'E', ' ', ' ', ' ', 'B', 'I', 'N', 0, 0, 0, 128, 3}));
  EXPECT_EQ(disk[3 * 32 + 12], 1);
  EXPECT_EQ(disk[4 * 32 + 12], 2);
  EXPECT_EQ(disk[4 * 32 + 15], 57);
  EXPECT_EQ(disk[4 * 32 + 16 + 7], 42);  // the 40th block
  EXPECT_EQ(disk[4 * 32 + 16 + 8], 0);
  EXPECT_EQ(disk[5 * 32], 0xE5);
}

TEST(CpmDirectory, ReplacingFreesTheOldFileFirst) {
  const std::vector<uint8_t> once = Put(BlankDataDisk(), {{Name("a.bin"), Bytes(10000, 3)}});
  const std::vector<uint8_t> twice = Put(once, {{Name("a.bin"), Bytes(1000, 4)}});
  const Checked<DiskContents> contents = ReadDiskContents(twice);
  ASSERT_TRUE(contents);
  ASSERT_EQ(contents->files.size(), 1u);
  EXPECT_EQ(contents->files[0].bytes, Padded(Bytes(1000, 4)));
  EXPECT_EQ(contents->free_blocks, 177);
  EXPECT_EQ(contents->free_entries, 63);
}

TEST(CpmDirectory, FullDirectoryAndFullDisk) {
  std::vector<NewDiskFile> files;
  for (int i = 0; i < 64; ++i) files.push_back({Name(("f" + std::to_string(i)).c_str()), {1}});
  const std::vector<uint8_t> full_directory = Put(BlankDataDisk(), files);
  EXPECT_EQ(DiskWithFiles(full_directory, {{Name("one.mor"), {1}}}).refusal(),
            "the directory is full: the files need 1 entries, 0 are free");
  // A file replaced in a full directory takes the entry it frees.
  EXPECT_TRUE(DiskWithFiles(full_directory, {{Name("f7"), Bytes(5000, 5)}}));

  const std::vector<uint8_t> big = Bytes(0x10000 + 128, 6);  // 65 blocks and 5 entries each
  const std::vector<uint8_t> two_big = Put(BlankDataDisk(), {{Name("a.bin"), big}, {Name("b.bin"), big}});
  EXPECT_EQ(DiskWithFiles(two_big, {{Name("c.bin"), Bytes(49 * 1024, 7)}}).refusal(),
            "the disk is full: the files need 49 KB, 48 KB are free");
  EXPECT_TRUE(DiskWithFiles(two_big, {{Name("c.bin"), Bytes(48 * 1024, 7)}}));
  EXPECT_TRUE(DiskWithFiles(two_big, {{Name("a.bin"), big}, {Name("c.bin"), Bytes(48 * 1024, 7)}}));
}

TEST(CpmDirectory, DamagedDirectoriesAreRefused) {
  const std::vector<uint8_t> good = Put(BlankDataDisk(), {{Name("a.bin"), Bytes(20000, 8)}});
  const struct {
    size_t at;
    uint8_t value;
    const char* refusal;
  } damages[] = {
      {16, 180, "damaged directory: entry 0 points to block 180"},
      {16, 1, "damaged directory: entry 0 points to block 1"},
      {32 + 16, 2, "damaged directory: block 2 is used twice"},
      {15, 129, "damaged directory: entry 0 counts 129 records"},
      {16 + 15, 0, "damaged directory: entry 0 is short of blocks"},
      {32 + 12, 2, "damaged directory: A.BIN misses an extent"},
      {32 + 12, 0, "damaged directory: A.BIN has an extent twice"},
      {15, 100, "damaged directory: A.BIN misses an extent"},
  };
  for (const auto& damage : damages) {
    std::vector<uint8_t> disk = good;
    disk[damage.at] = damage.value;
    EXPECT_EQ(ReadDiskContents(disk).refusal(), damage.refusal) << damage.at;
    EXPECT_EQ(DiskWithFiles(disk, {{Name("b.bin"), {1}}}).refusal(), damage.refusal) << damage.at;
  }
  EXPECT_TRUE(ReadDiskContents(std::vector<uint8_t>(1000, 0xE5)).IsRefused());
}
