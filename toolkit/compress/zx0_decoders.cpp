#include "toolkit/compress/zx0_decoders.h"

#include <iterator>
#include <map>
#include <optional>
#include <string_view>
#include <utility>

#include "common/number_text.h"

namespace {

// The instructions the decoders use. The stream-walking ones (kStep, kBlockCopy,
// the stop and continue tests) are written per direction: a backward stream is
// read downwards, and its gamma codes swap the stop and continue bits.
enum class Op : uint8_t {
  kLdBcNn,
  kLdAN,
  kLdCN,
  kPushBc,
  kPopBc,
  kIncBc,
  kPushHl,
  kPopHl,
  kExSpHl,
  kAddHlDe,
  kIncB,
  kDecB,
  kIncC,
  kDecC,
  kLdBC,
  kLdCMem,
  kLdAMem,
  kAddAA,
  kRla,
  kRlB,
  kRlC,
  kRrB,
  kRrC,
  kSrlB,
  kStep,
  kBlockCopy,
  kCall,
  kRet,
  kRetNz,
  kRetZ,
  kRetStop,
  kJr,
  kJrC,
  kJrNc,
  kJrZ,
  kJrStop,
  kJrContinue,
  kJrNz,
  kCallContinue,
  kIncHl,
  kLdBN,
  kLdHB,
  kLdLC,
  kLdi,
  kJpPe,
  kPushAf,
  kPopAf,
  kLdAC,
  kAndN,
  kDecA,
  kSbcHlDe,
};

// Each instruction's forward text, bytes, NOP cycles, and NOP cycles when a
// condition holds (a jump or return that is taken), in the order of Op. A
// block copy takes 6 for each byte but the last, 5 for it.
struct OpCost {
  std::string_view text;
  int bytes;
  int nops;
  int nops_taken;
};

constexpr OpCost kOpCosts[] = {
    {"ld bc,", 3, 3, 3},     {"ld a,", 2, 2, 2},      {"ld c,", 2, 2, 2},      {"push bc", 1, 4, 4},
    {"pop bc", 1, 3, 3},     {"inc bc", 1, 2, 2},     {"push hl", 1, 4, 4},    {"pop hl", 1, 3, 3},
    {"ex (sp),hl", 1, 6, 6}, {"add hl,de", 1, 3, 3},  {"inc b", 1, 1, 1},      {"dec b", 1, 1, 1},
    {"inc c", 1, 1, 1},      {"dec c", 1, 1, 1},      {"ld b,c", 1, 1, 1},     {"ld c,(hl)", 1, 2, 2},
    {"ld a,(hl)", 1, 2, 2},  {"add a,a", 1, 1, 1},    {"rla", 1, 1, 1},        {"rl b", 2, 2, 2},
    {"rl c", 2, 2, 2},       {"rr b", 2, 2, 2},       {"rr c", 2, 2, 2},       {"srl b", 2, 2, 2},
    {"inc hl", 1, 2, 2},     {"ldir", 2, 6, 5},       {"call ", 3, 5, 5},      {"ret", 1, 3, 3},
    {"ret nz", 1, 2, 4},     {"ret z", 1, 2, 4},      {"ret c", 1, 2, 4},      {"jr ", 2, 3, 3},
    {"jr c,", 2, 2, 3},      {"jr nc,", 2, 2, 3},     {"jr z,", 2, 2, 3},      {"jr c,", 2, 2, 3},
    {"jr nc,", 2, 2, 3},     {"jr nz,", 2, 2, 3},     {"call nc,", 3, 3, 5},   {"inc hl", 1, 2, 2},
    {"ld b,", 2, 2, 2},      {"ld h,b", 1, 1, 1},     {"ld l,c", 1, 1, 1},     {"ldi", 2, 5, 5},
    {"jp pe,", 3, 3, 3},     {"push af", 1, 4, 4},    {"pop af", 1, 3, 3},     {"ld a,c", 1, 1, 1},
    {"and ", 2, 2, 2},       {"dec a", 1, 1, 1},      {"sbc hl,de", 2, 4, 4},
};
static_assert(std::size(kOpCosts) == static_cast<size_t>(Op::kSbcHlDe) + 1, "one row for each Op");

const OpCost& CostOf(Op op) { return kOpCosts[static_cast<size_t>(op)]; }

std::string_view Mnemonic(Op op, bool is_backward) {
  if (is_backward) {
    if (op == Op::kStep) return "dec hl";
    if (op == Op::kBlockCopy) return "lddr";
    if (op == Op::kLdi) return "ldd";
    if (op == Op::kRetStop) return "ret nc";
    if (op == Op::kJrStop) return "jr nc,";
    if (op == Op::kJrContinue) return "jr c,";
    if (op == Op::kCallContinue) return "call c,";
  }
  return CostOf(op).text;
}

struct Row {
  std::vector<std::string> labels;  // the row's own labels, without the decoder's prefix
  Op op = Op::kRet;
  std::string target;  // jumps and calls
  uint16_t value = 0;  // immediates
};

struct Program {
  std::vector<Row> rows;
  std::vector<Row> out_of_line;  // placed after the body: the fast decoder's rarer paths
  std::vector<std::string> pending_labels;

