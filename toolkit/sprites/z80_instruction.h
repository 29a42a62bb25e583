// One instruction of the Z80 code the sprite generators write, and what it
// costs on the CPC, where the Gate Array stretches every instruction to whole
// microseconds (NOP cycles). Emitting a line and adding its cost go together,
// so the totals a file reports cannot drift from the code it holds.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "common/source_dialect.h"

// text is the instruction up to its immediate ("ld (HL),"), or all of it.
struct InstructionRow {
  std::string_view text;
  int bytes;
  int nops;
};

// A line of a routine's body, kept until the routine is spelled in its dialect.
struct CodeStep {
  bool is_comment = false;
  std::string_view text;  // the instruction (or the comment's text)
  std::optional<SourceNumber> immediate;
  std::string comment;  // after the instruction, when not empty
};

// A routine's body and what its instructions cost.
struct RoutineBody {
  std::vector<CodeStep> steps;
  int32_t time_nops = 0;
  int32_t size_bytes = 0;

  void Emit(const InstructionRow& row, std::optional<SourceNumber> immediate = {}, std::string comment = {}) {
    steps.push_back(CodeStep{false, row.text, immediate, std::move(comment)});
    time_nops += row.nops;
    size_bytes += row.bytes;
  }
  // A comment line; text must outlive the body (a literal) unless kept in comment.
  void Comment(std::string text) { steps.push_back(CodeStep{true, {}, std::nullopt, std::move(text)}); }
};

// Appends the steps to source, each in the source's dialect.
inline void AddSteps(SourceText& source, const std::vector<CodeStep>& steps) {
  for (const CodeStep& step : steps) {
    if (step.is_comment) {
      AddComment(source, step.comment);
    } else {
      AddInstruction(source, step.text, step.immediate, step.comment);
    }
  }
}
