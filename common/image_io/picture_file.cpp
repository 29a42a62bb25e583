#include "common/image_io/picture_file.h"

#include <FreeImage.h>

#include <cstring>
#include <memory>

#include "common/image_io/bitmap.h"
#include "common/image_io/picture_probe.h"
#include "common/input_file.h"
#include "common/number_text.h"
#include "common/picture_header.h"

namespace {

struct MemoryCloser {
  void operator()(FIMEMORY* stream) const { FreeImage_CloseMemory(stream); }
};
using MemoryPtr = std::unique_ptr<FIMEMORY, MemoryCloser>;

using BitmapPtr = ImagePtr;

void PrintImageMessage(FREE_IMAGE_FORMAT format, const char* message) {
  PrintLine(ImageMessageLine(static_cast<int>(format), message));
}

// Entries past the ones the file uses stay black, as the tileset and the
// level builder have always read them.
Palette PaletteOf(FIBITMAP* image) {
  Palette palette{};
  const RGBQUAD* entries = FreeImage_GetPalette(image);
  if (entries == nullptr) return palette;
  const unsigned used = FreeImage_GetColorsUsed(image);
  const unsigned count = used < kPaletteEntries ? used : kPaletteEntries;
  for (unsigned k = 0; k < count; ++k) palette[k] = {entries[k].rgbRed, entries[k].rgbGreen, entries[k].rgbBlue};
  return palette;
}

// FreeImage stores the bottom picture row first. Rather than flip the whole
// bitmap (a full copy of a large picture), the picture starts at the last scan
// line in memory and steps backwards; it keeps the bitmap alive.
Picture PictureOverBitmap(BitmapPtr bitmap) {
  FIBITMAP* image = bitmap.get();
  Picture picture;
  picture.width = static_cast<int>(FreeImage_GetWidth(image));
  picture.height = static_cast<int>(FreeImage_GetHeight(image));
  picture.stride = -static_cast<ptrdiff_t>(FreeImage_GetPitch(image));
  picture.top_row = picture.height > 0 ? FreeImage_GetScanLine(image, picture.height - 1) : FreeImage_GetBits(image);
  picture.palette = PaletteOf(image);
  picture.storage = std::shared_ptr<FIBITMAP>(bitmap.release(), BitmapUnloader{});
  return picture;
}

BitmapPtr BitmapOfPicture(const Picture& picture) {
  BitmapPtr image(FreeImage_Allocate(picture.width, picture.height, 8));
  if (!image || FreeImage_GetBits(image.get()) == nullptr || FreeImage_GetPalette(image.get()) == nullptr) {
    return nullptr;
  }
  RGBQUAD* entries = FreeImage_GetPalette(image.get());
  for (int k = 0; k < kPaletteEntries; ++k) {
    entries[k] = {picture.palette[k].blue, picture.palette[k].green, picture.palette[k].red, 0};
  }
  for (int y = 0; y < picture.height; ++y) {
    std::memcpy(FreeImage_GetScanLine(image.get(), picture.height - 1 - y), picture.Row(y),
                static_cast<size_t>(picture.width));
  }
  return image;
}

// The format that the extension of the file name names. A name without an
// extension names none: FreeImage would take a bare "pic" or "png" for an
// extension and pick a format for it.
FREE_IMAGE_FORMAT FormatFromName(const std::string& path) {
  const size_t last_slash = path.find_last_of('/');
  const std::string file_name = last_slash == std::string::npos ? path : path.substr(last_slash + 1);
  if (file_name.find('.') == std::string::npos) return FIF_UNKNOWN;
  return FreeImage_GetFIFFromFilename(file_name.c_str());
}

// The BMP file FreeImage writes for image, or none when BMP cannot hold it.
std::optional<std::vector<uint8_t>> EncodeBmp(FIBITMAP* image) {
  // FreeImage's BMP writer does not refuse what BMP cannot hold: given 16 bits
  // a channel or floats it writes a 48- or 96-bit file that no reader accepts.
  const bool is_bmp_depth = FreeImage_GetImageType(image) == FIT_BITMAP &&
                            FreeImage_FIFSupportsExportBPP(FIF_BMP, static_cast<int>(FreeImage_GetBPP(image)));
  if (!is_bmp_depth) return std::nullopt;
  // Saved to memory rather than to the target path: FreeImage writes the file
  // in place as it goes, and a failure half way would leave a truncated file
  // over the user's own.
  const MemoryPtr stream(FreeImage_OpenMemory());
  if (!stream || !FreeImage_SaveToMemory(FIF_BMP, image, stream.get(), 0)) return std::nullopt;
  BYTE* data = nullptr;
  DWORD size_bytes = 0;
  if (!FreeImage_AcquireMemory(stream.get(), &data, &size_bytes) || data == nullptr) return std::nullopt;
  return std::vector<uint8_t>(data, data + size_bytes);
}

}  // namespace