  void Label(std::string name) { pending_labels.push_back(std::move(name)); }
  void Add(Op op, std::string target = {}, uint16_t value = 0) {
    rows.push_back({std::move(pending_labels), op, std::move(target), value});
    pending_labels.clear();
  }
};

// The last offset is kept on the stack: forward decoders keep it negated, so
// that adding the destination gives the source. Backward, the small decoder
// keeps it less one (the copy adds the one back), which saves a step on
// every new offset; the fast one adds the one to each new offset instead, so
// that each of its three copies finds its source in one add.
// BC leaves at 0, ready for the first gamma code.
void AddStart(Program& p, bool is_backward, bool is_less_one) {
  const bool is_one = is_backward && !is_less_one;
  p.Add(Op::kLdBcNn, {}, is_backward ? (is_one ? 1 : 0) : 0xFFFF);
  p.Add(Op::kPushBc);
  if (!is_backward) p.Add(Op::kIncBc);
  if (is_one) p.Add(Op::kDecC);
  // The bit buffer holds its unread bits above a marker bit: 0x80 is empty.
  p.Add(Op::kLdAN, {}, 0x80);
}

void AddCopy(Program& p, bool is_backward, bool is_less_one) {
  p.Label("copy");
  p.Add(Op::kExSpHl);
  p.Add(Op::kPushHl);
  p.Add(Op::kAddHlDe);
  if (is_backward && is_less_one) p.Add(Op::kIncHl);
  p.Add(Op::kBlockCopy);
  p.Add(Op::kPopHl);
  p.Add(Op::kExSpHl);
}

// With the offset's high part H read: forward, C holds -H-1 (its digits came
// inverted into a register started at -2); backward, BC holds H. Leaves the
// offset in BC (backward: less one), ready to push, and the length code's
// first bit in carry.
void AddOffsetFromHighPart(Program& p, bool is_backward) {
  if (is_backward) {
    p.Add(Op::kDecB);
    p.Add(Op::kRetZ);
    p.Add(Op::kDecC);
  } else {
    p.Add(Op::kIncC);
    p.Add(Op::kRetZ);
  }
  p.Add(Op::kLdBC);
  p.Add(Op::kLdCMem);
  p.Add(Op::kStep);
  // Forward, the carry left by the stop bit supplies the offset's top bit.
  p.Add(is_backward ? Op::kSrlB : Op::kRrB);
  p.Add(Op::kRrC);
  p.Add(Op::kPushBc);
}

void AddSmallRoutines(Program& p);

// Where a bit can fall in its bit byte. Every gamma code starts at an even
// bit of the bit stream (counting from the first bit byte's top bit) and
// has an odd number of bits; the indicator after it, and the rest of a new
// offset's length, bring the next code back to an even bit. So control bits
// sit on even bits, digits and indicators on odd ones, and a bit byte always
// starts with a control bit: only control bits can find the bit buffer empty,
// and the others are read with a bare "add a,a".
void AddNewOffsetSmall(Program& p, bool is_backward) {
  p.Label("new_offset");
  if (is_backward) {
    // H comes in plain; the old offset goes off the stack through HL.
    p.Add(Op::kCall, "gamma");
    p.Add(Op::kExSpHl);
    p.Add(Op::kPopHl);
  } else {
    p.Add(Op::kPopBc);
    p.Add(Op::kLdCN, {}, 0xFE);
    p.Add(Op::kCall, "gamma_loop");
  }
  AddOffsetFromHighPart(p, is_backward);
  // The length's first control bit is in carry: on a stop the length is 2.
  p.Add(Op::kLdBcNn, {}, 1);
  p.Add(Op::kCallContinue, "gamma_digit");
  p.Add(Op::kIncBc);
  p.Add(Op::kJr, "copy");
}

// The small decoder: every gamma code through one routine, which takes the
// control bits' bit bytes; the other bits are read in line.
Program SmallDecoder(bool is_backward) {
  Program p;
  AddStart(p, is_backward, true);
  p.Label("literals");
  p.Add(Op::kCall, "gamma");
  p.Add(Op::kBlockCopy);
  p.Add(Op::kAddAA);
  p.Add(Op::kJrC, "new_offset");
  p.Add(Op::kCall, "gamma");
  AddCopy(p, is_backward, true);
  p.Add(Op::kAddAA);
  p.Add(Op::kJrNc, "literals");
  AddNewOffsetSmall(p, is_backward);
  AddSmallRoutines(p);
  return p;
}

void AddSmallRoutines(Program& p) {
  // Gamma code into BC, which is 0 on entry.
  p.Label("gamma");
  p.Add(Op::kIncC);
  p.Label("gamma_loop");
  p.Add(Op::kAddAA);
  p.Add(Op::kJrNz, "gamma_test");
  // Empty: the marker bit is in carry and goes in below the new byte's bits.
  p.Add(Op::kLdAMem);
  p.Add(Op::kStep);
  p.Add(Op::kRla);
  p.Label("gamma_test");
  p.Add(Op::kRetStop);
  p.Label("gamma_digit");
  p.Add(Op::kAddAA);
  p.Add(Op::kRlC);
  p.Add(Op::kRlB);
  p.Add(Op::kJr, "gamma_loop");
}

// The fast decoder reads every bit in line. A bit byte always starts with a
// control bit (see above), so only control bits can find the buffer empty,
// and "add a,a" tells it apart from a real bit for nothing: the marker bit
// comes out as a 1 and leaves A at 0. A 0 in carry is therefore a real bit
// at once, and only a 1 needs the zero flag looked at. Forward streams stop
// a gamma code on a 1 and continue on a 0, backward ones the other way, so
// each direction lays its loops out so that the sure case costs least.
void AddTake(Program& p, bool is_stream_stacked) {
  // While a new offset's length is read, HL holds the copy's source and the
  // stream pointer waits on the stack.
  if (is_stream_stacked) p.Add(Op::kExSpHl);
  p.Add(Op::kLdAMem);
  p.Add(Op::kStep);
  // The marker bit, in carry, goes in below the new byte's bits.
  p.Add(Op::kRla);
  if (is_stream_stacked) p.Add(Op::kExSpHl);
}

// How a gamma code's first control bit comes: still in the bit buffer, or
// already known to continue (the caller has tested it).
enum class FirstBit { kInBuffer, kContinues };

struct GammaCode {
  std::string name;
  FirstBit first = FirstBit::kInBuffer;
  bool is_stream_stacked = false;
  // The digits go into C alone; a carry out of C goes to big (when named),
  // else into B.
  bool is_c_only = false;
  std::string big;
};

void AddDigit(Program& p, const GammaCode& code) {
  p.Add(Op::kAddAA);
  p.Add(Op::kRlC);
  if (!code.big.empty()) {
    p.Add(Op::kJrC, code.big);
  } else if (!code.is_c_only) {
    p.Add(Op::kRlB);
  }
}

// Forward: a continue (0) is always real and loops back in 4 NOPs; a 1 is
// the stop or the empty buffer. Ends at name_done with the stop bit in carry.
void AddGammaForward(Program& p, const GammaCode& code) {
  const std::string loop = code.name + "_loop", test = code.name + "_test", done = code.name + "_done";
  if (code.first == FirstBit::kInBuffer) {
    p.Add(Op::kAddAA);
    p.Add(Op::kJrC, test);
  }
  p.Label(loop);
  AddDigit(p, code);
  p.Add(Op::kAddAA);
  p.Add(Op::kJrNc, loop);
  p.Label(test);
  p.Add(Op::kJrNz, done);
  AddTake(p, code.is_stream_stacked);
  p.Add(Op::kJrNc, loop);
  p.Label(done);
}

// Backward: a stop (0) is always real and leaves in 3 NOPs; a 1 is a
// continue or the empty buffer. A code read from the buffer tests each 1 in
// one place before its digit; one whose first bit is known to continue goes
// straight to its digits.
void AddGammaBackward(Program& p, const GammaCode& code) {
  const std::string loop = code.name + "_loop", test = code.name + "_test", done = code.name + "_done";
  if (code.first == FirstBit::kInBuffer) {
    p.Add(Op::kAddAA);
    p.Add(Op::kJrNc, done);
    p.Label(test);
    p.Add(Op::kJrNz, loop);
    AddTake(p, code.is_stream_stacked);
    p.Add(Op::kJrNc, done);
    p.Label(loop);
    AddDigit(p, code);
    p.Add(Op::kAddAA);
    p.Add(Op::kJrC, test);
  } else {
    p.Label(loop);
    AddDigit(p, code);
    p.Add(Op::kAddAA);
    p.Add(Op::kJrNc, done);
    p.Add(Op::kJrNz, loop);
    AddTake(p, code.is_stream_stacked);
    p.Add(Op::kJrC, loop);
  }
  p.Label(done);
}

void AddGamma(Program& p, const GammaCode& code, bool is_backward) {
  if (is_backward) {
    AddGammaBackward(p, code);
  } else {
    AddGammaForward(p, code);
  }
}

// The rows build adds go out of line, after the body.
template <typename Build>
void AddOutOfLine(Program& p, Build build) {
  std::vector<Row> body = std::move(p.rows);
  p.rows.clear();
  build();
  p.out_of_line.insert(p.out_of_line.begin(), p.rows.begin(), p.rows.end());
  p.rows = std::move(body);
}

// A copy of 256 bytes or more (HL at the source, BC the length): a screen's
// line and block copies are this long, and ldir spends 6 NOPs a byte where
// ldi spends 5. The odd bytes (the length mod 8) go one ldi at a time,
// counted in A while the bit buffer waits on the stack, then eight ldi a
// turn until BC runs out: the turn's test costs 3 NOPs, so 5.375 a byte.
void AddLongCopy(Program& p) {
  p.Add(Op::kPushAf);
  p.Add(Op::kLdAC);
  p.Add(Op::kAndN, {}, 7);
  p.Add(Op::kJrZ, "long_eights");
  p.Label("long_odd");
  p.Add(Op::kLdi);
  p.Add(Op::kDecA);
  p.Add(Op::kJrNz, "long_odd");
  p.Label("long_eights");
  for (int k = 0; k < 8; ++k) p.Add(Op::kLdi);
  p.Add(Op::kJpPe, "long_eights");
  p.Add(Op::kPopAf);
  p.Add(Op::kJr, "new_copied");
}

// A new length whose gamma value passes 255 (its eighth digit has just
// carried the leading 1 out of C): B takes the carry and the rest of the
// digits go through both registers.
void AddBigLength(Program& p, bool is_backward) {
  p.Label("new_big");
  p.Add(Op::kRlB);
  p.Label("big_test");
  p.Add(Op::kAddAA);
  p.Add(Op::kJrNc, is_backward ? "big_done" : "big_digit");
  p.Add(Op::kJrNz, is_backward ? "big_digit" : "big_done");
  AddTake(p, true);
  p.Add(Op::kJrStop, "big_done");
  p.Label("big_digit");
  p.Add(Op::kAddAA);
  p.Add(Op::kRlC);
  p.Add(Op::kRlB);
  p.Add(Op::kJr, "big_test");
  p.Label("big_done");
  p.Add(Op::kIncBc);
  p.Add(Op::kAddHlDe);
  AddLongCopy(p);
}

// The high part H of a new offset: forward, its digits come inverted into C
// started at -2, which leaves -H-1; backward, plain into C started at 1.
// Leaves the offset's high byte in B, and in carry the bit the low byte
// takes on top; returns on the end marker. H = 1 (an offset within 128
// bytes, the most common on a screen) skips the loop and its sums: its high
// byte is -1 forward, H - 1 = 0 backward, and its stop bit in carry is the
// bit the low byte takes on top.
void AddHighPartForward(Program& p) {
  p.Add(Op::kLdCN, {}, 0xFE);
  p.Add(Op::kAddAA);
  p.Add(Op::kJrNc, "high_part_loop");
  // An empty buffer takes the loop's way, where C = -2 also gives H = 1.
  p.Add(Op::kJrZ, "high_part_take");
  p.Add(Op::kLdBN, {}, 0xFF);
  p.Add(Op::kJr, "offset_low");
  p.Label("high_part_loop");
  AddDigit(p, {"high_part", FirstBit::kContinues, false, true, {}});
  p.Add(Op::kAddAA);
  p.Add(Op::kJrNc, "high_part_loop");
  p.Add(Op::kJrNz, "high_part_done");
  p.Label("high_part_take");
  AddTake(p, false);
  p.Add(Op::kJrNc, "high_part_loop");
  p.Label("high_part_done");
  // The stop bit in carry supplies the high byte's sign.
  p.Add(Op::kIncC);
  p.Add(Op::kRetZ);
  p.Add(Op::kLdBC);
  p.Add(Op::kRrB);
}

void AddHighPartBackward(Program& p) {
  p.Add(Op::kAddAA);
  p.Add(Op::kJrNc, "high_part_one");
  p.Add(Op::kLdCN, {}, 1);
  p.Label("high_part_test");
  p.Add(Op::kJrNz, "high_part_loop");
  AddTake(p, false);
  p.Add(Op::kJrNc, "high_part_done");
  p.Label("high_part_loop");
  AddDigit(p, {"high_part", FirstBit::kContinues, false, true, {}});
  p.Add(Op::kAddAA);
  p.Add(Op::kJrC, "high_part_test");
  p.Label("high_part_done");
  // H - 1 into B; C comes back to H, 0 for the end marker.
  p.Add(Op::kDecC);
  p.Add(Op::kLdBC);
  p.Add(Op::kIncC);
  p.Add(Op::kRetZ);
  p.Add(Op::kSrlB);
}

// The copy from a new offset keeps the offset in HL while it reads the
// length, the stream pointer on the stack meanwhile, and finds the source
// once the length is known. The length less one comes as a gamma code into
// BC started at 1 (a stop bit at once, a length of 2, skips the loop), and
// the one goes back on after it. The first byte goes by ldi, one NOP less
// than ldir's; the loop never reaches B, since a value past 255 carries out
// of C first and goes on out of line.
void AddNewOffset(Program& p, bool is_backward) {
  p.Label("new_offset");
  p.Add(Op::kPopBc);
  if (is_backward) {
    AddHighPartBackward(p);
  } else {
    AddHighPartForward(p);
  }
  p.Label("offset_low");
  p.Add(Op::kLdCMem);
  p.Add(Op::kStep);
  p.Add(Op::kRrC);
  if (is_backward) p.Add(Op::kIncBc);
  p.Add(Op::kPushBc);
  p.Add(Op::kPushHl);
  p.Add(Op::kLdHB);
  p.Add(Op::kLdLC);
  p.Add(Op::kLdBcNn, {}, 1);
  p.Add(Op::kJrStop, "new_length_done");
  AddGamma(p, {"new_length", FirstBit::kContinues, true, true, "new_big"}, is_backward);
  p.Add(Op::kIncBc);
  p.Add(Op::kAddHlDe);
  p.Add(Op::kLdi);
  p.Add(Op::kBlockCopy);
  p.Label("new_copied");
  p.Add(Op::kPopHl);
  p.Add(Op::kAddAA);
  p.Add(Op::kJrC, "new_offset");
  AddOutOfLine(p, [&] { AddBigLength(p, is_backward); });
}

// Backward, the copy from the last offset finds the offset again once it is
// done, instead of keeping a second one on the stack: source and destination
// have both moved down by the length, and the sum that gave the source did
// not carry (see Machine), so sbc takes the destination back off exactly.
void AddRepeatCopyBackward(Program& p) {
  p.Add(Op::kExSpHl);
  p.Add(Op::kAddHlDe);
  p.Add(Op::kBlockCopy);
  p.Add(Op::kSbcHlDe);
  p.Add(Op::kExSpHl);
}

// The fast decoder: the same steps with every bit read in line. A copy from
// a new offset is followed by literals more often than a copy from the last
// offset is followed by a new one, so the new offset's code falls into the
// literals and the repeat's jumps back to it.
Program FastDecoder(bool is_backward) {
  Program p;
  AddStart(p, is_backward, false);
  p.Add(Op::kJr, "literals");
  if (is_backward) {
    // H = 1 backward, out of the way but within a relative jump of its test.
    p.Label("high_part_one");
    p.Add(Op::kLdBN, {}, 0);
    p.Add(Op::kJr, "offset_low");
  }
  AddNewOffset(p, is_backward);
  p.Label("literals");
  p.Add(Op::kIncC);
  AddGamma(p, {"literal_length", FirstBit::kInBuffer, false, false, {}}, is_backward);
  p.Add(Op::kBlockCopy);
  p.Add(Op::kAddAA);
  p.Add(Op::kJrC, "new_offset");
  p.Add(Op::kIncC);
  AddGamma(p, {"repeat_length", FirstBit::kInBuffer, false, false, {}}, is_backward);
  if (is_backward) {
    AddRepeatCopyBackward(p);
  } else {
    AddCopy(p, is_backward, false);
  }
  p.Add(Op::kAddAA);
  p.Add(Op::kJrNc, "literals");
  p.Add(Op::kJr, "new_offset");
  p.rows.insert(p.rows.end(), p.out_of_line.begin(), p.out_of_line.end());
  return p;
}

Program DecoderProgram(Zx0Decoder decoder, Zx0Direction direction) {
  const bool is_backward = direction == Zx0Direction::kBackward;
  return decoder == Zx0Decoder::kSmall ? SmallDecoder(is_backward) : FastDecoder(is_backward);
}

int ProgramBytes(const Program& p) {
  int bytes = 0;
  for (const Row& row : p.rows) bytes += CostOf(row.op).bytes;
  return bytes;
}

// The row as the dialect spells it: its labels, then the instruction.
void SpellRow(SourceText& source, const Row& row, bool is_backward, const std::string& prefix) {
  for (const std::string& name : row.labels) AddCodeLabel(source, prefix + name);
  std::string text(Mnemonic(row.op, is_backward));
  std::optional<SourceNumber> immediate;
  if (row.op == Op::kLdBcNn) immediate = HexNumber(row.value, 4);
  if (row.op == Op::kLdAN || row.op == Op::kLdCN || row.op == Op::kLdBN || row.op == Op::kAndN) {
    immediate = HexNumber(row.value, 2);
  }
  if (!row.target.empty()) text += prefix + row.target;
  AddInstruction(source, text, immediate);
}

void SpellHeaderComment(SourceText& source, Zx0Decoder decoder, Zx0Direction direction, int size_bytes) {
  const bool is_backward = direction == Zx0Direction::kBackward;
  const bool is_small = decoder == Zx0Decoder::kSmall;
  const std::string kind = is_small ? "small" : "fast";
  AddComment(source, " ZX0 decoder (" + kind + ", " + (is_backward ? "backward" : "forward") + "), " +
                         PlainDecimal(size_bytes) + " bytes");
  AddComment(source, is_backward
                         ? " HL = last byte of the stream, DE = last byte of the destination; call it"
                         : " HL = first byte of the stream, DE = first byte of the destination; call it");
  // The small decoder's stack holds the last offset and a call's return; the
  // fast one's the last offset, the stream pointer and, in a long copy, AF.
  AddComment(source, std::string(" changes AF, BC, DE and HL (DE and HL end past the data); uses ") +
                         (is_small ? "4" : "6") + " bytes of stack");
  AddComment(source, " time: every instruction counted in NOPs by the CPC's own timings");
  AddComment(source, std::string(" (ldir/lddr 6 a byte and 5 for the last, ") +
                         (is_small ? "" : "ldi/ldd 5, ") + "push 4, ex (sp),hl 6, ret cc 4 taken, 2 not);");
  AddComment(source, "   gravik zx0 prints this decoder's exact time on each stream it writes");
}

// What a C caller gets, in the header: SDCC 4.2's default convention puts a
// first 16-bit argument in HL and a second in DE, which is where the decoder
// takes them, so the call goes straight in with nothing to unpack.
void AddCallerNote(SourceText& source, Zx0Direction direction) {
  const bool is_backward = direction == Zx0Direction::kBackward;
  source.declarations += std::string("/* ") +
                         (is_backward ? "stream and destination point at their last bytes; "
                                      : "stream and destination point at their first bytes; ") +
                         "SDCC 4.2 passes them in HL and DE, where the decoder takes them */" +
                         std::string(kLineEnd);
}

// The decoder's registers as far as its time depends on them. HL and DE are
// plain numbers: HL is an index into the stream whenever the decoder reads
// through it, DE starts at 0 and moves with every copy (so that HL less DE
// after a copy gives its offset back), and the bytes a copy moves do not
// change what runs next.
struct Machine {
  std::span<const uint8_t> stream;
  bool is_backward = false;
  uint8_t a = 0, b = 0, c = 0;
  int64_t hl = 0, de = 0;
  bool carry = false, zero = false;
  bool is_bc_left = false;  // the P/V flag a block move leaves: BC is not yet 0
  bool has_faulted = false;
  std::vector<int64_t> stack;

