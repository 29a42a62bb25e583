// The size of the picture the ink words make: the source's own, one scaled
// to fit the mode's screen (--fit), or one of a given size (--size=WxH). A
// screen word stores a row as whole bytes: 2 pixels a byte in mode 0, 4 in
// mode 1, 8 in mode 2, so every width here is a multiple of that.
#pragma once

#include <string>

#include "common/refusal.h"
#include "toolkit/image_ops/linear_screen.h"

int PixelsPerByte(ScreenMode mode);

struct PictureSize {
  int width = 0;
  int height = 0;
};

// "WxH" in mode pixels: each 1 to 4096, the width a whole number of bytes
// and the whole at most 2^20 pixels (eight times a CPC's 64K of RAM in mode
// 0 pixels), which bounds the scaling's work and memory whatever the source.
// The refusal names the option as typed.
Checked<PictureSize> ParseSize(const std::string& value, ScreenMode mode);

// Where the scaled source lies on the screen it is centred on.
struct Placement {
  PictureSize scaled;  // the source's pixels once scaled
  PictureSize screen;  // the whole picture, filled with pen 0 around them
  int left = 0;
  int top = 0;
};

// The largest size of a source_width x source_height picture (square pixels)
// inside the mode's screen as the CPC shows it: 160 x 200, 320 x 200 or
// 640 x 200 pixels of 2:1, 1:1 and 1:2 shape, the same 4:3 area in each mode.
// The width is rounded to the nearest whole byte, the height to the nearest
// row; the picture is centred (left and top rounded down).
Placement FitOnScreen(int source_width, int source_height, ScreenMode mode);

// A width the screen words can not take, refused naming --fit; none for the others.
Refusal WidthRefusal(int width, ScreenMode mode);
