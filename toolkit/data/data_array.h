// Any file as a labelled array in the chosen source dialect: screens, tiles,
// banks or compressed data become part of a CPC program without an incbin,
// which a C build (SDCC) has no equivalent of.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "common/source_dialect.h"

// The largest file the data word takes.
inline constexpr uint64_t kMaxDataBytes = 16 * 1024 * 1024;

// The source of bytes as the array label (a valid label) in syntax, named
// after asm_path (see SourceOutputNames): the label, lines of 16 bytes and the
// label_SIZE equate. Pure.
std::vector<SourceFile> DataArraySource(std::span<const uint8_t> bytes, const std::string& label,
                                        const std::string& asm_path, SourceSyntax syntax);

// gravik data: file_path (as typed) as the array LabelNamePart(name) in
// name.asm, name.s + name.h or name.c + name.h, as the chosen syntax says.
// Refuses a missing, unreadable or too large file, a folder, a name that
// can not become a label or output name and an output that would replace
// the input, in one line, writing nothing. True when the outputs were written.
bool ConvertToDataArray(const std::string& file_path, const std::string& name);