  uint16_t bc() const { return static_cast<uint16_t>(b << 8 | c); }
  void SetBc(uint32_t value) {
    b = static_cast<uint8_t>(value >> 8);
    c = static_cast<uint8_t>(value);
  }
  uint8_t ReadAtHl() {
    if (hl < 0 || hl >= static_cast<int64_t>(stream.size())) {
      has_faulted = true;
      return 0;
    }
    return stream[static_cast<size_t>(hl)];
  }
  int64_t Pop() {
    if (stack.empty()) {
      has_faulted = true;
      return 0;
    }
    const int64_t value = stack.back();
    stack.pop_back();
    return value;
  }
};

uint8_t RotateLeft(Machine& m, uint8_t value) {
  const bool out = (value & 0x80) != 0;
  value = static_cast<uint8_t>(value << 1 | (m.carry ? 1 : 0));
  m.carry = out;
  m.zero = value == 0;
  return value;
}

uint8_t RotateRight(Machine& m, uint8_t value, bool top_bit) {
  m.carry = (value & 1) != 0;
  value = static_cast<uint8_t>(value >> 1 | (top_bit ? 0x80 : 0));
  m.zero = value == 0;
  return value;
}

// Loads of immediates and HL's arithmetic.
bool RunLoadRow(Machine& m, const Row& row) {
  switch (row.op) {
    case Op::kLdBcNn:
      m.SetBc(row.value);
      break;
    case Op::kLdAN:
      m.a = static_cast<uint8_t>(row.value);
      break;
    case Op::kLdCN:
      m.c = static_cast<uint8_t>(row.value);
      break;
    case Op::kLdBN:
      m.b = static_cast<uint8_t>(row.value);
      break;
    case Op::kIncBc:
      m.SetBc(m.bc() + 1u);
      break;
    case Op::kAddHlDe:
      // A copy's source lies in memory: forward, adding the destination to
      // the negated offset always carries; backward, the sum never does.
      m.hl += m.de;
      m.carry = !m.is_backward;
      break;
    case Op::kSbcHlDe:
      m.hl -= m.de + (m.carry ? 1 : 0);
      break;
    case Op::kIncHl:
      ++m.hl;
      break;
    case Op::kLdHB:
      m.hl = (m.hl & 0xFF) | m.b << 8;
      break;
    case Op::kLdLC:
      m.hl = (m.hl & ~int64_t{0xFF}) | m.c;
      break;
    default:
      return false;
  }
  return true;
}

// The stack: pushes, pops and the exchange with its top.
bool RunStackRow(Machine& m, const Row& row) {
  switch (row.op) {
    case Op::kPushBc:
      m.stack.push_back(m.bc());
      break;
    case Op::kPopBc:
      m.SetBc(static_cast<uint32_t>(m.Pop()));
      break;
    case Op::kPushHl:
      m.stack.push_back(m.hl);
      break;
    case Op::kPopHl:
      m.hl = m.Pop();
      break;
    case Op::kPushAf:
      m.stack.push_back(m.a << 2 | (m.zero ? 2 : 0) | (m.carry ? 1 : 0));
      break;
    case Op::kPopAf: {
      const int64_t af = m.Pop();
      m.a = static_cast<uint8_t>(af >> 2);
      m.zero = (af & 2) != 0;
      m.carry = (af & 1) != 0;
      break;
    }
    case Op::kExSpHl:
      std::swap(m.hl, m.stack.empty() ? m.hl : m.stack.back());
      break;
    default:
      return false;
  }
  return true;
}

// Counts, register copies, reads through HL and the step along the stream.
bool RunCountRow(Machine& m, const Row& row) {
  switch (row.op) {
    case Op::kIncB:
      m.zero = ++m.b == 0;
      break;
    case Op::kDecB:
      m.zero = --m.b == 0;
      break;
    case Op::kIncC:
      m.zero = ++m.c == 0;
      break;
    case Op::kDecC:
      m.zero = --m.c == 0;
      break;
    case Op::kLdBC:
      m.b = m.c;
      break;
    case Op::kLdCMem:
      m.c = m.ReadAtHl();
      break;
    case Op::kLdAMem:
      m.a = m.ReadAtHl();
      break;
    case Op::kStep:
      m.hl += m.is_backward ? -1 : 1;
      break;
    default:
      return false;
  }
  return true;
}

// Shifts and rotates, through the carry.
bool RunRotateRow(Machine& m, const Row& row) {
  switch (row.op) {
    case Op::kAddAA:
      m.carry = (m.a & 0x80) != 0;
      m.a = static_cast<uint8_t>(m.a << 1);
      m.zero = m.a == 0;
      break;
    case Op::kRla: {
      const bool zero = m.zero;
      m.a = RotateLeft(m, m.a);
      m.zero = zero;
      break;
    }
    case Op::kRlB:
      m.b = RotateLeft(m, m.b);
      break;
    case Op::kRlC:
      m.c = RotateLeft(m, m.c);
      break;
    case Op::kRrB:
      m.b = RotateRight(m, m.b, m.carry);
      break;
    case Op::kRrC:
      m.c = RotateRight(m, m.c, m.carry);
      break;
    case Op::kSrlB:
      m.b = RotateRight(m, m.b, false);
      break;

    default:
      return false;
  }
  return true;
}

// The long copy's rows: its count of odd bytes in A, and the moves by ldi.
bool RunLongCopyRow(Machine& m, const Row& row) {
  switch (row.op) {
    case Op::kLdAC:
      m.a = m.c;
      break;
    case Op::kAndN:
      m.a = static_cast<uint8_t>(m.a & row.value);
      m.zero = m.a == 0;
      m.carry = false;
      break;
    case Op::kDecA:
      m.zero = --m.a == 0;
      break;
    case Op::kLdi:
      m.hl += m.is_backward ? -1 : 1;
      m.de += m.is_backward ? -1 : 1;
      m.SetBc(m.bc() - 1u);
      m.is_bc_left = m.bc() != 0;
      break;
    default:
      return false;
  }
  return true;
}

// Runs the rows of the registers and flags; false when the row does not
// change them (jumps, calls, block copies are handled by the caller).
bool RunDataRow(Machine& m, const Row& row) {
  return RunLoadRow(m, row) || RunStackRow(m, row) || RunCountRow(m, row) || RunRotateRow(m, row) ||
         RunLongCopyRow(m, row);
}

bool HoldsCondition(const Machine& m, Op op) {
  switch (op) {
    case Op::kRetNz:
      return !m.zero;
    case Op::kRetZ:
    case Op::kJrZ:
      return m.zero;
    case Op::kJrC:
      return m.carry;
    case Op::kJrNc:
      return !m.carry;
    case Op::kRetStop:
    case Op::kJrStop:
      return m.carry != m.is_backward;
    case Op::kJrContinue:
    case Op::kCallContinue:
      return m.carry == m.is_backward;
    case Op::kJrNz:
      return !m.zero;
    case Op::kJpPe:
      return m.is_bc_left;
    default:
      break;
  }
  return true;
}

// Steps the program from row index at; returns the next row, or -1 when the
// decoder has returned to its caller.
int64_t Step(Machine& m, const std::vector<Row>& rows, const std::map<std::string, int64_t>& labels,
             int64_t at, int64_t& nops) {
  const Row& row = rows[static_cast<size_t>(at)];
  const OpCost& cost = CostOf(row.op);
  if (RunDataRow(m, row)) {
    nops += cost.nops;
    return at + 1;
  }
  if (row.op == Op::kBlockCopy) {
    const int64_t count = m.bc() == 0 ? 65536 : m.bc();
    nops += cost.nops * count - (cost.nops - cost.nops_taken);
    m.hl += m.is_backward ? -count : count;
    m.de += m.is_backward ? -count : count;
    m.SetBc(0);
    m.is_bc_left = false;
    return at + 1;
  }
  const bool holds = HoldsCondition(m, row.op);
  nops += holds ? cost.nops_taken : cost.nops;
  if (!holds) return at + 1;
  if (row.op == Op::kCall || row.op == Op::kCallContinue) m.stack.push_back(at + 1);
  if (row.op == Op::kRet || row.op == Op::kRetNz || row.op == Op::kRetZ || row.op == Op::kRetStop) {
    return m.Pop();
  }
  return labels.at(row.target);
}

}  // namespace

