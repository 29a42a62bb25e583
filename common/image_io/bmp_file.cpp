#include "common/image_io/bmp_file.h"

#include <memory>

namespace {

struct MemoryCloser {
  void operator()(FIMEMORY* stream) const { FreeImage_CloseMemory(stream); }
};
using MemoryPtr = std::unique_ptr<FIMEMORY, MemoryCloser>;

}  // namespace

ImagePtr LoadBmpFile(const std::string& path, HeaderCheck* check) {
  const HeaderCheck header = CheckBmpFile(path);
  if (check != nullptr) *check = header;
  // An unreadable file still goes to FreeImage: its diagnostic says why. One
  // that is not a regular file does not: the library would wait on a FIFO.
  if (header == HeaderCheck::kDamaged || header == HeaderCheck::kTooLarge || header == HeaderCheck::kNotRegular) {
    return nullptr;
  }
  return ImagePtr(FreeImage_Load(FIF_BMP, path.c_str(), 0));
}

std::optional<std::vector<uint8_t>> EncodeBmpFile(FIBITMAP* image) {
  if (image == nullptr) return std::nullopt;
  // FreeImage's BMP writer does not refuse what BMP cannot hold: given 16 bits
  // a channel or floats it writes a 48- or 96-bit file that no reader accepts.
  const bool is_bmp_depth =
      FreeImage_GetImageType(image) == FIT_BITMAP &&
      FreeImage_FIFSupportsExportBPP(FIF_BMP, static_cast<int>(FreeImage_GetBPP(image)));
  if (!is_bmp_depth) return std::nullopt;
  // Saving to memory rather than to the target path: FreeImage writes the
  // file in place as it goes, and a refusal half way would leave a truncated
  // file over the user's own.
  const MemoryPtr stream(FreeImage_OpenMemory());
  if (!stream || !FreeImage_SaveToMemory(FIF_BMP, image, stream.get(), 0)) return std::nullopt;
  BYTE* data = nullptr;
  DWORD size_bytes = 0;
  if (!FreeImage_AcquireMemory(stream.get(), &data, &size_bytes) || data == nullptr) return std::nullopt;
  return std::vector<uint8_t>(data, data + size_bytes);
}

WriteStatus WriteBmpFile(FIBITMAP* image, const std::string& path) {
  const std::optional<std::vector<uint8_t>> bytes = EncodeBmpFile(image);
  return bytes ? WriteBinaryFile(path, *bytes) : WriteStatus::kCannotWrite;
}
