// Software sprites for every CPC: a sheet cut into frames of screen bytes in
// the mode's own layout, optionally with a mask byte before each data byte
// and with each frame followed by its mirror image, plus the source that
// names the frames.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "common/picture.h"
#include "common/refusal.h"
#include "common/source_dialect.h"

// What the options after the size ask for.
struct SheetOptions {
  bool has_mask = false;
  int mask_pen = 0;          // the transparent pen, when has_mask
  bool is_mirrored = false;  // each frame followed by its mirror image
  int64_t count = 0;         // frames to take; 0 takes every whole frame
};

// Reads "--mask=PEN", "--mirror" and "--count=N" in any order. Refuses an
// unknown option, a value that is not plain decimal digits, a count of 0 and
// a PEN beyond the pens of mode (0, 1 or 2).
Checked<SheetOptions> ReadSheetOptions(const std::vector<std::string>& options, int mode);

// Where the frames lie on the sheet and what they take in the output.
struct SheetCut {
  int mode = 0;
  int frame_width_px = 0;
  int frame_height = 0;
  int columns = 0;                     // whole frames across the sheet
  int64_t frames_cut = 0;              // frames taken from the sheet, in reading order
  int width_bytes = 0;                 // bytes of one frame line, masks left out
  int line_bytes = 0;                  // bytes of one frame line in the output, masks included
  int64_t frame_bytes = 0;             // one frame in the output, masks included
  int64_t frame_count = 0;             // frames in the output, mirror images included
  std::vector<uint32_t> masked_pairs;  // with a mask: the packers' table for it (MaskedPairTable)
};

// The cut of frames of width_px x height pixels from a sheet of
// sheet_width x sheet_height pixels. Refuses a width that is not a whole
// number of the mode's bytes, a size that is not positive, a frame larger
// than the sheet and a count beyond the whole frames there are.
Checked<SheetCut> PlanSheetCut(int sheet_width, int sheet_height, int mode, int width_px, int height,
                               const SheetOptions& options);

// The first pen of band's frames (band a row of frames, 0 at the top) that
// the mode cannot show, with where it is.
Refusal BandPenRefusal(const Picture& sheet, const SheetCut& cut, int64_t band);

// Rows of frames on the sheet that the cut takes from (the last one may be
// partly taken).
int64_t SheetBandCount(const SheetCut& cut);

// The bytes PackSheetBand writes for band.
size_t SheetBandBytes(const SheetCut& cut, const SheetOptions& options, int64_t band);

// The frames of band (a row of frames, 0 at the top) at out, which has room
// for SheetBandBytes, one after another, each frame's lines from the top:
// (mask, data) byte pairs when options.has_mask, every frame followed by its
// mirror image when options.is_mirrored. Returns the OR of the band's pens:
// one at or above the mode's pen count means a pen the mode can not show,
// and BandPenRefusal says where.
uint8_t PackSheetBand(const Picture& sheet, const SheetCut& cut, const SheetOptions& options, int64_t band,
                      uint8_t* out);

// The facts the source file gives about the frames.
struct SheetSource {
  std::string label;      // the name part of every label
  std::string data_path;  // the frames' file, included as written
  SheetCut cut;
  SheetOptions options;
};

// The source that names the frames, in text's dialect: the layout comments,
// the size equates, the frames as the array source.label (WinApe includes
// source.data_path, the other dialects hold frames, that file's bytes), a
// label on each frame (label_0, label_1, ...) and label_table, their
// addresses.
void DescribeSheet(SourceText& text, const SheetSource& source, std::span<const uint8_t> frames);

// gravik sheet0/sheet1/sheet2: cuts source_path (8-bit BMP) into frames of
// width_px x height pixels in mode 0, 1 or 2 and writes name + ".spr" and
// name + "_spr.asm" (.s or .c and .h in the chosen dialect) as one group, the labels made from name by the
// label rule. Refusals (bad options, a name that can not be quoted in the source, the refusals of the
// planners above) print one line and write nothing. True when both files were written.
bool CutSpriteSheet(const std::string& source_path, const std::string& name, int mode, int width_px,
                    int height, const std::vector<std::string>& options);
