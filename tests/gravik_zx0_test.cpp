// gravik zx0, unzx0 and zx0code through the real program. Every stream is
// decoded three ways: by the toolkit's C++ decoder, and by both Z80 decoders
// (the source zx0code writes, assembled by pasmo) run on z80ex, whose CPC
// time must be the time zx0 printed.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>

#include "tests/asm_check.h"
#include "tests/sdcc_check.h"
#include "tests/test_support.h"
#include "tests/z80_harness.h"
#include "toolkit/compress/zx0_stream.h"

namespace {

constexpr char kCompress[] = "CompressZX0 : ";
constexpr char kDecompress[] = "DecompressZX0 : ";
constexpr uint16_t kCodeAt = 0x0100;
constexpr uint16_t kStreamAt = 0x0400;
constexpr uint16_t kOutputAt = 0x3000;

std::vector<std::string> Gravik(const TempDir& dir, const std::vector<std::string>& args) {
  return AfterStartup(RunProgram(GRAVIK_BIN, args, dir.path()));
}

// A decoder as zx0code writes it, assembled at kCodeAt.
std::vector<uint8_t> AssembledDecoder(const TempDir& dir, bool is_fast, bool is_backward) {
  std::vector<std::string> args = {"zx0code", "dz"};
  if (is_fast) args.push_back("--fast");
  if (is_backward) args.push_back("--backward");
  Gravik(dir, args);
  std::ofstream(dir.File("at.asm")) << "\torg #0100\n\tinclude \"" << dir.File("dz.asm") << "\"\n";
  const AssembledSource assembled = AssembleWithPasmo(dir.File("at.asm"));
  EXPECT_TRUE(assembled.is_ok) << assembled.messages;
  return assembled.binary;
}

struct Z80Decoding {
  bool has_returned = false;
  std::vector<uint8_t> output;
  int64_t nops = 0;
};

// Runs a decoder on stream, placed at stream_at, decoding to output_at.
Z80Decoding RunOnZ80(const std::vector<uint8_t>& code, const std::vector<uint8_t>& stream,
                     size_t output_bytes, bool is_backward, uint16_t stream_at = kStreamAt,
                     uint16_t output_at = kOutputAt) {
  Z80Machine machine;
  machine.Load(kCodeAt, code);
  machine.Load(stream_at, stream);
  const uint16_t stream_end = static_cast<uint16_t>(stream_at + stream.size() - 1);
  const uint16_t output_end = static_cast<uint16_t>(output_at + output_bytes - 1);
  machine.SetRegister(Z80Register::kHL, is_backward ? stream_end : stream_at);
  machine.SetRegister(Z80Register::kDE, is_backward ? output_end : output_at);
  const CallResult result = machine.Call(kCodeAt, 5000000);
  Z80Decoding decoding{result.has_returned, {}, TotalCpcNops(result.instructions)};
  decoding.output.assign(machine.memory().begin() + output_at,
                         machine.memory().begin() + output_at + output_bytes);
  return decoding;
}

// The two times at the end of zx0's line: "decodes in S NOPs (small) / F (fast)".
std::pair<int64_t, int64_t> PrintedNops(const std::string& line) {
  const size_t small_at = line.find("decodes in ");
  const size_t fast_at = line.find("(small) / ");
  if (small_at == std::string::npos || fast_at == std::string::npos) return {-1, -1};
  return {std::atoll(line.c_str() + small_at + 11), std::atoll(line.c_str() + fast_at + 10)};
}

std::vector<uint8_t> RandomBytes(size_t size, uint32_t seed) {
  std::mt19937 generator(seed);
  std::vector<uint8_t> bytes(size);
  for (uint8_t& byte : bytes) byte = static_cast<uint8_t>(generator());
  return bytes;
}

// 64 random bytes seen again `distance` bytes later, zeros between.
std::vector<uint8_t> RepeatedAt(size_t distance) {
  std::vector<uint8_t> bytes = RandomBytes(64, 5);
  bytes.resize(distance, 0);
  const std::vector<uint8_t> head = RandomBytes(64, 5);
  bytes.insert(bytes.end(), head.begin(), head.end());
  return bytes;
}

// The demo's screens and tile bank, made as make demo makes them.
std::vector<std::string> MakeDemoFiles(const TempDir& dir) {
  RunProgram(MAKE_SAMPLES_BIN, {dir.path().string()}, dir.path());
  Gravik(dir, {"scr0", "title"});
  Gravik(dir, {"scr1", "menu"});
  Gravik(dir, {"ink0", "painting.png", "painting", "--dither=floyd"});
  Gravik(dir, {"scr0", "painting"});
  Gravik(dir, {"add0", "room1", "rooms"});
  Gravik(dir, {"add0", "room2", "rooms"});
  Gravik(dir, {"final0", "rooms"});
  return {"title.scr", "menu.scr", "painting.scr", "tileset_rooms.til"};
}

TEST(GravikZx0, EveryStreamDecodesOnEveryDecoderInThePrintedTime) {
  TempDir dir;
  std::vector<std::pair<std::string, std::vector<uint8_t>>> inputs = {
      {"random", RandomBytes(3000, 1)},
      {"one", {0x42}},
      {"same", std::vector<uint8_t>(5000, 0xAA)},
      {"at32640", RepeatedAt(32640)},
      {"at32641", RepeatedAt(32641)},
  };
  for (const std::string& name : MakeDemoFiles(dir)) inputs.push_back({name, ReadFileBytes(dir.File(name))});
  for (auto& [name, bytes] : inputs) {
    ASSERT_FALSE(bytes.empty()) << name;
    if (name.find('.') == std::string::npos) {
      ASSERT_TRUE(WriteFileBytes(dir.File(name), bytes));
    }
  }
  for (const bool is_backward : {false, true}) {
    const std::vector<uint8_t> small = AssembledDecoder(dir, false, is_backward);
    const std::vector<uint8_t> fast = AssembledDecoder(dir, true, is_backward);
    for (const auto& [name, bytes] : inputs) {
      SCOPED_TRACE(name + (is_backward ? " backward" : " forward"));
      const std::vector<std::string> lines =
          Gravik(dir, is_backward ? std::vector<std::string>{"zx0", name, "--backward"}
                                  : std::vector<std::string>{"zx0", name});
      ASSERT_EQ(lines.size(), 1u);
      const std::vector<uint8_t> stream = ReadFileBytes(dir.File(name + ".zx0"));
      const Zx0Direction direction = is_backward ? Zx0Direction::kBackward : Zx0Direction::kForward;
      const Checked<Zx0Decoded> decoded = DecodeZX0(stream, direction);
      ASSERT_TRUE(decoded) << decoded.refusal();
      EXPECT_EQ(decoded->bytes, bytes);
      const auto [small_nops, fast_nops] = PrintedNops(lines[0]);
      const Z80Decoding by_small = RunOnZ80(small, stream, bytes.size(), is_backward);
      const Z80Decoding by_fast = RunOnZ80(fast, stream, bytes.size(), is_backward);
      EXPECT_TRUE(by_small.has_returned && by_fast.has_returned);
      EXPECT_EQ(by_small.output, bytes);
      EXPECT_EQ(by_fast.output, bytes);
      EXPECT_EQ(by_small.nops, small_nops);
      EXPECT_EQ(by_fast.nops, fast_nops);
    }
  }
}

TEST(GravikZx0, WorkedExamplesDecodeOnBothZ80Decoders) {
  TempDir dir;
  const std::vector<uint8_t> abab = {'A', 'B', 'A', 'B', 'A', 'B', 'A', 'B', 'A', 'B', 'A', 'B'};
  struct Case {
    std::vector<uint8_t> stream;
    std::vector<uint8_t> data;
    bool is_backward;
  };
  const Case cases[] = {
      {{0x38, 0x41, 0x42, 0xFC, 0x75, 0x55, 0x58}, abab, false},
      {{0xD5, 0x41, 0x55, 0x60}, {'A'}, false},
      {{0xA0, 0xAA, 0xDA, 0x03, 0x41, 0x42, 0x92}, abab, true},
  };
  for (const Case& c : cases) {
    for (const bool is_fast : {false, true}) {
      const Z80Decoding decoding =
          RunOnZ80(AssembledDecoder(dir, is_fast, c.is_backward), c.stream, c.data.size(), c.is_backward);
      EXPECT_TRUE(decoding.has_returned);
      EXPECT_EQ(decoding.output, c.data);
    }
  }
}

// A forward stream whose last byte lies delta bytes past the end of its
// output decodes over itself.
TEST(GravikZx0, DecodesInPlaceWithThePrintedDelta) {
  TempDir dir;
  const std::vector<std::string> names = MakeDemoFiles(dir);
  for (const std::string& name : {names[0], names[2]}) {
    const std::vector<std::string> lines = Gravik(dir, {"zx0", name});
    ASSERT_EQ(lines.size(), 1u);
    const size_t delta_at = lines[0].find("delta ");
    ASSERT_NE(delta_at, std::string::npos);
    const size_t delta = static_cast<size_t>(std::atoi(lines[0].c_str() + delta_at + 6));
    const std::vector<uint8_t> data = ReadFileBytes(dir.File(name));
    const std::vector<uint8_t> stream = ReadFileBytes(dir.File(name + ".zx0"));
    const uint16_t stream_at = static_cast<uint16_t>(kOutputAt + data.size() + delta - stream.size());
    for (const bool is_fast : {false, true}) {
      const Z80Decoding decoding =
          RunOnZ80(AssembledDecoder(dir, is_fast, false), stream, data.size(), false, stream_at, kOutputAt);
      EXPECT_TRUE(decoding.has_returned);
      EXPECT_EQ(decoding.output, data) << name << (is_fast ? " fast" : " small");
    }
  }
}

TEST(GravikZx0, DecodersKeepTheirSizesAndTheFastOneIsFaster) {
  TempDir dir;
  for (const bool is_backward : {false, true}) {
    const std::vector<uint8_t> small = AssembledDecoder(dir, false, is_backward);
    const std::vector<uint8_t> fast = AssembledDecoder(dir, true, is_backward);
    // No larger than the smallest known decoder, 68 bytes.
    EXPECT_LE(small.size(), 68u);
    EXPECT_LE(fast.size(), 190u);
    // The size the source's first line states is the assembled size.
    Gravik(dir, is_backward ? std::vector<std::string>{"zx0code", "dz", "--backward"}
                            : std::vector<std::string>{"zx0code", "dz"});
    EXPECT_NE(ReadTextLines(dir.File("dz.asm"))[0].find(", " + std::to_string(small.size()) + " bytes"),
              std::string::npos);
  }
  // The fast decoder saves at least a fifth on a dithered screen, where bits
  // and gamma codes take most of the time; on the flat title screen, where
  // the copies' ldir does, it is still the faster.
  const std::vector<std::string> names = MakeDemoFiles(dir);
  const auto [dithered_small, dithered_fast] = PrintedNops(Gravik(dir, {"zx0", names[2]})[0]);
  EXPECT_LE(dithered_fast * 5, dithered_small * 4);
  const auto [flat_small, flat_fast] = PrintedNops(Gravik(dir, {"zx0", names[0]})[0]);
  EXPECT_LT(flat_fast, flat_small);
  // The menu screen is nearly all copies of 256 bytes or more, which the fast
  // one moves by ldi: without that it saves under 1%.
  const auto [plain_small, plain_fast] = PrintedNops(Gravik(dir, {"zx0", names[1]})[0]);
  EXPECT_LE(plain_fast * 100, plain_small * 92);
}

// In the sdasz80 dialect the decoder assembles to the bytes of its WinApe
// form; in C, a program compiled by SDCC calls it through its header with
// the stream and the destination, and it decodes.
TEST(GravikZx0, DecoderInTheSdccDialectsMatchesWinApeAndDecodesFromC) {
  TempDir dir;
  std::filesystem::create_directories(dir.File("work"));
  for (const bool is_fast : {false, true}) {
    for (const bool is_backward : {false, true}) {
      const std::vector<uint8_t> winape = AssembledDecoder(dir, is_fast, is_backward);
      std::vector<std::string> args = {"--syntax=sdasz80", "zx0code", "dz"};
      if (is_fast) args.push_back("--fast");
      if (is_backward) args.push_back("--backward");
      Gravik(dir, args);
      const SdccBuild build = BuildWithSdcc({dir.File("dz.s")}, dir.File("work"), kCodeAt);
      ASSERT_TRUE(build.is_ok) << build.messages;
      EXPECT_EQ(std::vector<uint8_t>(build.binary.begin() + kCodeAt, build.binary.end()), winape);
    }
  }
  const std::vector<uint8_t> data = RandomBytes(200, 5);
  std::vector<uint8_t> repeated(data.begin(), data.end());
  repeated.insert(repeated.end(), data.begin(), data.end());
  ASSERT_TRUE(WriteFileBytes(dir.File("plain"), repeated));
  Gravik(dir, {"zx0", "plain"});
  Gravik(dir, {"--syntax=c", "data", "plain.zx0", "packed"});
  Gravik(dir, {"--syntax=c", "zx0code", "dz", "--fast"});
  std::ofstream(dir.File("main.c")) << "#include \"dz.h\"\n#include \"packed.h\"\n"
                                    << "void unpack(void) { dz(packed, (unsigned char *)0x3000); }\n";
  const SdccBuild build =
      BuildWithSdcc({dir.File("main.c"), dir.File("dz.s"), dir.File("packed.c")}, dir.File("work"), kCodeAt);
  ASSERT_TRUE(build.is_ok) << build.messages;
  Z80Machine machine;
  machine.Load(0, build.binary);
  ASSERT_TRUE(machine.Call(static_cast<uint16_t>(build.symbols.at("_unpack"))).has_returned);
  EXPECT_EQ(std::vector<uint8_t>(machine.memory().begin() + kOutputAt,
                                 machine.memory().begin() + kOutputAt + repeated.size()),
            repeated);
}

TEST(GravikZx0, RefusesBadInputsInOneLineAndWritesNothing) {
  TempDir dir;
  ASSERT_TRUE(WriteFileBytes(dir.File("empty"), {}));
  ASSERT_TRUE(WriteFileBytes(dir.File("data"), RandomBytes(100, 3)));
  std::filesystem::create_directory(dir.path() / "folder");
  std::filesystem::create_hard_link(dir.File("data"), dir.File("linked"));
  std::filesystem::create_hard_link(dir.File("data"), dir.File("linked.zx0"));
  ASSERT_TRUE(WriteFileBytes(dir.File("huge"), {}));
  std::filesystem::resize_file(dir.File("huge"), kZx0MaxBytes + 1);
  // Literal "A", then a copy from 2 bytes back; a stream cut short; one with a byte after its end.
  ASSERT_TRUE(WriteFileBytes(dir.File("early"), {0xE0, 0x41, 0xFD, 0x55, 0x58}));
  ASSERT_TRUE(WriteFileBytes(dir.File("cut"), {0x38, 0x41, 0x42, 0xFC, 0x75, 0x55}));
  ASSERT_TRUE(WriteFileBytes(dir.File("long"), {0xD5, 0x41, 0x55, 0x60, 0x00}));
  const int entries = CountEntries(dir.path());
  struct Case {
    std::vector<std::string> args;
    std::string line;
  };
  const Case cases[] = {
      {{"zx0", "missing"}, std::string(kCompress) + "Can not find missing"},
      {{"zx0", "empty"}, std::string(kCompress) + "empty is empty"},
      {{"zx0", "folder"}, std::string(kCompress) + "folder is not a regular file"},
      {{"zx0", "huge"}, std::string(kCompress) + "huge is too large"},
      {{"zx0", "linked"}, std::string(kCompress) + "linked.zx0 would replace linked"},
      {{"zx0", "data", "--fast"}, std::string(kCompress) + "unknown option --fast"},
      {{"unzx0", "early", "out"},
       std::string(kDecompress) + "early does not decode: the stream copies from before "
                                  "the start of its output"},
      {{"unzx0", "cut", "out"}, std::string(kDecompress) + "cut does not decode: the stream is cut short"},
      {{"unzx0", "long", "out"},
       std::string(kDecompress) + "long does not decode: the stream has 1 bytes after its "
                                  "end marker"},
      {{"unzx0", "data", "data"}, std::string(kDecompress) + "data would replace data"},
      {{"zx0code", "dz", "--slow"}, "WriteZX0Decoder : unknown option --slow"},
  };
  for (const Case& c : cases) EXPECT_EQ(Gravik(dir, c.args), std::vector<std::string>{c.line});
  EXPECT_EQ(CountEntries(dir.path()), entries);
  EXPECT_EQ(ReadFileBytes(dir.File("linked")), RandomBytes(100, 3));
}

}  // namespace
