// One instruction of the Z80 code the sprite generators write, and what it
// costs on the CPC, where the Gate Array stretches every instruction to whole
// microseconds (NOP cycles). Emitting a line and adding its cost go together,
// so the totals a file reports cannot drift from the code it holds.
#pragma once

#include <string>
#include <string_view>

struct InstructionRow {
  std::string_view text;
  int bytes;
  int nops;
};

// A tab, the instruction text, then operand and comment as given.
inline std::string InstructionLine(const InstructionRow& row, std::string_view operand = {},
                                   std::string_view comment = {}) {
  std::string line = "\t";
  line += row.text;
  line += operand;
  line += comment;
  return line;
}
