// A picture scaled to another size in linear light, for the ink words' --fit
// and --size: sRGB channels are not light intensities, so averaging them
// darkens every mix (a fine black and white checker would become &80 grey, the
// CPC's White, where the eye sees &BC).
#pragma once

#include "common/image_io/colour_picture.h"

// source resampled to width x height (each at least 1) by a separable
// Catmull-Rom filter, widened by the reduction factor when shrinking so that
// every source pixel counts (an area average's smoothness, a cubic's
// sharpness when enlarging). Channels are weighted by alpha (a transparent
// pixel's colour does not bleed into its neighbours); edges repeat their
// last pixel. has_transparency is set anew from the scaled alpha.
ColourPicture ScaleInLinearLight(const ColourPicture& source, int width, int height);
