// The compressor: a short ZX0 stream for any input, found by a parse over
// every position that keeps, at each, the cheapest ways of reaching it with
// a few different last offsets. Inputs of a few hundred bytes get the
// shortest stream there is; larger ones may come out a few bytes longer,
// where the way that wins needed a last offset the parse did not keep.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "toolkit/compress/zx0_stream.h"

// The blocks of a short stream of data (at least one byte), in data order.
std::vector<Zx0Block> ChooseZX0Blocks(std::span<const uint8_t> data);

// The ZX0 stream of input (at least one byte) in direction: for a backward
// stream, input is compressed from its last byte down.
std::vector<uint8_t> CompressZX0Bytes(std::span<const uint8_t> input, Zx0Direction direction);
