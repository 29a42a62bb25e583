#include "toolkit/sprites/draw_restore.h"

#include <string_view>

#include "common/assembler_label.h"
#include "common/cpc_pixels.h"
#include "common/file_path.h"
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
constexpr InstructionRow kLoadFilters{"ld BC,#55AA ;filters", 3, 4};
constexpr InstructionRow kReadScreen{"ld A,(HL)", 1, 2};
constexpr InstructionRow kSaveByte{"ld (DE),A", 1, 2};
constexpr InstructionRow kReadSaved{"ld A,(DE)", 1, 2};
constexpr InstructionRow kStepWord{"inc DE", 1, 2};
constexpr InstructionRow kStepByte{"inc E", 1, 1};
constexpr InstructionRow kKeepLeft{"and C", 1, 1};
constexpr InstructionRow kKeepRight{"and B", 1, 1};
constexpr InstructionRow kOrInk{"or #", 2, 2};
constexpr InstructionRow kWriteScreen{"ld (HL),A", 1, 2};
constexpr InstructionRow kStoreDirect{"ld (HL),", 2, 3};
constexpr InstructionRow kNextColumn{"inc HL", 1, 2};
constexpr InstructionRow kHighToA{"ld A,H", 1, 1};
constexpr InstructionRow kAddToA{"add A,#", 2, 2};
constexpr InstructionRow kSubFromA{"sub #", 2, 2};
constexpr InstructionRow kAToHigh{"ld H,A", 1, 1};
constexpr InstructionRow kReturn{"ret", 1, 3};

struct Routine {
  std::vector<std::string> lines;
  int32_t time_nops = 0;
  int32_t size_bytes = 0;

  void Emit(const InstructionRow& row, std::string_view operand = {}) {
    lines.push_back(InstructionLine(row, operand));
    time_nops += row.nops;
    size_bytes += row.bytes;
  }
};

// Where HL points: a byte column and a pixel line of the character row.
struct ScreenPosition {
  int column = 0;
  int line = 0;
};

// Brings HL from `from` to `to`: "inc HL" per byte column to the right (the
// walk never goes left), then H moved by #08 per pixel line through A, which
// the pair blocks reload anyway.
void EmitMove(Routine& routine, ScreenPosition from, ScreenPosition to) {
  for (int column = from.column; column < to.column; ++column) routine.Emit(kNextColumn);
  const int line_step = to.line - from.line;
  if (line_step == 0) return;
  routine.Emit(kHighToA);
  if (line_step > 0) {
    routine.Emit(kAddToA, Hex(static_cast<uint64_t>(line_step * kLineStepHigh), 2));
  } else {
    routine.Emit(kSubFromA, Hex(static_cast<uint64_t>(-line_step * kLineStepHigh), 2));
  }
  routine.Emit(kAToHigh);
}

void EmitPairDraw(Routine& draw, uint8_t left, uint8_t right, bool word_pointer) {
  draw.Emit(kReadScreen);
  draw.Emit(kSaveByte);
  draw.Emit(word_pointer ? kStepWord : kStepByte);
  const uint8_t screen_byte = EncodeMode0Byte(left, right);
  if (left == 0 || right == 0) {
    // One pixel is transparent: keep the background's half of the byte
    // (C = #AA holds the left pixel's bits, B = #55 the right one's).
    draw.Emit(left == 0 ? kKeepLeft : kKeepRight);
    draw.Emit(kOrInk, Hex(screen_byte));
    draw.Emit(kWriteScreen);
  } else {
    draw.Emit(kStoreDirect, SpacedDecimal(screen_byte));
  }
}

void EmitPairRestore(Routine& restore, bool word_pointer) {
  restore.Emit(kReadSaved);
  restore.Emit(kWriteScreen);
  restore.Emit(word_pointer ? kStepWord : kStepByte);
}

// "draw_" or "restore_" in front of the file's own name, so that a name in
// a folder ("art/ship.asm") stays in that folder ("art/draw_ship.asm").
std::string RoutineFileName(std::string_view prefix, const std::string& output_name) {
  return FolderOf(output_name) + std::string(prefix) + NameOf(output_name);
}

