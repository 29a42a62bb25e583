#include "toolkit/disk/cpm_directory.h"

#include <algorithm>
#include <map>
#include <utility>

#include "common/assembler_label.h"
#include "common/file_path.h"
#include "common/number_text.h"

namespace {

constexpr size_t kBlockBytes = 1024;
constexpr int kDiskBlocks = kDataBlocks;
static_assert(kDataBlocks * kBlockBytes == kDataDiskBytes);
constexpr int kDirectoryBlocks = 2;
constexpr int kDirectoryEntries = 64;
constexpr size_t kEntryBytes = 32;
constexpr size_t kRecordBytes = 128;
constexpr int kRecordsPerExtent = 128;  // 16 KB: 16 one-byte block numbers of 1 KB
constexpr size_t kExtentBytes = kRecordBytes * kRecordsPerExtent;
constexpr int kBlocksPerEntry = 16;
constexpr size_t kNameAt = 1;
constexpr size_t kExtentLowAt = 12;
constexpr size_t kExtentHighAt = 14;
constexpr size_t kRecordCountAt = 15;
constexpr size_t kBlocksAt = 16;
constexpr uint8_t kHighestUser = 15;
constexpr uint8_t kFirstPasswordStatus = 0x10;  // &10 + the user of the file it guards
constexpr uint8_t kDateStampStatus = 0x21;      // after the disk label at &20
constexpr uint8_t kEndOfText = 0x1A;
constexpr size_t kBaseNameBytes = 8;
constexpr size_t kExtensionBytes = 3;

// Characters CP/M's command line reads as separators or wildcards, and the
// quote and backslash that would break LOAD"NAME" in BASIC.
constexpr std::string_view kRefusedNameCharacters = "<>.,;:=?*[]|\"\\";

bool IsNameCharacter(char c) {
  const auto byte = static_cast<unsigned char>(c);
  return byte > 0x20 && byte < 0x7F && kRefusedNameCharacters.find(c) == std::string_view::npos;
}

std::span<const uint8_t> Entry(std::span<const uint8_t> disk, int index) {
  return disk.subspan(static_cast<size_t>(index) * kEntryBytes, kEntryBytes);
}

CpmName NameOfEntry(std::span<const uint8_t> entry) {
  CpmName name{};
  for (size_t i = 0; i < name.size(); ++i) name[i] = entry[kNameAt + i] & 0x7F;
  return name;
}

int ExtentOfEntry(std::span<const uint8_t> entry) {
  return (entry[kExtentLowAt] & 0x1F) + 32 * (entry[kExtentHighAt] & 0x3F);
}

// CP/M Plus keeps more than files in the directory: passwords, the disk
// label and date stamps. Their bytes 16 to 31 are not block numbers.
bool IsCpmPlusEntry(uint8_t status) { return status >= kFirstPasswordStatus && status <= kDateStampStatus; }

int BlocksForBytes(size_t bytes) { return static_cast<int>((bytes + kBlockBytes - 1) / kBlockBytes); }

// One pass over the directory: which blocks and entries are taken, and the
// entries of each file (user, name) by extent number.
struct DirectoryScan {
  std::array<bool, kDiskBlocks> is_block_used{};
  int free_entries = 0;
  std::vector<std::pair<uint8_t, CpmName>> file_order;
  std::map<std::pair<uint8_t, CpmName>, std::map<int, int>> extents;  // extent -> entry index
};

std::string EntryText(int index) { return "entry " + PlainDecimal(index); }

Refusal MarkBlocks(std::span<const uint8_t> entry, int index, DirectoryScan& scan) {
  for (int k = 0; k < kBlocksPerEntry; ++k) {
    const int block = entry[kBlocksAt + static_cast<size_t>(k)];
    if (block == 0) continue;
    if (block < kDirectoryBlocks || block >= kDiskBlocks) {
      return "damaged directory: " + EntryText(index) + " points to block " + PlainDecimal(block);
    }
    if (scan.is_block_used[static_cast<size_t>(block)]) {
      return "damaged directory: block " + PlainDecimal(block) + " is used twice";
    }
    scan.is_block_used[static_cast<size_t>(block)] = true;
  }
  return std::nullopt;
}

Refusal CheckFileEntry(std::span<const uint8_t> entry, int index, DirectoryScan& scan) {
  const int records = entry[kRecordCountAt];
  if (records > kRecordsPerExtent) {
    return "damaged directory: " + EntryText(index) + " counts " + PlainDecimal(records) + " records";
  }
  for (int k = 0; k < BlocksForBytes(static_cast<size_t>(records) * kRecordBytes); ++k) {
    if (entry[kBlocksAt + static_cast<size_t>(k)] == 0) {
      return "damaged directory: " + EntryText(index) + " is short of blocks";
    }
  }
  const std::pair<uint8_t, CpmName> key{entry[0], NameOfEntry(entry)};
  auto& by_extent = scan.extents[key];
  if (by_extent.empty()) scan.file_order.push_back(key);
  if (!by_extent.emplace(ExtentOfEntry(entry), index).second) {
    return "damaged directory: " + CpmNameText(key.second) + " has an extent twice";
  }
  return std::nullopt;
}

Checked<DirectoryScan> ScanDirectory(std::span<const uint8_t> disk) {
  if (disk.size() != kDataDiskBytes) return Checked<DirectoryScan>::Refused("not a DATA disk");
  DirectoryScan scan;
  scan.is_block_used[0] = scan.is_block_used[1] = true;
  for (int index = 0; index < kDirectoryEntries; ++index) {
    const std::span<const uint8_t> entry = Entry(disk, index);
    if (entry[0] == kBlankByte) {
      ++scan.free_entries;
      continue;
    }
    if (IsCpmPlusEntry(entry[0])) continue;
    Refusal refusal = MarkBlocks(entry, index, scan);
    if (!refusal && entry[0] <= kHighestUser) refusal = CheckFileEntry(entry, index, scan);
    if (refusal) return Checked<DirectoryScan>::Refused(*refusal);
  }
  return scan;
}

// The records of a file's extents in order: every extent but the last full.
Checked<std::vector<uint8_t>> FileBytes(std::span<const uint8_t> disk, const CpmName& name,
                                        const std::map<int, int>& by_extent) {
  std::vector<uint8_t> bytes;
  int expected_extent = 0;
  for (const auto& [extent, index] : by_extent) {
    const std::span<const uint8_t> entry = Entry(disk, index);
    if (extent != expected_extent++ || bytes.size() % kExtentBytes != 0) {
      return Checked<std::vector<uint8_t>>::Refused("damaged directory: " + CpmNameText(name) +
                                                    " misses an extent");
    }
    size_t left = entry[kRecordCountAt] * kRecordBytes;
    for (int k = 0; left > 0; ++k) {
      const size_t take = std::min(left, kBlockBytes);
      const auto block =
          disk.begin() + static_cast<ptrdiff_t>(entry[kBlocksAt + static_cast<size_t>(k)] * kBlockBytes);
      bytes.insert(bytes.end(), block, block + static_cast<ptrdiff_t>(take));
      left -= take;
    }
  }
  return bytes;
}

int FreeBlocks(const std::array<bool, kDiskBlocks>& is_block_used) {
  return static_cast<int>(std::count(is_block_used.begin(), is_block_used.end(), false));
}

int EntriesForBytes(size_t bytes) {
  return std::max(1, static_cast<int>((bytes + kExtentBytes - 1) / kExtentBytes));
}

// The lowest free blocks first, so that files stay together near the directory.
std::vector<int> TakeBlocks(DiskContents& contents, int count) {
  std::vector<int> blocks;
  for (int block = 0; block < kDiskBlocks && static_cast<int>(blocks.size()) < count; ++block) {
    if (contents.is_block_used[static_cast<size_t>(block)]) continue;
    contents.is_block_used[static_cast<size_t>(block)] = true;
    blocks.push_back(block);
  }
  contents.free_blocks -= static_cast<int>(blocks.size());
  return blocks;
}

std::vector<uint8_t> PaddedToRecords(const std::vector<uint8_t>& bytes) {
  std::vector<uint8_t> padded = bytes;
  padded.resize((bytes.size() + kRecordBytes - 1) / kRecordBytes * kRecordBytes, kEndOfText);
  return padded;
}

void WriteFileData(std::vector<uint8_t>& disk, const std::vector<uint8_t>& padded,
                   const std::vector<int>& blocks) {
  for (size_t k = 0; k < blocks.size(); ++k) {
    const size_t from = k * kBlockBytes;
    const size_t take = std::min(kBlockBytes, padded.size() - from);
    const auto target = disk.begin() + static_cast<ptrdiff_t>(static_cast<size_t>(blocks[k]) * kBlockBytes);
    std::fill(target, target + static_cast<ptrdiff_t>(kBlockBytes), kBlankByte);
    std::copy(padded.begin() + static_cast<ptrdiff_t>(from),
              padded.begin() + static_cast<ptrdiff_t>(from + take), target);
  }
}

// One directory entry per 16 KB extent, in the lowest free entries; returns them.
std::vector<int> WriteFileEntries(std::vector<uint8_t>& disk, const NewDiskFile& file,
                                  const std::vector<int>& blocks) {
  const int count = EntriesForBytes(file.bytes.size());
  const size_t records = (file.bytes.size() + kRecordBytes - 1) / kRecordBytes;
  std::vector<int> entries;
  int index = 0;
  for (int extent = 0; extent < count; ++extent) {
    while (disk[static_cast<size_t>(index) * kEntryBytes] != kBlankByte) ++index;
    entries.push_back(index);
    uint8_t* entry = disk.data() + static_cast<size_t>(index) * kEntryBytes;
    std::fill(entry, entry + kEntryBytes, 0);
    std::copy(file.name.begin(), file.name.end(), entry + kNameAt);
    entry[kExtentLowAt] = static_cast<uint8_t>(extent & 0x1F);
    entry[kExtentHighAt] = static_cast<uint8_t>(extent >> 5);
    const size_t first_record = static_cast<size_t>(extent) * kRecordsPerExtent;
    entry[kRecordCountAt] =
        static_cast<uint8_t>(std::min<size_t>(records - std::min(records, first_record), kRecordsPerExtent));
    for (int k = 0; k < kBlocksPerEntry; ++k) {
      const size_t at = static_cast<size_t>(extent * kBlocksPerEntry + k);
      if (at < blocks.size()) entry[kBlocksAt + static_cast<size_t>(k)] = static_cast<uint8_t>(blocks[at]);
    }
  }
  return entries;
}

bool IsReplaced(const DiskFile& file, const std::vector<NewDiskFile>& files) {
  return file.user == 0 && std::any_of(files.begin(), files.end(),
                                       [&](const NewDiskFile& put) { return put.name == file.name; });
}

// The blocks of a file's entries, as the directory lists them.
std::vector<int> BlocksOfFile(std::span<const uint8_t> disk, const DiskFile& file) {
  std::vector<int> blocks;
  for (const int index : file.entries) {
    const std::span<const uint8_t> entry = Entry(disk, index);
    for (int k = 0; k < kBlocksPerEntry; ++k) {
      if (entry[kBlocksAt + static_cast<size_t>(k)] != 0)
        blocks.push_back(entry[kBlocksAt + static_cast<size_t>(k)]);
    }
  }
  return blocks;
}

void FreeFile(std::vector<uint8_t>& disk, DiskContents& contents, const DiskFile& file) {
  const std::vector<int> blocks = BlocksOfFile(disk, file);
  for (const int block : blocks) contents.is_block_used[static_cast<size_t>(block)] = false;
  contents.free_blocks += static_cast<int>(blocks.size());
  for (const int index : file.entries) disk[static_cast<size_t>(index) * kEntryBytes] = kBlankByte;
  contents.free_entries += static_cast<int>(file.entries.size());
}

// The room once the files replaced are gone, against what the files need.
Refusal CheckRoom(std::span<const uint8_t> disk, const DiskContents& contents,
                  const std::vector<NewDiskFile>& files) {
  int free_blocks = contents.free_blocks;
  int free_entries = contents.free_entries;
  for (const DiskFile& file : contents.files) {
    if (!IsReplaced(file, files)) continue;
    free_blocks += static_cast<int>(BlocksOfFile(disk, file).size());
    free_entries += static_cast<int>(file.entries.size());
  }
  int blocks = 0;
  int entries = 0;
  for (const NewDiskFile& file : files) {
    blocks += BlocksForBytes(file.bytes.size());
    entries += EntriesForBytes(file.bytes.size());
  }
  if (blocks > free_blocks) {
    return "the disk is full: the files need " + PlainDecimal(blocks) + " KB, " + PlainDecimal(free_blocks) +
           " KB are free";
  }
  if (entries > free_entries) {
    return "the directory is full: the files need " + PlainDecimal(entries) + " entries, " +
           PlainDecimal(free_entries) + " are free";
  }
  return std::nullopt;
}

}  // namespace

