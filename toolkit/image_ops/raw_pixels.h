// A whole picture as one byte a pixel (".px8"): rows from the top, no header,
// each byte the pen's low 4 bits, for CPC code that unpacks or draws itself.
#pragma once

#include <string>

// gravik raw: source_path (8-bit BMP, any width) to output_path.
// Returns true when the output file was written.
bool ExtractRawPixels(const std::string& source_path, const std::string& output_path);
