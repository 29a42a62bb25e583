// The input is a CPC disk as a user might bring it. Its bytes are laid over a
// blank DATA disk (directory first) and read, then a file is put on it; an
// input that starts like a disk image file also goes through libdsk and the
// listing of gravik dsk.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

#include "fuzz/fuzz_support.h"
#include "toolkit/disk/cpm_directory.h"
#include "toolkit/disk/disk_files.h"

namespace {

void CheckDirectory(const uint8_t* data, size_t size) {
  std::vector<uint8_t> disk = BlankDataDisk();
  std::memcpy(disk.data(), data, std::min(size, disk.size()));
  Checked<DiskContents> contents = ReadDiskContents(disk);
  if (!contents) return;
  const Checked<CpmName> name = CpmNameOfPath("fuzz.bin");
  const std::vector<uint8_t> bytes(1000, 0x42);
  if (PutFilesInDirectory(disk, *contents, {{*name, bytes}})) return;
  // What was put must read back, padded to its last record, and the room
  // told must be the disk's.
  const Checked<DiskContents> after = ReadDiskContents(disk);
  if (!after || after->free_blocks != contents->free_blocks || after->free_entries != contents->free_entries)
    __builtin_trap();
  std::vector<uint8_t> padded = bytes;
  padded.resize(1024, 0x1A);
  bool is_found = false;
  for (const DiskFile& file : after->files)
    is_found |= file.user == 0 && file.name == *name && file.bytes == padded;
  if (!is_found) __builtin_trap();
}

bool StartsLikeAnImage(const uint8_t* data, size_t size) {
  return size >= 8 && (std::memcmp(data, "MV - CPC", 8) == 0 || std::memcmp(data, "EXTENDED", 8) == 0);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  SilenceConsole();
  CheckDirectory(data, size);
  if (StartsLikeAnImage(data, size)) {
    const FuzzInputFile file(data, size, ".dsk");
    ListDisk(file.path());
  }
  return 0;
}
