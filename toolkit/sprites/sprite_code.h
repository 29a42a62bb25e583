// Compiled sprites: a Z80 routine that stores each visible pixel of a 16 x 16
// sprite block with the cheapest instruction that reaches it, the five most
// used pens held in A, B, C, D and E. The routine is called with HL at the
// block's first byte (a 256-byte boundary, so L = 0) and moves only L.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "common/line_output.h"
#include "common/refusal.h"
#include "common/source_dialect.h"
#include "toolkit/sprites/sprite_pixels.h"

// Pens held by the registers A, B, C, D, E, in that order; all different.
using RegisterColours = std::array<uint8_t, 5>;

// Bit 0 of the options: put the label and a "dw" of the total time in front.
inline constexpr int kWithTotalTime = 1;

// The five most used pens among the pixels that are not kLeaveAlone (ties to
// the lower pen, unused pens lowest first), pen 0 moved into A when chosen.
RegisterColours PickRegisterColours(const SpritePixels& pixels);

struct SpriteCode {
  RegisterColours registers{};
  std::vector<SourceFile> files;   // the source file (and its header, sdasz80)
  std::vector<std::string> lines;  // the whole source file, first line first
  int32_t size_bytes = 0;          // the moves and stores
  int32_t time_nops = 0;           // the moves and stores
  int32_t extra_time_nops = 0;     // register set-up and ret
};

// The routine for pixels (kLeaveAlone pixels are skipped) under the label
// "update_" + label_name, in syntax, for the output named asm_path (see
// SourceOutputNames). C calls it as update_NAME(block), the block's address
// in HL. Pure: prints nothing, writes nothing.
SpriteCode GenerateSpriteCode(const SpritePixels& pixels, const std::string& label_name, int options,
                              SourceSyntax syntax = SourceSyntax::kWinApe,
                              const std::string& asm_path = "sprite.asm");

struct WrittenSpriteCode {
  std::vector<std::string> register_lines;  // "pix list for this sprite :", then "A: n" to "E: n"
  Refusal refusal;  // "Can not create PATH" or "Can not write PATH" when a file failed
};

// Writes the routine to output_path in the chosen syntax (see SourceOutputNames;
// the label is made from the path without its last four characters, the
// ".asm", by LabelNamePart) and hands back the
// register list for the caller to print, with how the write went; the caller
// reports a failure under its own name, and has refused an output_path
// holding a control character.
WrittenSpriteCode WriteSpriteCode(const SpritePixels& pixels, const std::string& output_path, int options);

// gravik asm: the 16 x 16 source_path as a compiled sprite in output_path
// (the chosen syntax's names for it). Refuses an output_path that can not
// become those names (SourceNameRefusal). Returns true when the
// output was written.
bool CompileSprite(const std::string& source_path, const std::string& output_path, int options);
