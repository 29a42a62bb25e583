// Bringing pictures drawn in other tools into the toolkit, whose image
// commands read BMP only.
#pragma once

#include <string>

// gravik bmp: loads input_path in the format its file name names (PNG, GIF,
// TGA, ...) and saves it unchanged as BMP to output_path, whatever that
// name's extension: same depth, same palette, no flip. The contents never
// choose the format, but they must match the one the name gives. Refuses,
// with one console line and nothing written, a name without a known
// extension, an input that is not readable in its format, and a picture BMP
// cannot hold (16 bits a channel, floats).
// Returns true when the BMP was written.
bool ChangeImageFormat(const std::string& input_path, const std::string& output_path);
