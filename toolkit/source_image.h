// Loading of the 8-bit BMP sources of the image commands, with the two source
// lines every image command prints and the checks they share.
#pragma once

#include <optional>
#include <string>

#include "common/picture.h"

// The CPC+ hardware sprites, and so every sprite command, work on 16 x 16 pixels.
inline constexpr int kSpriteSide = 16;

// Loads path as a BMP and prints "source : " + path and the size line. Refuses,
// with one console line, a missing, damaged or unreadable file (before the
// source lines), a depth other than 8 bits and a width that is not a multiple
// of width_multiple. The one loader that prints: its lines are part of every
// image command's output.
std::optional<Picture> LoadSourceImage(const std::string& path, int width_multiple);

// As LoadSourceImage, but the picture must be exactly 16 x 16 pixels.
std::optional<Picture> LoadSpriteSource(const std::string& path);
