// Which chosen ink goes in pen 0 with --pen0. Pen 0 is the colour the CPC
// clears the screen to and, by default, shows in the border, so a picture on
// a white background wants white there: the ink nearest a given colour, or
// the ink of most of the picture's edge. Only the order of the pens changes,
// never which inks the picture has.
#pragma once

#include <cstddef>
#include <vector>

#include "toolkit/inks/ink_choice.h"

// The index in keys (the chosen inks) of the ink colour takes: the ink it IS
// (tolerance bands, CPC+ levels) when that was chosen, else the nearest in
// CIELAB, ties to the first. keys must not be empty.
size_t InkIndexOf(ColourModel model, const std::vector<int>& keys, Rgb colour);

// The index in keys of the ink most pixels along the picture's four edges
// take (its first and last rows and columns, each pixel once), ties to the
// first. The picture has no transparent pixel.
size_t EdgeInkIndex(const PictureRef& picture, ColourModel model, const std::vector<int>& keys);

// keys with keys[index] first and the others in their order.
std::vector<int> WithInkFirst(std::vector<int> keys, size_t index);
