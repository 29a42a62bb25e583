// Any file as a labelled array in the chosen source dialect: screens, tiles,
// banks or compressed data become part of a CPC program without an incbin,
// which a C build (SDCC) has no equivalent of.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

// The largest file the data word takes.
inline constexpr uint64_t kMaxDataBytes = 16 * 1024 * 1024;
inline constexpr size_t kDataBytesPerLine = 16;

// gravik data: file_path (as typed) as the array LabelNamePart(name) in
// name.asm, name.s + name.h or name.c + name.h, as the chosen syntax says:
// the label, lines of kDataBytesPerLine bytes and the label_SIZE equate.
// Refuses a missing, unreadable or too large file, a folder, a name that
// can not become a label or output name and an output that would replace
// the input, in one line, writing nothing. True when the outputs were written.
bool ConvertToDataArray(const std::string& file_path, const std::string& name);
