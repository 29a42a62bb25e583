// FreeImage helpers shared by both programs: ownership of bitmaps, and BMP
// output that goes through the common writers (written aside, moved into
// place only when complete).
#pragma once

#include <FreeImage.h>

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "common/picture_header.h"
#include "common/line_output.h"

struct FreeImageUnloader {
  void operator()(FIBITMAP* image) const { FreeImage_Unload(image); }
};
// Every FreeImage bitmap the programs obtain is held by one of these.
using ImagePtr = std::unique_ptr<FIBITMAP, FreeImageUnloader>;

// path loaded as a BMP through FreeImage once its headers have passed
// CheckBmpFile: FreeImage trusts the sizes it reads, so a damaged header could
// make it allocate gigabytes. Returns none for a refused or unreadable file;
// check, when given, tells which (kOk with none: FreeImage itself failed).
ImagePtr LoadBmpFile(const std::string& path, HeaderCheck* check = nullptr);

// The BMP file FreeImage writes for image (flags 0), or none when the BMP
// writer refuses it (a pixel type or depth that BMP cannot hold).
std::optional<std::vector<uint8_t>> EncodeBmpFile(FIBITMAP* image);

// image saved as a BMP file at path, written aside and put in place whole. A
// picture BMP cannot hold is kCannotWrite.
WriteStatus WriteBmpFile(FIBITMAP* image, const std::string& path);
