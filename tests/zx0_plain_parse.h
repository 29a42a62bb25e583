// The definition of a shortest ZX0 stream, computed the plain way: every
// offset at every position, each with its own last-offset state. Slow (cubic
// in the input), for small inputs: the tests and the benchmark hold the
// compressor to it.
#pragma once

#include <cstdint>
#include <span>

// Bytes of a shortest ZX0 stream of data (at least one byte).
uint64_t PlainOptimalZX0Bytes(std::span<const uint8_t> data);
