// gravik dsk: files onto a CPC disk image in the DATA format, with the AMSDOS
// headers LOAD and RUN expect, and the listing of such a disk.
#pragma once

#include <string>
#include <vector>

// Puts each FILE[@LOAD[,ENTRY]] of file_arguments on the disk image at
// disk_path (created, EXTENDED container, when missing), replacing files of
// the same CP/M name. All or nothing: any refused file, a full disk or
// directory, or an image that is not a DATA disk leaves disk_path as it was.
// Returns true when the new image was written.
bool PutFilesOnDisk(const std::string& disk_path, const std::vector<std::string>& file_arguments);

// Prints one line per file of the disk image at disk_path (name, length, and
// the addresses of its AMSDOS header when it has one), then the free space.
// Returns true when the disk could be read.
bool ListDisk(const std::string& disk_path);
