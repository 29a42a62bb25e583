// CPC disk image files (".dsk"), read and written through libdsk: the
// "MV - CPCEMU Disk-File" container and the "EXTENDED CPC DSK File" one. Only
// disks in the DATA format are taken; their sectors come out as one buffer
// for cpm_directory.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "common/refusal.h"

enum class DiskContainer { kStandard, kExtended };

struct DiskImage {
  DiskContainer container = DiskContainer::kExtended;
  std::vector<uint8_t> sectors;  // kDataDiskBytes: track 0 sectors &C1 to &C9, then track 1...
};

// The DATA disk in the image file at path. Refuses, with the text of the one
// line: a missing or unreadable path (or one that is not a regular file), a
// file that is not a CPC disk image, and an image that is not one side of 40
// tracks of nine 512-byte sectors &C1 to &C9, or that libdsk can not read.
Checked<DiskImage> ReadDiskImage(const std::string& path);

// Writes image to path in its container, aside: libdsk builds the image in a
// temporary file beside path, which then replaces path whole. On any failure
// path is left as it was and no temporary file stays.
Refusal WriteDiskImage(const std::string& path, const DiskImage& image);
