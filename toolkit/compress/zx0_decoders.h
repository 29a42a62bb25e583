// The toolkit's own Z80 decoders of ZX0 streams, as source text and as the
// exact time they take on the CPC. Each is a table of instruction rows: the
// source lines, the size and the time all come from the same rows, and the
// time is found by running the rows over the stream with the CPC's times.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "common/source_dialect.h"
#include "toolkit/compress/zx0_stream.h"

enum class Zx0Decoder { kSmall, kFast };

// The decoder's size in bytes.
int ZX0DecoderBytes(Zx0Decoder decoder, Zx0Direction direction);

// Spells the decoder into source (started for code), its labels made from
// label (a valid assembler label): HL at the stream (its first byte, or its
// last for backward ones), DE at the destination (its first byte, or its
// last), then call label. A C caller passes the stream first and the
// destination second: SDCC 4.2 hands them over in HL and DE.
void SpellZX0Decoder(SourceText& source, Zx0Decoder decoder, Zx0Direction direction, const std::string& label);

// NOP cycles the decoder takes on stream, from its first instruction to its
// final ret, as the CPC runs it; -1 when the stream does not decode (only a
// stream DecodeZX0 accepts has a time).
int64_t ZX0DecoderNops(Zx0Decoder decoder, Zx0Direction direction, std::span<const uint8_t> stream);
