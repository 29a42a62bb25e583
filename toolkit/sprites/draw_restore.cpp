#include "toolkit/sprites/draw_restore.h"

#include <string_view>

#include "common/assembler_label.h"
#include "common/cpc_pixels.h"
#include "common/line_output.h"
#include "common/number_text.h"
#include "common/refusal.h"
#include "toolkit/sprites/z80_instruction.h"

namespace {

constexpr char kPrefix[] = "GenerateDrawRestoreCode : ";
constexpr int kMaxLines = 8;           // one character row of the CPC screen
constexpr int kPageBytes = 256;        // "inc E" cannot leave a 256-byte page
constexpr int kLineStepHigh = 0x08;    // the next pixel line of a character row is #800 further

// "ld BC,nn" takes 10 T-states, 3 NOP units once stretched, but it is counted
// as 4 here as in the compiled sprites' figures: the totals err on the safe side.
constexpr InstructionRow kLoadFilters{"ld BC,", 3, 4};
constexpr int kFilters = 0x55AA;
constexpr InstructionRow kReadScreen{"ld A,(HL)", 1, 2};
constexpr InstructionRow kSaveByte{"ld (DE),A", 1, 2};
constexpr InstructionRow kReadSaved{"ld A,(DE)", 1, 2};
constexpr InstructionRow kStepWord{"inc DE", 1, 2};
constexpr InstructionRow kStepByte{"inc E", 1, 1};
constexpr InstructionRow kKeepLeft{"and C", 1, 1};
constexpr InstructionRow kKeepRight{"and B", 1, 1};
constexpr InstructionRow kOrInk{"or ", 2, 2};
constexpr InstructionRow kWriteScreen{"ld (HL),A", 1, 2};
constexpr InstructionRow kStoreDirect{"ld (HL),", 2, 3};
constexpr InstructionRow kNextColumn{"inc HL", 1, 2};
constexpr InstructionRow kHighToA{"ld A,H", 1, 1};
constexpr InstructionRow kAddToA{"add A,", 2, 2};
constexpr InstructionRow kSubFromA{"sub ", 2, 2};
constexpr InstructionRow kAToHigh{"ld H,A", 1, 1};
constexpr InstructionRow kReturn{"ret", 1, 3};

// C calls both routines with the screen byte in HL and the buffer in DE,
// as SDCC 4.2 passes a first and a second 16-bit argument.
constexpr std::string_view kParameters = "unsigned char *screen, unsigned char *buffer";
constexpr std::string_view kDrawChanges = "AF, BC, DE, HL";
constexpr std::string_view kRestoreChanges = "AF, DE, HL";

// Where HL points: a byte column and a pixel line of the character row.
struct ScreenPosition {
  int column = 0;
  int line = 0;
};

// Brings HL from `from` to `to`: "inc HL" per byte column to the right (the
// walk never goes left), then H moved by #08 per pixel line through A, which
// the pair blocks reload anyway.
void EmitMove(RoutineBody& routine, ScreenPosition from, ScreenPosition to) {
  for (int column = from.column; column < to.column; ++column) routine.Emit(kNextColumn);
  const int line_step = to.line - from.line;
  if (line_step == 0) return;
  routine.Emit(kHighToA);
  if (line_step > 0) {
    routine.Emit(kAddToA, HexNumber(line_step * kLineStepHigh, 2));
  } else {
    routine.Emit(kSubFromA, HexNumber(-line_step * kLineStepHigh, 2));
  }
  routine.Emit(kAToHigh);
}

void EmitPairDraw(RoutineBody& draw, uint8_t left, uint8_t right, bool word_pointer) {
  draw.Emit(kReadScreen);
  draw.Emit(kSaveByte);
  draw.Emit(word_pointer ? kStepWord : kStepByte);
  const uint8_t screen_byte = EncodeMode0Byte(left, right);
  if (left == 0 || right == 0) {
    // One pixel is transparent: keep the background's half of the byte
    // (C = #AA holds the left pixel's bits, B = #55 the right one's).
    draw.Emit(left == 0 ? kKeepLeft : kKeepRight);
    draw.Emit(kOrInk, HexNumber(screen_byte, 0));
    draw.Emit(kWriteScreen);
  } else {
    draw.Emit(kStoreDirect, SpacedDecimalNumber(screen_byte));
  }
}

void EmitPairRestore(RoutineBody& restore, bool word_pointer) {
  restore.Emit(kReadSaved);
  restore.Emit(kWriteScreen);
  restore.Emit(word_pointer ? kStepWord : kStepByte);
}

// "draw_" or "restore_" in front of the file's own name, so that a name in
// a folder ("art/ship.asm") stays in that folder ("art/draw_ship.asm").
std::string RoutineFileName(std::string_view prefix, const std::string& output_name) {
  const size_t name_start = output_name.find_last_of('/') + 1;  // npos + 1 is 0
  return output_name.substr(0, name_start) + std::string(prefix) + output_name.substr(name_start);
}

// The closing comment lines that report a routine's cost.
void AddTotals(SourceText& source, int32_t time_nops, int32_t size_bytes) {
  AddComment(source, " total time " + SpacedDecimal(time_nops) + " nops");
  AddComment(source, " total size " + SpacedDecimal(size_bytes) + " bytes");
}

// Both routines, walked together over the pairs of pixels with ink.
struct DrawRestoreWalk {
  RoutineBody draw;
  RoutineBody restore;
  int32_t buffer_bytes = 0;
};

// Column by column, each from its top line down; HL moves only to the pairs
// that have ink, and the restore routine walks the same way so that the
// saved bytes come back in the order they were saved.
DrawRestoreWalk WalkPairs(const Picture& pixels, int width, int height, bool word_pointer) {
  DrawRestoreWalk walk;
  walk.draw.Emit(kLoadFilters, HexNumber(kFilters, 4), "filters");
  ScreenPosition draw_at;
  ScreenPosition restore_at;
  for (int column = 0; column < width / 2; ++column) {
    walk.draw.Comment("column " + SpacedDecimal(column));
    for (int line = 0; line < height; ++line) {
      const uint8_t left = static_cast<uint8_t>(pixels.At(2 * column, line) & 15);
      const uint8_t right = static_cast<uint8_t>(pixels.At(2 * column + 1, line) & 15);
      if (left == 0 && right == 0) continue;
      const ScreenPosition pair{column, line};
      EmitMove(walk.draw, draw_at, pair);
      EmitMove(walk.restore, restore_at, pair);
      draw_at = restore_at = pair;
      EmitPairDraw(walk.draw, left, right, word_pointer);
      EmitPairRestore(walk.restore, word_pointer);
      ++walk.buffer_bytes;
    }
  }
  walk.draw.Emit(kReturn);
  walk.restore.Emit(kReturn);
  return walk;
}

// The draw file: entry, the comments on its registers, body, figures, and
// the sizes a program needs (sdasz80 and its C header).
std::vector<SourceFile> SpellDraw(const DrawRestoreWalk& walk, const std::string& label_name,
                                  bool word_pointer, SourceSyntax syntax, const std::string& asm_path,
                                  int width, int height) {
  SourceText source = StartSource(asm_path, SourceContent::kCode, syntax);
  const std::string name = "draw_" + label_name;
  StartRoutine(source, RoutineEntry{name, kParameters, kDrawChanges, false, std::nullopt});
  AddComment(source, " entry: HL = first screen byte of a character row, DE = buffer");
  AddComment(source, word_pointer ? " DE steps with inc DE: the buffer may lie anywhere"
                                  : " DE steps with inc E: the buffer must not cross a 256-byte page");
  AddSteps(source, walk.draw.steps);
  AddTotals(source, walk.draw.time_nops, walk.draw.size_bytes);
  AddComment(source, " buffer size " + SpacedDecimal(walk.buffer_bytes) + " bytes");
  AddEquate(source, name + "_WIDTH", width / 2);
  AddEquate(source, name + "_HEIGHT", height);
  AddEquate(source, name + "_BUFFER_SIZE", walk.buffer_bytes);
  return FinishSource(source);
}

std::vector<SourceFile> SpellRestore(const DrawRestoreWalk& walk, const std::string& label_name,
                                     SourceSyntax syntax, const std::string& asm_path) {
  SourceText source = StartSource(asm_path, SourceContent::kCode, syntax);
  StartRoutine(source,
               RoutineEntry{"restore_" + label_name, kParameters, kRestoreChanges, false, std::nullopt});
  AddComment(source,
             " entry: HL = first screen byte of a character row, DE = buffer the draw routine filled");
  AddSteps(source, walk.restore.steps);
  AddTotals(source, walk.restore.time_nops, walk.restore.size_bytes);
  return FinishSource(source);
}

Refusal SizeRefusal(const Picture& pixels, int width, int height) {
  if (width % 2 != 0) return "Requested width must multiple of 2";
  if (height > kMaxLines) return "Requested height can not be higher than 8 - use sprites for bigger objets";
  if (width > pixels.width) {
    return "Requested width can not be larger than source width (" + SpacedDecimal(pixels.width) + ")";
  }
  if (height > pixels.height) {
    return "Requested height can not be larger than source height (" + SpacedDecimal(pixels.height) + ")";
  }
  if (width < 0 || height < 0) return "Requested size can not be negative";
  return std::nullopt;
}

bool UsesWordPointer(int width, int height, WordPointerChoice choice) {
  if (choice == WordPointerChoice::kYes) return true;
  if (int64_t{width} * height / 2 <= kPageBytes) return false;
  PrintLine("Warning ! buffer size may exceed page size");
  if (choice == WordPointerChoice::kNo) return false;
  PrintLine("force word pointer (Y/ANY) ?");
  return UpperAscii(ReadConsoleLine()) == "Y";
}

}  // namespace

