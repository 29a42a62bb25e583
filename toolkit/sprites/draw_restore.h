// Masked draw code for small mode 0 objects (at most 8 lines, one character
// row of the CPC screen), pen 0 transparent, with a companion routine that
// puts back the background bytes the draw routine saved.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "toolkit/source_image.h"

struct DrawRestoreCode {
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
// page). Pure: prints and writes nothing.
DrawRestoreCode GenerateDrawRestoreLines(const Picture& pixels, int width, int height,
                                         const std::string& label_name, bool word_pointer);

// Loads source_path (8-bit BMP, width a multiple of 2), checks the requested
// size, asks "force word pointer (Y/ANY) ?" when the buffer may pass 256
// bytes, and writes "draw_" + output_name and "restore_" + output_name.
// Refusals print one line and write nothing. True when both files were written.
bool GenerateDrawRestoreCode(const std::string& source_path, const std::string& output_name, int width,
                             int height);
