// The one place where pictures meet files: FreeImage is started, BMP files
// become pictures and pictures become BMP files here and nowhere else, so the
// rest of both programs works on plain records (common/picture.h).
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "common/line_output.h"
#include "common/picture.h"
#include "common/refusal.h"

// How a program hears the library's own diagnostics.
enum class ImageDiagnostics {
  kConsole,  // one console line each: "FIF:" + format number (spaced decimal) + " - MESSAGE:" + text
  kSilent,   // not at all
};

// Starts FreeImage for the life of the object.
class ImageLibrary {
 public:
  explicit ImageLibrary(ImageDiagnostics diagnostics);
  ~ImageLibrary();
  ImageLibrary(const ImageLibrary&) = delete;
  ImageLibrary& operator=(const ImageLibrary&) = delete;
};

// The library's own notice (its copyright line), unchanged.
std::string ImageLibraryNotice();

// The console line of one library diagnostic.
std::string ImageMessageLine(int format, const char* message);

// What a BMP file holds: its size and depth always; its pens and palette
// (picture) when it is 8 bits a pixel and the library gives its pixel data.
struct BmpContents {
  int width = 0;
  int height = 0;
  int bits_per_pixel = 0;
  bool has_pens = false;
  Picture picture;
};

// path read as a BMP once its headers have passed CheckBmpFile: the library
// trusts the sizes it reads, so a damaged header could make it allocate
// gigabytes. Refuses with "Can not load PATH" (a library diagnostic may come
// first), or "Can not load PATH : picture too large".
Checked<BmpContents> LoadBmpPicture(const std::string& path);

// A palettised picture of 1, 4 or 8 bits a pixel (PNG, BMP, GIF, ... taken
// by its contents) as pens, and how many palette entries its file gives.
struct PalettedPicture {
  Picture picture;
  int colours_used = 0;
};

// The picture at path. Refuses with "PATH is not a regular file" and the
// like, "Can not load PATH", "Can not load PATH : picture too large", or
// "PATH is not a palettised picture" (true colour, greys of 16 bits).
Checked<PalettedPicture> LoadPalettedPicture(const std::string& path);

// The BMP file the library writes for picture (8 bits, its palette, flags 0),
// refused with the reason when it can not be made (an empty picture, one too
// large for the format).
Checked<std::vector<uint8_t>> EncodeBmpPicture(const Picture& picture);

// The PNG file of picture with each pixel drawn scale_x x scale_y, 8 bits a
// pixel, fastest compression (a preview), refused with the reason when it can
// not be made.
Checked<std::vector<uint8_t>> EncodeScaledPngPicture(const Picture& picture, int scale_x, int scale_y);

// picture saved as an 8-bit BMP file at path, written aside and put in place whole.
Refusal WriteBmpPicture(const Picture& picture, const std::string& path);

// The picture at input_path, in the format its file name's extension names
// (PNG, GIF, TGA, ...), as the bytes of a BMP file of the same depth and
// palette, not turned. The contents never choose the format, but they must
// match the one the name gives. Refuses "Can not determine image format
// INPUT" (no known extension), "Can not load image INPUT", and "Can not save
// image OUTPUT" for a picture BMP cannot hold (16 bits a channel, floats).
Checked<std::vector<uint8_t>> PictureFileAsBmp(const std::string& input_path, const std::string& output_path);
