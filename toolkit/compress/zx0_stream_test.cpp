#include "toolkit/compress/zx0_stream.h"

#include <gtest/gtest.h>

#include <random>

#include "tests/zx0_plain_parse.h"
#include "toolkit/compress/zx0_compressor.h"

namespace {

std::vector<uint8_t> Bytes(const std::string& text) { return {text.begin(), text.end()}; }

// 300 zero bytes, then 00 to 27 twice.
std::vector<uint8_t> ZerosThenCountTwice() {
  std::vector<uint8_t> data(300, 0);
  for (int round = 0; round < 2; ++round) {
    for (int value = 0; value < 0x28; ++value) data.push_back(static_cast<uint8_t>(value));
  }
  return data;
}

TEST(Zx0Stream, WritesAndReadsTheWorkedExamples) {
  struct Case {
    std::vector<uint8_t> input;
    Zx0Direction direction;
    std::vector<uint8_t> stream;
  };
  const Case cases[] = {
      {Bytes("ABABABABABAB"), Zx0Direction::kForward, {0x38, 0x41, 0x42, 0xFC, 0x75, 0x55, 0x58}},
      {Bytes("A"), Zx0Direction::kForward, {0xD5, 0x41, 0x55, 0x60}},
      {Bytes("ABABABABABAB"), Zx0Direction::kBackward, {0xA0, 0xAA, 0xDA, 0x03, 0x41, 0x42, 0x92}},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(CompressZX0Bytes(c.input, c.direction), c.stream);
    const Checked<Zx0Decoded> decoded = DecodeZX0(c.stream, c.direction);
    ASSERT_TRUE(decoded) << decoded.refusal();
    EXPECT_EQ(decoded->bytes, c.input);
  }
  const std::vector<uint8_t> data = ZerosThenCountTwice();
  const std::vector<uint8_t> stream = CompressZX0Bytes(data, Zx0Direction::kForward);
  EXPECT_EQ(stream.size(), 49u);
  EXPECT_EQ(std::vector<uint8_t>(stream.begin(), stream.begin() + 7),
            (std::vector<uint8_t>{0x81, 0x00, 0x14, 0x20, 0x57, 0x01, 0x02}));
  const Checked<Zx0Decoded> decoded = DecodeZX0(stream, Zx0Direction::kForward);
  ASSERT_TRUE(decoded);
  EXPECT_EQ(decoded->bytes, data);
  EXPECT_EQ(decoded->delta, 2u);
}

TEST(Zx0Stream, RefusesBrokenStreams) {
  struct Case {
    std::vector<uint8_t> stream;
    std::string refusal;
  };
  const Case cases[] = {
      {{0x38, 0x41, 0x42, 0xFC, 0x75, 0x55}, "the stream is cut short"},
      {{0x38, 0x41, 0x42, 0xFC, 0x75, 0x55, 0x58, 0x00}, "the stream has 1 bytes after its end marker"},
      // Literal "A", then a new offset 2: one byte back is all there is.
      {{0xE0, 0x41, 0xFD, 0x55, 0x58}, "the stream copies from before the start of its output"},
      // Literal "A", then a new offset whose high part has nine digits.
      {{0xC0, 0x41, 0x00, 0x08}, "the stream has an offset over 32640"},
  };
  for (const Case& c : cases) {
    const Checked<Zx0Decoded> decoded = DecodeZX0(c.stream, Zx0Direction::kForward);
    EXPECT_TRUE(decoded.IsRefused());
    EXPECT_EQ(decoded.refusal(), c.refusal);
  }
}

// On inputs small enough for the plain parse, every offset at every position,
// no stream is shorter than the compressor's.
// Rows of 80 bytes of a mode 0 screen's few byte values, each mostly the row
// above (now and then one byte along) or two bytes back: a string found at
// many places, where the way that wins keeps a farther or shorter match.
std::vector<uint8_t> ScreenRows(std::mt19937& generator) {
  static constexpr uint8_t kValues[6] = {0x00, 0xC0, 0x0C, 0xCC, 0x3F, 0xF3};
  std::vector<uint8_t> data;
  for (size_t i = 0; i < 600; ++i) {
    if (i >= 80 && generator() % 3 != 0) {
      data.push_back(data[i - 80 + (generator() % 5 == 0 ? 1 : 0)]);
    } else if (i >= 2 && generator() % 2 != 0) {
      data.push_back(data[i - 2]);
    } else {
      data.push_back(kValues[generator() % 6]);
    }
  }
  return data;
}

TEST(Zx0Stream, CompressesAsShortAsThePlainOptimalParse) {
  std::mt19937 generator(24);
  for (int round = 0; round < 70; ++round) {
    const size_t size = 1 + generator() % 150;
    const uint32_t alphabet = round % 3 == 0 ? 256 : 1 + generator() % 4;
    std::vector<uint8_t> data(size);
    for (size_t i = 0; i < size; ++i) {
      const bool repeats = round % 2 == 1 && i > 8 && generator() % 4 != 0;
      data[i] = repeats ? data[i - 1 - generator() % 8] : static_cast<uint8_t>(generator() % alphabet);
    }
    if (round >= 60) data = ScreenRows(generator);
    for (const Zx0Direction direction : {Zx0Direction::kForward, Zx0Direction::kBackward}) {
      const std::vector<uint8_t> stream = CompressZX0Bytes(data, direction);
      const std::vector<uint8_t> reversed(data.rbegin(), data.rend());
      const bool is_forward = direction == Zx0Direction::kForward;
      EXPECT_EQ(stream.size(), PlainOptimalZX0Bytes(is_forward ? data : reversed)) << "round " << round;
      const Checked<Zx0Decoded> decoded = DecodeZX0(stream, direction);
      ASSERT_TRUE(decoded);
      EXPECT_EQ(decoded->bytes, data);
    }
  }
}

// A screen of few byte values has the same two bytes at thousands of places
// within reach: a long match farther back than the nearest thousand of them
// must still be found, and cost a copy rather than its bytes.
TEST(Zx0Stream, FindsALongMatchBehindThousandsOfShortOnes) {
  std::mt19937 generator(26);
  std::vector<uint8_t> data(9000);
  for (uint8_t& byte : data) byte = static_cast<uint8_t>(generator() % 2);
  const size_t without_repeat = CompressZX0Bytes(data, Zx0Direction::kForward).size();
  data.insert(data.end(), data.begin(), data.begin() + 300);
  EXPECT_LT(CompressZX0Bytes(data, Zx0Direction::kForward).size(), without_repeat + 8);
}

}  // namespace
