// gravik ink0, ink1, ink2: any picture (PNG, GIF, JPEG, true colour, ...) to
// the pens and inks of a CPC screen mode: NAME.bmp (the 8-bit picture every
// other word takes), NAME_inks.asm (the inks to set) and NAME_preview.png
// (the picture as the CPC shows it).
#pragma once

#include <string>
#include <vector>

#include "toolkit/image_ops/linear_screen.h"

// source_path as typed; name without extension; options as typed after the
// two names (--inks=, --transparent=, --dither=, --strict, --plus,
// --preview=no). Prints the source, its size, a line per
// pen and the mean colour error, or one refusal line and writes nothing.
// Returns true when the outputs were written.
bool ConvertToInks(const std::string& source_path, const std::string& name, ScreenMode mode,
                   const std::vector<std::string>& options);