Checked<CpmName> CpmNameOfPath(std::string_view path) {
  const std::string last_name = NameOf(path);
  const std::string_view last = last_name;
  const size_t dot = last.find('.');
  const std::string_view base = last.substr(0, dot);
  const std::string_view extension =
      dot == std::string_view::npos ? std::string_view() : last.substr(dot + 1);
  const bool fits = !base.empty() && base.size() <= kBaseNameBytes && extension.size() <= kExtensionBytes &&
                    (dot == std::string_view::npos || !extension.empty()) &&
                    std::all_of(base.begin(), base.end(), IsNameCharacter) &&
                    std::all_of(extension.begin(), extension.end(), IsNameCharacter);
  if (!fits) {
    // Appended piece by piece: g++ 12 -O2 misreads "\"" + string as an overlapping copy.
    std::string text = "\"";
    text += last;
    text +=
        "\" does not make a CP/M name: 1 to 8 characters, a dot and 1 to 3 more, no spaces nor < > , ; : = ? "
        "* [ ] | \" \\";
    return Checked<CpmName>::Refused(text);
  }
  CpmName name{};
  name.fill(' ');
  const std::string upper_base = UpperAscii(base);
  const std::string upper_extension = UpperAscii(extension);
  for (size_t i = 0; i < upper_base.size() && i < kBaseNameBytes; ++i)
    name[i] = static_cast<uint8_t>(upper_base[i]);
  for (size_t i = 0; i < upper_extension.size() && i < kExtensionBytes; ++i) {
    name[kBaseNameBytes + i] = static_cast<uint8_t>(upper_extension[i]);
  }
  return name;
}

