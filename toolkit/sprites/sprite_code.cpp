#include "toolkit/sprites/sprite_code.h"

#include <string_view>
#include <utility>

#include "common/assembler_label.h"
#include "common/number_text.h"
#include "toolkit/sprites/z80_instruction.h"

namespace {

constexpr char kPrefix[] = "CompileSprite : ";
constexpr char kRegisterNames[] = "ABCDE";
constexpr int kRegisterCount = 5;

constexpr InstructionRow kIncL{"inc L", 1, 1};
constexpr InstructionRow kLoadL{"ld L,", 2, 2};
constexpr InstructionRow kStoreRegister{"ld (HL),", 1, 2};
// The block's hardware ignores the high four bits, so L itself is a valid
// store of the pen that equals its low four bits.
constexpr InstructionRow kStoreL{"ld (HL),L ;special case with varying L", 1, 2};
constexpr InstructionRow kStoreImmediate{"ld (HL),#", 2, 3};
constexpr InstructionRow kXorA{"xor A", 1, 1};
constexpr InstructionRow kLoadA{"ld A,#", 2, 2};
// A 16-bit load takes 3 NOP cycles; the figures have always counted it as 4.
constexpr InstructionRow kLoadBC{"ld BC,#", 3, 4};
constexpr InstructionRow kLoadDE{"ld DE,#", 3, 4};
constexpr InstructionRow kRet{"ret", 1, 3};

// Pixel work (moves and stores) is summed into the sprite size and time.
void Emit(SpriteCode& code, const InstructionRow& row, std::string_view operand = {},
          std::string_view comment = {}) {
  code.lines.push_back(InstructionLine(row, operand, comment));
  code.size_bytes += row.bytes;
  code.time_nops += row.nops;
}

// The register set-up and the ret count only in the extra time.
void EmitExtra(SpriteCode& code, const InstructionRow& row, std::string_view operand = {}) {
  code.lines.push_back(InstructionLine(row, operand));
  code.extra_time_nops += row.nops;
}

void EmitRegisterSetUp(SpriteCode& code) {
  const RegisterColours& r = code.registers;
  if (r[0] == 0) {
    EmitExtra(code, kXorA);
  } else {
    EmitExtra(code, kLoadA, Hex(r[0]));
  }
  EmitExtra(code, kLoadBC, Hex(r[1], 2) + Hex(r[2], 2));
  EmitExtra(code, kLoadDE, Hex(r[3], 2) + Hex(r[4], 2));
  code.lines.emplace_back(";init is done, let's write pixels");
}

void EmitStore(SpriteCode& code, uint8_t colour, int current_l) {
  const std::string comment = " ;L=" + PlainDecimal(current_l);
  for (int slot = 0; slot < kRegisterCount; ++slot) {
    if (code.registers[slot] == colour) {
      Emit(code, kStoreRegister, std::string_view(&kRegisterNames[slot], 1), comment);
      return;
    }
  }
  if ((current_l & 15) == colour) {
    Emit(code, kStoreL, {}, comment);
  } else {
    Emit(code, kStoreImmediate, Hex(colour), comment);
  }
}

// L only ever moves forward: one step costs an "inc L", a longer one an
// absolute "ld L,n" (the block sits on a 256-byte boundary).
void EmitPixels(SpriteCode& code, const SpritePixels& pixels) {
  int current_l = 0;
  int pending_step = 0;
  for (int p = 0; p < kSpritePixels; ++p) {
    if (pixels[p] == kLeaveAlone) {
      ++pending_step;
      continue;
    }
    current_l += pending_step;
    if (pending_step == 1) {
      Emit(code, kIncL);
    } else if (pending_step >= 2) {
      Emit(code, kLoadL, PlainDecimal(current_l));
    }
    EmitStore(code, SpriteColour(pixels[p]), current_l);
    pending_step = 1;
  }
}

void EmitClosing(SpriteCode& code) {
  EmitExtra(code, kRet);
  code.lines.push_back("; sprite size =" + PlainDecimal(code.size_bytes) + " bytes - 256LDI=512");
  code.lines.push_back("; sprite time =" + PlainDecimal(code.time_nops) + " nops  - 256LDI=1280");
  code.lines.push_back("; extra  time =" + PlainDecimal(code.extra_time_nops) + " nops");
  code.lines.emplace_back("; timing & sizing are init/ret excluding");
}

}  // namespace

RegisterColours PickRegisterColours(const SpritePixels& pixels) {
  std::array<int32_t, 16> counts{};
  for (const uint8_t pixel : pixels) {
    if (pixel != kLeaveAlone) ++counts[SpriteColour(pixel)];
  }
  RegisterColours registers{};
  for (uint8_t& slot : registers) {
    int32_t best = -1;
    for (int colour = 0; colour < 16; ++colour) {
      if (counts[colour] > best) {
        best = counts[colour];
        slot = static_cast<uint8_t>(colour);
      }
    }
    counts[slot] = -1;
  }
  // Pen 0 in A costs a one-byte "xor A".
  for (int slot = 1; slot < kRegisterCount && registers[0] != 0; ++slot) {
    if (registers[slot] == 0) std::swap(registers[0], registers[slot]);
  }
  return registers;
}

SpriteCode GenerateSpriteCode(const SpritePixels& pixels, const std::string& label_name, int options) {
  SpriteCode code;
  code.registers = PickRegisterColours(pixels);
  EmitRegisterSetUp(code);
  EmitPixels(code, pixels);
  EmitClosing(code);
  std::vector<std::string> header = {"update_" + label_name + ":"};
  if ((options & kWithTotalTime) != 0) {
    header.push_back("\tdw " + PlainDecimal(code.time_nops + code.extra_time_nops) + " ;total time");
  }
  code.lines.insert(code.lines.begin(), header.begin(), header.end());
  return code;
}

WrittenSpriteCode WriteSpriteCode(const SpritePixels& pixels, const std::string& output_path, int options) {
  const SpriteCode code = GenerateSpriteCode(pixels, LabelNamePart(WithoutExtension(output_path)), options);
  WrittenSpriteCode written;
  written.register_lines.emplace_back("pix list for this sprite :");
  for (int slot = 0; slot < kRegisterCount; ++slot) {
    written.register_lines.push_back(std::string(1, kRegisterNames[slot]) + ":" +
                                     SpacedDecimal(code.registers[slot]));
  }
  written.status = WriteTextFile(output_path, code.lines);
  return written;
}

bool CompileSprite(const std::string& source_path, const std::string& output_path, int options) {
  if (const Refusal refusal = SourceTextRefusal("Name", output_path)) {
    PrintLine(kPrefix + *refusal);
    return false;
  }
  const std::optional<Picture> source = LoadSpriteSource(source_path);
  if (!source) return false;
  const WrittenSpriteCode written = WriteSpriteCode(ReadSpritePixels(*source), output_path, options);
  for (const std::string& line : written.register_lines) PrintLine(line);
  if (written.status != WriteStatus::kOk) {
    PrintLine(kPrefix + WriteFailureText(written.status, output_path));
    return false;
  }
  return true;
}
