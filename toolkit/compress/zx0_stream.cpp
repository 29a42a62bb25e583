#include "toolkit/compress/zx0_stream.h"

#include <algorithm>
#include <bit>

#include "common/number_text.h"

namespace {

// The offset's high part is coded as H = (offset - 1) / 128 + 1; H = 256
// marks the end of the stream.
constexpr uint32_t kOffsetLowSpan = 128;
constexpr uint32_t kEndHighPart = 256;

uint32_t HighPart(uint32_t offset) { return (offset - 1) / kOffsetLowSpan + 1; }

// The gamma code of value as plain bits, before a direction gives them their
// polarity: for each digit after the leading 1, "continue" then the digit;
// then "stop". Continue is false here, stop true.
struct GammaCode {
  uint64_t digits = 0;  // the digits after the leading 1, highest first
  int digit_count = 0;
};

GammaCode GammaOf(uint32_t value) {
  const int width = std::bit_width(value);
  return {value & ((1u << (width - 1)) - 1), width - 1};
}

// Appends bits most significant first, taking a new bit byte where the
// decoder will take it: when the first bit that needs one is written.
class BitWriter {
 public:
  BitWriter(std::vector<uint8_t>& out, Zx0Direction direction)
      : out_(out), is_backward_(direction == Zx0Direction::kBackward) {}

  void Bit(bool bit) {
    if (mask_ == 0) {
      bit_byte_ = out_.size();
      out_.push_back(0);
      mask_ = 0x80;
    }
    if (bit) out_[bit_byte_] = static_cast<uint8_t>(out_[bit_byte_] | mask_);
    mask_ = static_cast<uint8_t>(mask_ >> 1);
  }
  void Byte(uint8_t byte) { out_.push_back(byte); }
  // Continue and stop bits change places in backward streams.
  void Control(bool is_stop) { Bit(is_stop != is_backward_); }
  // Digits from the one at index (counting down from digit_count - 1).
  void GammaFrom(const GammaCode& code, int digit, bool invert_digits) {
    for (; digit >= 0; --digit) {
      Control(false);
      Bit((((code.digits >> digit) & 1) != 0) != invert_digits);
    }
    Control(true);
  }
  bool is_backward() const { return is_backward_; }

 private:
  std::vector<uint8_t>& out_;
  bool is_backward_;
  size_t bit_byte_ = 0;
  uint8_t mask_ = 0;
};

void EncodeNewOffset(BitWriter& writer, const Zx0Block& block) {
  const bool is_backward = writer.is_backward();
  writer.Bit(true);
  writer.GammaFrom(GammaOf(HighPart(block.offset)), GammaOf(HighPart(block.offset)).digit_count - 1,
                   !is_backward);
  const uint32_t low = (block.offset - 1) % kOffsetLowSpan;
  const uint32_t low_bits = is_backward ? low : kOffsetLowSpan - 1 - low;
  // Bit 0 of the offset byte is the first bit of the length code.
  const GammaCode length = GammaOf(block.length - 1);
  const bool first_is_stop = length.digit_count == 0;
  writer.Byte(static_cast<uint8_t>(low_bits << 1 | ((first_is_stop != is_backward) ? 1 : 0)));
  if (first_is_stop) return;
  writer.Bit(((length.digits >> (length.digit_count - 1)) & 1) != 0);
  writer.GammaFrom(length, length.digit_count - 2, false);
}

}  // namespace

uint32_t BlockBits(const Zx0Block& block, bool is_first) {
  switch (block.kind) {
    case Zx0BlockKind::kLiterals:
      return (is_first ? 0 : 1) + GammaBits(block.length) + 8 * block.length;
    case Zx0BlockKind::kLastOffset:
      return 1 + GammaBits(block.length);
    case Zx0BlockKind::kNewOffset:
      break;
  }
  return GammaBits(HighPart(block.offset)) + 8 + GammaBits(block.length - 1);
}

std::vector<uint8_t> EncodeZX0Blocks(std::span<const uint8_t> data, const std::vector<Zx0Block>& blocks,
                                     Zx0Direction direction) {
  std::vector<uint8_t> out;
  BitWriter writer(out, direction);
  size_t position = 0;
  for (size_t index = 0; index < blocks.size(); ++index) {
    const Zx0Block& block = blocks[index];
    if (index > 0 && block.kind != Zx0BlockKind::kNewOffset) writer.Bit(false);
    if (block.kind == Zx0BlockKind::kNewOffset) {
      EncodeNewOffset(writer, block);
    } else {
      writer.GammaFrom(GammaOf(block.length), GammaOf(block.length).digit_count - 1, false);
    }
    if (block.kind == Zx0BlockKind::kLiterals) {
      for (uint32_t i = 0; i < block.length; ++i) writer.Byte(data[position + i]);
    }
    position += block.length;
  }
  writer.Bit(true);
  writer.GammaFrom(GammaOf(kEndHighPart), GammaOf(kEndHighPart).digit_count - 1,
                   direction == Zx0Direction::kForward);
  if (direction == Zx0Direction::kBackward) std::reverse(out.begin(), out.end());
  return out;
}

namespace {

// Gamma values past this many digits would only describe outputs longer
// than any this toolkit decodes.
constexpr int kMaxGammaDigits = 24;

// The faults a stream can have, each the refusal's text.
std::string CutShortText() { return "the stream is cut short"; }
std::string FarOffsetText() { return "the stream has an offset over " + PlainDecimal(kZx0MaxOffset); }
std::string BeforeStartText() { return "the stream copies from before the start of its output"; }
std::string TooLongText() {
  return "the stream decodes to more than " + PlainDecimal(kZx0MaxBytes) + " bytes";
}

// Reads a stream the way the Z80 decoders do, keeping the largest lead of
// the output over the input for the in-place delta.
class StreamReader {
 public:
  StreamReader(std::span<const uint8_t> stream, Zx0Direction direction)
      : stream_(stream), is_backward_(direction == Zx0Direction::kBackward) {}

