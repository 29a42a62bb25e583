// CPC disk image files (".dsk"): the "MV - CPCEMU Disk-File" container and
// the "EXTENDED CPC DSK File" one. Only disks in the DATA format are taken;
// their sectors come out as one buffer for cpm_directory. An image is read
// and checked here; libdsk builds the container of every image written.
#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "common/line_output.h"
#include "common/refusal.h"
#include "toolkit/disk/cpm_directory.h"

enum class DiskContainer { kStandard, kExtended };

struct DiskImage {
  DiskContainer container = DiskContainer::kExtended;
  std::vector<uint8_t> sectors;  // kDataDiskBytes: track 0 sectors &C1 to &C9, then track 1...
  // The order of the sector IDs along each track as the image had them (a
  // CPC formats with an interleave), kept when the image is written again.
  // Empty for a new disk: the sectors then follow each other, &C1 to &C9.
  std::vector<std::array<uint8_t, kDataSectorsPerTrack>> track_sector_ids;
};

// The container of a DATA disk image whose bytes are file, checked before
// libdsk sees them (libdsk trusts the lengths an image claims and reads past
// its buffers on a sector longer than its track): the signature, one side of
// 40 tracks, every track inside the file with a Track-Info block of nine
// 512-byte sectors &C1 to &C9. Refusals are the tail of a line that starts
// with the file's name ("is not a CPC disk image").
Checked<DiskContainer> CheckDataContainer(std::span<const uint8_t> file);

// The DATA disk in the image file at path, read once. Refuses, with the text
// of the one line: a missing or unreadable path (or one that is not a regular
// file), a file that is not a CPC disk image, an image that is not one side
// of 40 tracks of nine 512-byte sectors &C1 to &C9, and sectors a disk
// controller would not read (a CRC error, a cylinder or side not their own).
// A missing path is refused, or with kStartBlank gives a blank disk in the
// EXTENDED container.
enum class MissingDisk { kRefused, kStartBlank };
Checked<DiskImage> ReadDiskImage(const std::string& path, MissingDisk missing = MissingDisk::kRefused);

// Writes image in its container to aside's target: libdsk builds it in the
// aside file, which is then committed. On any failure the target is left as
// it was and the aside file is removed.
Refusal WriteDiskImage(AsideFile& aside, const DiskImage& image);
