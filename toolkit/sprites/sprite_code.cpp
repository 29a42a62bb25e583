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
constexpr InstructionRow kStoreRegister[kRegisterCount] = {
    {"ld (HL),A", 1, 2}, {"ld (HL),B", 1, 2}, {"ld (HL),C", 1, 2}, {"ld (HL),D", 1, 2}, {"ld (HL),E", 1, 2}};
// The block's hardware ignores the high four bits, so L itself is a valid
// store of the pen that equals its low four bits.
constexpr InstructionRow kStoreL{"ld (HL),L", 1, 2};
constexpr std::string_view kStoreLComment = "special case with varying L ;";
constexpr InstructionRow kStoreImmediate{"ld (HL),", 2, 3};
constexpr InstructionRow kXorA{"xor A", 1, 1};
constexpr InstructionRow kLoadA{"ld A,", 2, 2};
// A 16-bit load takes 3 NOP cycles; the figures have always counted it as 4.
constexpr InstructionRow kLoadBC{"ld BC,", 3, 4};
constexpr InstructionRow kLoadDE{"ld DE,", 3, 4};
constexpr InstructionRow kRet{"ret", 1, 3};

// The routine changes A, BC, DE and L (and the flags); HL comes from C's
// first argument, as SDCC 4.2 passes it.
constexpr std::string_view kParameters = "unsigned char *block";
constexpr std::string_view kChanges = "AF, BC, DE, L";

// Pixel work (moves and stores) is summed into the sprite size and time;
// the register set-up and the ret count only in the extra time.
struct SpriteBody {
  RoutineBody pixels;
  RoutineBody extra;
};

void EmitRegisterSetUp(RoutineBody& extra, const RegisterColours& r) {
  if (r[0] == 0) {
    extra.Emit(kXorA);
  } else {
    extra.Emit(kLoadA, HexNumber(r[0], 0));
  }
  extra.Emit(kLoadBC, HexNumber(r[1] << 8 | r[2], 4));
  extra.Emit(kLoadDE, HexNumber(r[3] << 8 | r[4], 4));
  extra.Comment("init is done, let's write pixels");
}

void EmitStore(RoutineBody& body, const RegisterColours& registers, uint8_t colour, int current_l) {
  const std::string at_l = "L=" + PlainDecimal(current_l);
  for (int slot = 0; slot < kRegisterCount; ++slot) {
    if (registers[slot] == colour) {
      body.Emit(kStoreRegister[slot], std::nullopt, at_l);
      return;
    }
  }
  if ((current_l & 15) == colour) {
    body.Emit(kStoreL, std::nullopt, std::string(kStoreLComment) + at_l);
  } else {
    body.Emit(kStoreImmediate, HexNumber(colour, 0), at_l);
  }
}

// L only ever moves forward: one step costs an "inc L", a longer one an
// absolute "ld L,n" (the block sits on a 256-byte boundary).
void EmitPixels(RoutineBody& body, const RegisterColours& registers, const SpritePixels& pixels) {
  int current_l = 0;
  int pending_step = 0;
  for (int p = 0; p < kSpritePixels; ++p) {
    if (pixels[p] == kLeaveAlone) {
      ++pending_step;
      continue;
    }
    current_l += pending_step;
    if (pending_step == 1) {
      body.Emit(kIncL);
    } else if (pending_step >= 2) {
      body.Emit(kLoadL, DecimalNumber(current_l));
    }
    EmitStore(body, registers, SpriteColour(pixels[p]), current_l);
    pending_step = 1;
  }
}

// The whole file: the entry (label and time word), the set-up, the pixels,
// the ret and the figures.
void SpellSprite(SourceText& source, const SpriteCode& code, const SpriteBody& body, const std::string& name,
                 int options) {
  RoutineEntry entry{name, kParameters, kChanges, false, std::nullopt};
  if ((options & kWithTotalTime) != 0) entry.time_word = DecimalNumber(code.time_nops + code.extra_time_nops);
  StartRoutine(source, entry);
  AddSteps(source, body.extra.steps);
  AddSteps(source, body.pixels.steps);
  AddReturn(source, entry);
  AddComment(source, " sprite size =" + PlainDecimal(code.size_bytes) + " bytes - 256LDI=512");
  AddComment(source, " sprite time =" + PlainDecimal(code.time_nops) + " nops  - 256LDI=1280");
  AddComment(source, " extra  time =" + PlainDecimal(code.extra_time_nops) + " nops");
  AddComment(source, " timing & sizing are init/ret excluding");
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

SpriteCode GenerateSpriteCode(const SpritePixels& pixels, const std::string& label_name, int options,
                              SourceSyntax syntax, const std::string& asm_path) {
  SpriteCode code;
  code.registers = PickRegisterColours(pixels);
  SpriteBody body;
  EmitRegisterSetUp(body.extra, code.registers);
  EmitPixels(body.pixels, code.registers, pixels);
  body.extra.Emit(kRet);
  code.size_bytes = body.pixels.size_bytes;
  code.time_nops = body.pixels.time_nops;
  code.extra_time_nops = body.extra.time_nops;
  body.extra.steps.pop_back();  // the ret is spelled by AddReturn, last
  SourceText source = StartSource(asm_path, SourceContent::kCode, syntax);
  SpellSprite(source, code, body, "update_" + label_name, options);
  code.files = FinishSource(source);
  code.lines = SourceLines(code.files[0].text);
  return code;
}

WrittenSpriteCode WriteSpriteCode(const SpritePixels& pixels, const std::string& output_path, int options) {
  const SpriteCode code = GenerateSpriteCode(pixels, LabelNamePart(WithoutExtension(output_path)), options,
                                             ChosenSyntax(), output_path);
  WrittenSpriteCode written;
  written.register_lines.emplace_back("pix list for this sprite :");
  for (int slot = 0; slot < kRegisterCount; ++slot) {
    written.register_lines.push_back(std::string(1, kRegisterNames[slot]) + ":" +
                                     SpacedDecimal(code.registers[slot]));
  }
  written.refusal = WriteSourceFiles(code.files);
  return written;
}

bool CompileSprite(const std::string& source_path, const std::string& output_path, int options) {
  if (const Refusal refusal = SourceNameRefusal(output_path, SourceContent::kCode, ChosenSyntax())) {
    PrintLine(kPrefix + *refusal);
    return false;
  }
  const std::optional<Picture> source = LoadSpriteSource(source_path);
  if (!source) return false;
  const WrittenSpriteCode written = WriteSpriteCode(ReadSpritePixels(*source), output_path, options);
  for (const std::string& line : written.register_lines) PrintLine(line);
  if (written.refusal) {
    PrintLine(kPrefix + *written.refusal);
    return false;
  }
  return true;
}
