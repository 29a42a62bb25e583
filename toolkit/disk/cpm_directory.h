// The files of a CPC disk in the DATA format, read and written in memory. The
// disk is its 40 x 9 sectors of 512 bytes in order (track 0 sectors &C1 to
// &C9, then track 1...): no reserved tracks, so block b (1 KB) is at b * 1024
// and blocks 0 and 1 hold the 64 CP/M 2.2 directory entries.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "common/refusal.h"

inline constexpr int kDataTracks = 40;
inline constexpr int kDataSectorsPerTrack = 9;
inline constexpr size_t kDataSectorBytes = 512;
inline constexpr uint8_t kDataFirstSectorId = 0xC1;
inline constexpr size_t kDataDiskBytes = kDataTracks * kDataSectorsPerTrack * kDataSectorBytes;
inline constexpr uint8_t kBlankByte = 0xE5;

// A CP/M file name as its directory entry holds it: 8 + 3 bytes, upper case,
// padded with spaces.
using CpmName = std::array<uint8_t, 11>;

// The name a file at path goes in under: its last path component in upper
// case, split at its dot. Refuses (with the text of the line) a name longer
// than 8 + 3, an empty part, a second dot, and characters CP/M does not allow
// in names (spaces, controls, top-bit bytes, < > , ; : = ? * [ ] | " \).
Checked<CpmName> CpmNameOfPath(std::string_view path);

// "TITLE.SCR", "README" (no dot without an extension).
std::string CpmNameText(const CpmName& name);

inline constexpr int kDataBlocks = static_cast<int>(kDataDiskBytes / 1024);  // 180 blocks of 1 KB

struct DiskFile {
  uint8_t user = 0;
  CpmName name{};              // attribute bits cleared
  std::vector<uint8_t> bytes;  // whole 128-byte records, as CP/M keeps them
  std::vector<int> entries;    // its directory entries, by extent
};

// A disk's directory read once: its files, and the blocks and entries taken.
struct DiskContents {
  std::vector<DiskFile> files;  // in the order of their first entries
  std::array<bool, kDataBlocks> is_block_used{};
  int free_blocks = 0;  // 1 KB each
  int free_entries = 0;
};

// The files and the free room of disk (kDataDiskBytes bytes). Refuses a
// damaged directory: a block outside the data area or used twice, a record
// count over 128, missing or repeated extents, an extent short of blocks.
// Entries of CP/M Plus (a password, &10 to &1F; the disk label, &20; date
// stamps, &21) are neither files nor free: they own no blocks and are kept.
Checked<DiskContents> ReadDiskContents(std::span<const uint8_t> disk);

// A freshly formatted DATA disk: every byte &E5, so an empty directory.
std::vector<uint8_t> BlankDataDisk();

struct NewDiskFile {
  CpmName name{};
  std::vector<uint8_t> bytes;  // at most 64 KB + a header
};

// Puts files on disk under user 0, each replacing any file of that name (its
// entries and blocks are freed first); contents is the disk's directory as
// ReadDiskContents gave it, and stays so. The last record of a file is padded
// with &1A, CP/M's end of text. Refuses too few free blocks or too few free
// entries (one per 16 KB), and then changes neither disk nor contents.
Refusal PutFilesInDirectory(std::vector<uint8_t>& disk, DiskContents& contents,
                            const std::vector<NewDiskFile>& files);