int ZX0DecoderBytes(Zx0Decoder decoder, Zx0Direction direction) {
  return ProgramBytes(DecoderProgram(decoder, direction));
}

void SpellZX0Decoder(SourceText& source, Zx0Decoder decoder, Zx0Direction direction, const std::string& label) {
  const Program program = DecoderProgram(decoder, direction);
  const bool is_backward = direction == Zx0Direction::kBackward;
  SpellHeaderComment(source, decoder, direction, ProgramBytes(program));
  const RoutineEntry entry{label, "const unsigned char *stream, unsigned char *destination", "AF, BC, DE, HL",
                           false, std::nullopt};
  if (source.names.syntax != SourceSyntax::kWinApe) AddCallerNote(source, direction);
  StartRoutine(source, entry);
  const std::string prefix = label + "_";
  for (const Row& row : program.rows) {
    if (row.op != Op::kRet) {
      SpellRow(source, row, is_backward, prefix);
      continue;
    }
    for (const std::string& name : row.labels) AddCodeLabel(source, prefix + name);
    AddReturn(source, entry);
  }
}

int64_t ZX0DecoderNops(Zx0Decoder decoder, Zx0Direction direction, std::span<const uint8_t> stream) {
  const Program program = DecoderProgram(decoder, direction);
  std::map<std::string, int64_t> labels;
  for (size_t k = 0; k < program.rows.size(); ++k) {
    for (const std::string& name : program.rows[k].labels) labels[name] = static_cast<int64_t>(k);
  }
  Machine machine;
  machine.stream = stream;
  machine.is_backward = direction == Zx0Direction::kBackward;
  machine.hl = machine.is_backward ? static_cast<int64_t>(stream.size()) - 1 : 0;
  machine.stack.push_back(-1);
  int64_t nops = 0;
  for (int64_t at = 0; at >= 0 && !machine.has_faulted;) {
    at = Step(machine, program.rows, labels, at, nops);
    if (at >= static_cast<int64_t>(program.rows.size())) return -1;
  }
  return machine.has_faulted ? -1 : nops;
}
