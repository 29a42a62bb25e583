// A FreeImage bitmap as the bytes of a BMP file, for outputs that go through
// the common writers (written aside, moved into place only when complete).
#pragma once

#include <FreeImage.h>

#include <cstdint>
#include <optional>
#include <vector>

// The BMP file FreeImage writes for image (flags 0), or none when the BMP
// writer refuses it (a pixel type or depth that BMP cannot hold).
std::optional<std::vector<uint8_t>> EncodeBmpFile(FIBITMAP* image);