DrawRestoreCode GenerateDrawRestoreLines(const Picture& pixels, int width, int height,
                                         const std::string& label_name, bool word_pointer,
                                         SourceSyntax syntax, const std::string& output_name) {
  const DrawRestoreWalk walk = WalkPairs(pixels, width, height, word_pointer);
  DrawRestoreCode code;
  code.draw_time_nops = walk.draw.time_nops;
  code.draw_size_bytes = walk.draw.size_bytes;
  code.buffer_bytes = walk.buffer_bytes;
  code.restore_time_nops = walk.restore.time_nops;
  code.restore_size_bytes = walk.restore.size_bytes;
  code.draw_files =
      SpellDraw(walk, label_name, word_pointer, syntax, RoutineFileName("draw_", output_name), width, height);
  code.restore_files = SpellRestore(walk, label_name, syntax, RoutineFileName("restore_", output_name));
  code.draw_lines = SourceLines(code.draw_files[0].text);
  code.restore_lines = SourceLines(code.restore_files[0].text);
  return code;
}

bool GenerateDrawRestoreCode(const std::string& source_path, const std::string& output_name, int width,
                             int height, WordPointerChoice choice) {
  // The name becomes a label and a file name; a line break would split the label's line.
  if (const Refusal refusal = SourceNameRefusal(output_name, SourceContent::kCode, ChosenSyntax())) {
    PrintLine(kPrefix + *refusal);
    return false;
  }
  const std::optional<Picture> source = LoadSourceImage(source_path, 2);
  if (!source) return false;
  if (const Refusal refusal = SizeRefusal(*source, width, height)) {
    PrintLine(*refusal);
    return false;
  }
  const bool word_pointer = UsesWordPointer(width, height, choice);
  const DrawRestoreCode code =
      GenerateDrawRestoreLines(*source, width, height, LabelNamePart(WithoutExtension(output_name)),
                               word_pointer, ChosenSyntax(), output_name);
  std::vector<SourceFile> files = code.draw_files;
  files.insert(files.end(), code.restore_files.begin(), code.restore_files.end());
  if (const Refusal refusal = WriteSourceFiles(files)) {
    PrintLine(kPrefix + *refusal);
    return false;
  }
  return true;
}
