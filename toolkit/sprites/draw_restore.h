// Masked draw code for small mode 0 objects (at most 8 lines, one character
// row of the CPC screen), pen 0 transparent, with a companion routine that
// puts back the background bytes the draw routine saved.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "common/source_dialect.h"
#include "toolkit/source_image.h"

struct DrawRestoreCode {
  std::vector<SourceFile> draw_files;      // the draw source (and its header, sdasz80)
  std::vector<SourceFile> restore_files;   // the restore source (and its header)
  std::vector<std::string> draw_lines;     // the whole draw file
  std::vector<std::string> restore_lines;  // the whole restore file
  int32_t draw_time_nops = 0;              // the draw routine, from its first instruction to its ret
  int32_t draw_size_bytes = 0;
  int32_t buffer_bytes = 0;                // background bytes saved
  int32_t restore_time_nops = 0;
  int32_t restore_size_bytes = 0;
};

// The two routines for the top-left width x height pixels of pixels (width
// even, height at most 8, both within the picture), labelled "draw_" and
// "restore_" + label_name. With word_pointer the buffer pointer steps with
// "inc DE", otherwise with "inc E" (the buffer must then stay in one 256-byte
// page). In syntax, the files named after output_name as
// GenerateDrawRestoreCode names them; C calls them as draw_NAME(screen,
// buffer), the screen byte in HL and the buffer in DE. Pure: prints and
// writes nothing.
DrawRestoreCode GenerateDrawRestoreLines(const Picture& pixels, int width, int height,
                                         const std::string& label_name, bool word_pointer,
                                         SourceSyntax syntax = SourceSyntax::kWinApe,
                                         const std::string& output_name = "sprite.asm");

// How the word-pointer question is settled: asked on the console when the
// buffer may pass 256 bytes (end of input is no), or answered in advance.
// kYes steps the buffer with "inc DE" whatever its size (a small buffer that
// crosses a page needs it too); kNo and kAsk's no use "inc E".
enum class WordPointerChoice { kAsk, kYes, kNo };

// Loads source_path (8-bit BMP, width a multiple of 2), checks the requested
// size, settles the word pointer by choice and writes "draw_" and "restore_"
// + output_name's last path component, in output_name's folder, in the
// chosen syntax (see SourceOutputNames), all files as one group. The labels
// are made from output_name without its ".asm" by LabelNamePart. Refuses an
// output name that can not become those names (SourceNameRefusal). Refusals
// print one line and write nothing. True when both files were written.
bool GenerateDrawRestoreCode(const std::string& source_path, const std::string& output_name, int width,
                             int height, WordPointerChoice choice = WordPointerChoice::kAsk);