ImageLibrary::ImageLibrary(ImageDiagnostics diagnostics) {
  FreeImage_Initialise(FALSE);
  if (diagnostics == ImageDiagnostics::kConsole) FreeImage_SetOutputMessage(PrintImageMessage);
}

ImageLibrary::~ImageLibrary() { FreeImage_DeInitialise(); }

std::string ImageLibraryNotice() { return FreeImage_GetCopyrightMessage(); }

std::string ImageMessageLine(int format, const char* message) {
  return "FIF:" + SpacedDecimal(format) + " - MESSAGE:" + (message ? message : "");
}

Checked<BmpContents> LoadBmpPicture(const std::string& path) {
  const HeaderCheck header = CheckBmpFile(path);
  if (header == HeaderCheck::kTooLarge) return Checked<BmpContents>::Refused("Can not load " + path + " : picture too large");
  // An unreadable file still goes to FreeImage: its diagnostic says why. One
  // that is not a regular file does not: the library would wait on a FIFO.
  const bool is_refused = header == HeaderCheck::kDamaged || header == HeaderCheck::kNotRegular;
  BitmapPtr image(is_refused ? nullptr : FreeImage_Load(FIF_BMP, path.c_str(), 0));
  if (!image) return Checked<BmpContents>::Refused("Can not load " + path);
  BmpContents contents;
  contents.width = static_cast<int>(FreeImage_GetWidth(image.get()));
  contents.height = static_cast<int>(FreeImage_GetHeight(image.get()));
  contents.bits_per_pixel = static_cast<int>(FreeImage_GetBPP(image.get()));
  contents.has_pens = contents.bits_per_pixel == 8 && FreeImage_GetBits(image.get()) != nullptr &&
                      FreeImage_GetPalette(image.get()) != nullptr;
  if (contents.has_pens) contents.picture = PictureOverBitmap(std::move(image));
  return contents;
}

std::optional<std::vector<uint8_t>> EncodeBmpPicture(const Picture& picture) {
  const BitmapPtr image = BitmapOfPicture(picture);
  if (!image) return std::nullopt;
  return EncodeBmp(image.get());
}

WriteStatus WriteBmpPicture(const Picture& picture, const std::string& path) {
  const std::optional<std::vector<uint8_t>> bytes = EncodeBmpPicture(picture);
  return bytes ? WriteBinaryFile(path, *bytes) : WriteStatus::kCannotWrite;
}

Checked<std::vector<uint8_t>> PictureFileAsBmp(const std::string& input_path, const std::string& output_path) {
  using Result = Checked<std::vector<uint8_t>>;
  const FREE_IMAGE_FORMAT format = FormatFromName(input_path);
  if (format == FIF_UNKNOWN) return Result::Refused("Can not determine image format " + input_path);
  // Some of the library's readers (PICT among them) never return on a file
  // that is not of their format, and every reader allocates what its header
  // claims: the contents must pass the format's signature and header checks,
  // and the size read from the header alone must fit the cap, before a decode.
  // A FIFO or a folder never reaches the library, whose open would wait on it.
  const PictureProbe probe = OpenInputFile(input_path).status == InputStatus::kNotRegular
                                 ? PictureProbe::kDamaged
                                 : ProbePicture(input_path, format);
  if (probe == PictureProbe::kTooLarge) return Result::Refused("Can not load image " + input_path + " : picture too large");
  if (probe == PictureProbe::kSizeUnknown) {
    return Result::Refused("Can not load image " + input_path + " : its size can not be read before decoding");
  }
  const BitmapPtr image(probe == PictureProbe::kOk ? FreeImage_Load(format, input_path.c_str(), 0) : nullptr);
  if (!image) return Result::Refused("Can not load image " + input_path);
  std::optional<std::vector<uint8_t>> bytes = EncodeBmp(image.get());
  if (!bytes) return Result::Refused("Can not save image " + output_path);
  return std::move(*bytes);
}