// The closing comment lines that report a routine's cost.
void AppendTotals(std::vector<std::string>& lines, int32_t time_nops, int32_t size_bytes) {
  lines.push_back("; total time " + SpacedDecimal(time_nops) + " nops");
  lines.push_back("; total size " + SpacedDecimal(size_bytes) + " bytes");
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
                                         const std::string& label_name, bool word_pointer) {
  Routine draw;
  Routine restore;
  draw.lines = {"draw_" + label_name + ":", "; entry: HL = first screen byte of a character row, DE = buffer"};
  draw.lines.emplace_back(word_pointer ? "; DE steps with inc DE: the buffer may lie anywhere"
                                       : "; DE steps with inc E: the buffer must not cross a 256-byte page");
  restore.lines = {"restore_" + label_name + ":",
                   "; entry: HL = first screen byte of a character row, DE = buffer the draw routine filled"};
  draw.Emit(kLoadFilters);
  int32_t buffer_bytes = 0;
  ScreenPosition draw_at;
  ScreenPosition restore_at;
  // Column by column, each from its top line down; HL moves only to the
  // pairs that have ink, and the restore routine walks the same way so that
  // the saved bytes come back in the order they were saved.
  for (int column = 0; column < width / 2; ++column) {
    draw.lines.push_back(";column " + SpacedDecimal(column));
    for (int line = 0; line < height; ++line) {
      const uint8_t left = static_cast<uint8_t>(pixels.At(2 * column, line) & 15);
      const uint8_t right = static_cast<uint8_t>(pixels.At(2 * column + 1, line) & 15);
      if (left == 0 && right == 0) continue;
      const ScreenPosition pair{column, line};
      EmitMove(draw, draw_at, pair);
      EmitMove(restore, restore_at, pair);
      draw_at = restore_at = pair;
      EmitPairDraw(draw, left, right, word_pointer);
      EmitPairRestore(restore, word_pointer);
      ++buffer_bytes;
    }
  }
  draw.Emit(kReturn);
  restore.Emit(kReturn);
  DrawRestoreCode code;
  code.draw_time_nops = draw.time_nops;
  code.draw_size_bytes = draw.size_bytes;
  code.buffer_bytes = buffer_bytes;
  code.restore_time_nops = restore.time_nops;
  code.restore_size_bytes = restore.size_bytes;
  code.draw_lines = std::move(draw.lines);
  AppendTotals(code.draw_lines, code.draw_time_nops, code.draw_size_bytes);
  code.draw_lines.push_back("; buffer size " + SpacedDecimal(buffer_bytes) + " bytes");
  code.restore_lines = std::move(restore.lines);
  AppendTotals(code.restore_lines, code.restore_time_nops, code.restore_size_bytes);
  return code;
}

bool GenerateDrawRestoreCode(const std::string& source_path, const std::string& output_name, int width,
                             int height, WordPointerChoice choice) {
  // The name becomes a label and a file name; a line break would split the label's line.
  if (const Refusal refusal = SourceTextRefusal("Name", output_name)) {
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
  const DrawRestoreCode code = GenerateDrawRestoreLines(
      *source, width, height, LabelNamePart(WithoutExtension(output_name)), word_pointer);
  const std::string draw_path = RoutineFileName("draw_", output_name);
  const std::string restore_path = RoutineFileName("restore_", output_name);
  AsideFile draw_file(draw_path);
  AsideFile restore_file(restore_path);
  for (const std::string& line : code.draw_lines) draw_file.WriteLine(line);
  for (const std::string& line : code.restore_lines) restore_file.WriteLine(line);
  const WriteStatus draw_status = draw_file.Commit();
  const WriteStatus restore_status = draw_status == WriteStatus::kOk ? restore_file.Commit() : draw_status;
  if (draw_status != WriteStatus::kOk) {
    PrintLine(kPrefix + WriteFailureText(draw_status, draw_path));
    return false;
  }
  if (restore_status != WriteStatus::kOk) {
    PrintLine(kPrefix + WriteFailureText(restore_status, restore_path));
    return false;
  }
  return true;
}
