// Ownership of FreeImage bitmaps: every bitmap the library hands back, in the
// programs, the tests, the fuzz targets and the sample maker, is held by one
// of these, so it is released on every path; so is every memory stream.
#pragma once

#include <FreeImage.h>

#include <memory>

struct BitmapUnloader {
  void operator()(FIBITMAP* image) const { FreeImage_Unload(image); }
};
using ImagePtr = std::unique_ptr<FIBITMAP, BitmapUnloader>;

struct MemoryCloser {
  void operator()(FIMEMORY* stream) const { FreeImage_CloseMemory(stream); }
};
using MemoryPtr = std::unique_ptr<FIMEMORY, MemoryCloser>;