std::string CpmNameText(const CpmName& name) {
  std::string base;
  std::string extension;
  for (size_t i = 0; i < name.size(); ++i) {
    const char c = name[i] >= 0x20 && name[i] < 0x7F ? static_cast<char>(name[i]) : '?';
    if (c == ' ') continue;
    (i < kBaseNameBytes ? base : extension).push_back(c);
  }
  return extension.empty() ? base : base + "." + extension;
}

Checked<DiskContents> ReadDiskContents(std::span<const uint8_t> disk) {
  const Checked<DirectoryScan> scan = ScanDirectory(disk);
  if (!scan) return Checked<DiskContents>::Refused(scan.refusal());
  DiskContents contents;
  contents.is_block_used = scan->is_block_used;
  contents.free_blocks = FreeBlocks(scan->is_block_used);
  contents.free_entries = scan->free_entries;
  for (const auto& key : scan->file_order) {
    const std::map<int, int>& by_extent = scan->extents.find(key)->second;
    Checked<std::vector<uint8_t>> bytes = FileBytes(disk, key.second, by_extent);
    if (!bytes) return Checked<DiskContents>::Refused(bytes.refusal());
    DiskFile file{key.first, key.second, std::move(*bytes), {}};
    for (const auto& extent : by_extent) file.entries.push_back(extent.second);
    contents.files.push_back(std::move(file));
  }
  return contents;
}

std::vector<uint8_t> BlankDataDisk() { return std::vector<uint8_t>(kDataDiskBytes, kBlankByte); }

Refusal PutFilesInDirectory(std::vector<uint8_t>& disk, DiskContents& contents,
                            const std::vector<NewDiskFile>& files) {
  if (Refusal no_room = CheckRoom(disk, contents, files)) return no_room;
  for (const DiskFile& file : contents.files) {
    if (IsReplaced(file, files)) FreeFile(disk, contents, file);
  }
  std::erase_if(contents.files, [&](const DiskFile& file) { return IsReplaced(file, files); });
  for (const NewDiskFile& file : files) {
    const std::vector<int> blocks = TakeBlocks(contents, BlocksForBytes(file.bytes.size()));
    std::vector<uint8_t> padded = PaddedToRecords(file.bytes);
    WriteFileData(disk, padded, blocks);
    std::vector<int> entries = WriteFileEntries(disk, file, blocks);
    contents.free_entries -= static_cast<int>(entries.size());
    contents.files.push_back(DiskFile{0, file.name, std::move(padded), std::move(entries)});
  }
  return std::nullopt;
}
