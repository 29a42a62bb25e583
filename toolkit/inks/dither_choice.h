// The inks of a dithered picture. Error diffusion and the ordered dither mix
// neighbouring inks, which the eye sees as the colours between them; the inks
// that minimise the undithered error are the nearest to the picture's colours,
// not those whose mixtures make them (a grey texture gets one grey ink and
// comes out flat, a photograph leaves pens unused). So with a dither the
// choice is judged by what is shown: the chosen inks are improved by adding
// inks to unused pens and swapping inks, while the seen error (SeenError) of
// a dithered sample of the picture drops.
#pragma once

#include <vector>

#include "toolkit/inks/ink_mapping.h"

// The keys, ascending, of at most n inks for the opaque pixels, starting from
// keys (the undithered choice); pens from first_opaque_pen and is_exact as
// PenMap's is_exact_under_dither, for the whole picture.
// The same picture always gives the same inks.
std::vector<int> InksForDither(const PictureRef& picture, ColourModel model, Dither dither, int first_opaque_pen,
                               bool is_exact, std::vector<int> keys, int n);
