// The input is a ZX0 stream as unzx0 reads it, forward and backward. A stream
// the decoder accepts must also have a time on both Z80 decoders, and must
// come back from the compressor's output of its bytes.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <span>

#include "toolkit/compress/zx0_compressor.h"
#include "toolkit/compress/zx0_decoders.h"
#include "toolkit/compress/zx0_stream.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::span<const uint8_t> stream(data, size);
  for (const Zx0Direction direction : {Zx0Direction::kForward, Zx0Direction::kBackward}) {
    const Checked<Zx0Decoded> decoded = DecodeZX0(stream, direction);
    if (!decoded || decoded->bytes.size() > 512) continue;
    if (ZX0DecoderNops(Zx0Decoder::kSmall, direction, stream) < 0) std::abort();
    if (ZX0DecoderNops(Zx0Decoder::kFast, direction, stream) < 0) std::abort();
    const Checked<Zx0Decoded> again = DecodeZX0(CompressZX0Bytes(decoded->bytes, direction), direction);
    if (!again || again->bytes != decoded->bytes) std::abort();
  }
  return 0;
}
