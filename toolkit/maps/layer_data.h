// The cells of a Tiled tile layer as its <data> element stores them: CSV, or
// base64 of little-endian 32-bit ids, plain or compressed by zlib, gzip or
// zstd. The ids keep their flip bits.
#pragma once

#include <cstdint>
#include <string_view>
#include <vector>

#include "common/refusal.h"

enum class LayerCompression { kNone, kZlib, kGzip, kZstd };

// The ids of comma-separated text (blanks and line breaks around them allowed).
// Refuses text that is not such a list of numbers below 2^32, and a list of
// other than cell_count ids.
Checked<std::vector<uint32_t>> DecodeCsvCells(std::string_view text, size_t cell_count);

// The ids of base64 text (blanks and line breaks allowed), inflated as named.
// The inflated bytes are bounded as they come: a stream that would pass
// cell_count * 4 bytes is refused there, never held whole; one that holds
// fewer, or does not decode, is refused too.
Checked<std::vector<uint32_t>> DecodeBase64Cells(std::string_view text, LayerCompression compression,
                                                 size_t cell_count);
