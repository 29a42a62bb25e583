// The packing floor of the sheet words: what cutting a mode 0 sheet into
// frames can not avoid.
//
// bench_sheet_floor <picture.bmp> <output> <frame width> <frame height>
//   Load the BMP through FreeImage, walk its scan lines from the top (they lie
//   bottom-up in memory), pack each frame line through one 256-entry table per
//   pen position into a buffer of one row of frames laid out frame after
//   frame, write the buffer once the row of frames is packed, close. The
//   tables hold the real mode 0 layout, so the output is the word's own
//   frames file without a mask and the benchmark compares the two.
#include <FreeImage.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <vector>

namespace {

// Mode 0 interleaves the two pens' bits: left pen bits 0..3 in byte bits 7, 3, 5, 1.
uint8_t Mode0Left(int pen) {
  return static_cast<uint8_t>(((pen & 1) << 7) | ((pen & 2) << 2) | ((pen & 4) << 3) | ((pen & 8) >> 2));
}

struct Frames {
  unsigned width_px = 0;
  unsigned height = 0;
  unsigned columns = 0;
  unsigned bands = 0;
};

int PackFrames(FIBITMAP* image, const Frames& frames, FILE* out) {
  uint8_t left[256];
  uint8_t right[256];
  for (int pen = 0; pen < 256; ++pen) {
    left[pen] = Mode0Left(pen & 15);
    right[pen] = static_cast<uint8_t>(Mode0Left(pen & 15) >> 1);
  }
  const unsigned height = FreeImage_GetHeight(image);
  const size_t width_bytes = frames.width_px / 2;
  const size_t frame_bytes = width_bytes * frames.height;
  std::vector<uint8_t> band(frame_bytes * frames.columns);
  bool is_ok = true;
  for (unsigned b = 0; b < frames.bands && is_ok; ++b) {
    for (unsigned line = 0; line < frames.height; ++line) {
      const unsigned y = b * frames.height + line;
      const uint8_t* pens = FreeImage_GetScanLine(image, static_cast<int>(height - 1 - y));
      for (unsigned frame = 0; frame < frames.columns; ++frame) {
        uint8_t* bytes = band.data() + frame * frame_bytes + line * width_bytes;
        for (size_t k = 0; k < width_bytes; ++k, pens += 2) bytes[k] = left[pens[0]] | right[pens[1]];
      }
    }
    is_ok = std::fwrite(band.data(), 1, band.size(), out) == band.size();
  }
  return is_ok ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 5) return 2;
  Frames frames;
  frames.width_px = static_cast<unsigned>(std::atoi(argv[3]));
  frames.height = static_cast<unsigned>(std::atoi(argv[4]));
  if (frames.width_px == 0 || frames.width_px % 2 != 0 || frames.height == 0) return 2;
  FreeImage_Initialise(FALSE);
  FIBITMAP* image = FreeImage_Load(FIF_BMP, argv[1], 0);
  if (image == nullptr || FreeImage_GetBPP(image) != 8) return 1;
  frames.columns = FreeImage_GetWidth(image) / frames.width_px;
  frames.bands = FreeImage_GetHeight(image) / frames.height;
  FILE* out = std::fopen(argv[2], "wb");
  if (out == nullptr) return 1;
  int result = PackFrames(image, frames, out);
  if (std::fclose(out) != 0 && result == 0) result = 1;
  FreeImage_Unload(image);
  FreeImage_DeInitialise();
  return result;
}
