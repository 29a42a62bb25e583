// RLE sprites (".rle"): the sprite block as runs of one pen, for a decoder
// routine of the user's on the CPC, and a small header source that hands the
// data to that decoder.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "common/source_dialect.h"
#include "toolkit/sprites/sprite_pixels.h"

// Run bytes (pen * 16 + length, length 1 to 15, in block order) and the end
// byte 0. Every pixel counts, 255 included (pen 15).
std::vector<uint8_t> EncodeRleSprite(const SpritePixels& pixels);

// The decoder's estimated time in NOP cycles for data: 21 + 6 * (length - 1)
// a run byte, 6 for the end byte; the header's own cost is not included.
int32_t EstimateRleDecodeTime(std::span<const uint8_t> data);

// The header in syntax, named after header_path (see SourceOutputNames):
// WinApe includes data_path, the others hold data itself. The lines are
// described at RleHeaderLines; the C symbol update_NAME is on "ex DE,HL".
std::vector<SourceFile> RleHeaderSource(const std::string& data_path, const std::string& decoder_address,
                                        int32_t total_time_nops, int32_t size_bytes,
                                        std::span<const uint8_t> data, SourceSyntax syntax,
                                        const std::string& header_path);

// The ten WinApe header lines: label made by LabelNamePart from data_path without
// its last four characters,
// total time, size, the code that calls decoder_address with HL at the data
// and DE at the caller's HL, and the incbin of data_path.
std::vector<std::string> RleHeaderLines(const std::string& data_path, const std::string& decoder_address,
                                        int32_t total_time_nops, int32_t size_bytes);

// gravik rle: the 16 x 16 source_path as RLE data in data_path and, unless
// decoder_address is "NONE" in any case, the header in header_path (the
// chosen syntax's names for it), written as one group. With a header, refuses
// an empty or blank decoder address, one holding a control character, and a
// data_path holding a control character or a quote, before reading anything.
// Returns true when everything was written.
bool ConvertToRleSprite(const std::string& source_path, const std::string& data_path,
                        const std::string& header_path, const std::string& decoder_address);