  bool Bit() {
    if (mask_ == 0) {
      bit_byte_ = Byte();
      mask_ = 0x80;
    }
    const bool bit = (bit_byte_ & mask_) != 0;
    mask_ = static_cast<uint8_t>(mask_ >> 1);
    return bit;
  }
  uint8_t Byte() {
    if (read_ >= stream_.size()) {
      fault_ = CutShortText();
      return 0;
    }
    return stream_[read_++];
  }
  bool IsStop(bool bit) const { return bit != is_backward_; }
  // Gamma value whose first control bit has already been read.
  uint32_t GammaAfter(bool first_bit, bool invert_digits) {
    uint32_t value = 1;
    int digits = 0;
    for (bool bit = first_bit; !IsStop(bit) && !fault_; bit = Bit()) {
      if (++digits > kMaxGammaDigits) fault_ = TooLongText();
      value = value << 1 | ((Bit() != invert_digits) ? 1 : 0);
    }
    return value;
  }
  uint32_t Gamma(bool invert_digits) { return GammaAfter(Bit(), invert_digits); }
  void NoteOutput(size_t written) {
    const int64_t lead = static_cast<int64_t>(written) - static_cast<int64_t>(read_);
    largest_lead_ = std::max(largest_lead_, lead);
  }

  std::span<const uint8_t> stream_;
  bool is_backward_;
  size_t read_ = 0;
  uint8_t bit_byte_ = 0;
  uint8_t mask_ = 0;
  int64_t largest_lead_ = 0;
  Refusal fault_;  // why the decode stopped; none while it goes on
};

void CopyLiterals(StreamReader& reader, Zx0Decoded& out, uint32_t length) {
  for (uint32_t i = 0; i < length && !reader.fault_; ++i) {
    out.bytes.push_back(reader.Byte());
    reader.NoteOutput(out.bytes.size());
  }
}

void CopyFromOffset(StreamReader& reader, Zx0Decoded& out, uint32_t length, uint32_t offset) {
  if (offset > out.bytes.size()) {
    reader.fault_ = BeforeStartText();
    return;
  }
  for (uint32_t i = 0; i < length; ++i) {
    const uint8_t byte = out.bytes[out.bytes.size() - offset];
    out.bytes.push_back(byte);
  }
  reader.NoteOutput(out.bytes.size());
}

// Reads a new offset block's offset and length; false at the end marker.
bool ReadNewOffset(StreamReader& reader, Zx0Block& block) {
  const uint32_t high = reader.Gamma(!reader.is_backward_);
  if (reader.fault_) return false;
  if (high == kEndHighPart) return false;
  if (high > kEndHighPart) {
    reader.fault_ = FarOffsetText();
    return false;
  }
  const uint8_t low = reader.Byte();
  const uint32_t low_bits = low >> 1;
  block.offset =
      reader.is_backward_ ? (high - 1) * kOffsetLowSpan + low_bits + 1 : high * kOffsetLowSpan - low_bits;
  block.length = reader.GammaAfter((low & 1) != 0, false) + 1;
  return true;
}

// The blocks of the stream, decoded into out, until the end marker or a fault.
void DecodeBlocks(StreamReader& reader, Zx0Decoded& out) {
  Zx0Block block;
  uint32_t last_offset = 1;
  bool is_new_offset = false;
  for (bool is_literal = true; !reader.fault_; is_literal = !is_literal && !is_new_offset) {
    if (is_new_offset) {
      block.kind = Zx0BlockKind::kNewOffset;
      if (!ReadNewOffset(reader, block)) return;
      last_offset = block.offset;
    } else {
      block = {is_literal ? Zx0BlockKind::kLiterals : Zx0BlockKind::kLastOffset, reader.Gamma(false),
               last_offset};
    }
    if (reader.fault_) return;
    if (out.bytes.size() + block.length > kZx0MaxBytes) {
      reader.fault_ = TooLongText();
      return;
    }
    if (block.kind == Zx0BlockKind::kLiterals) {
      CopyLiterals(reader, out, block.length);
    } else {
      CopyFromOffset(reader, out, block.length, block.offset);
    }
    out.blocks.push_back(block);
    is_new_offset = reader.Bit();
  }
}

}  // namespace

Checked<Zx0Decoded> DecodeZX0(std::span<const uint8_t> stream, Zx0Direction direction) {
  std::vector<uint8_t> reversed;
  if (direction == Zx0Direction::kBackward) {
    reversed.assign(stream.rbegin(), stream.rend());
    stream = reversed;
  }
  StreamReader reader(stream, direction);
  Zx0Decoded out;
  DecodeBlocks(reader, out);
  if (reader.fault_) return Checked<Zx0Decoded>::Refused(*reader.fault_);
  if (reader.read_ != stream.size()) {
    return Checked<Zx0Decoded>::Refused("the stream has " + PlainDecimal(stream.size() - reader.read_) +
                                        " bytes after its end marker");
  }
  if (direction == Zx0Direction::kBackward) {
    std::reverse(out.bytes.begin(), out.bytes.end());
  } else {
    const int64_t growth = static_cast<int64_t>(out.bytes.size()) - static_cast<int64_t>(stream.size());
    out.delta = static_cast<uint32_t>(std::max<int64_t>(0, reader.largest_lead_ - growth));
  }
  return out;
}
