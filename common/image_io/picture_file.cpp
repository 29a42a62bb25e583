#include "common/image_io/picture_file.h"

#include <FreeImage.h>

#include <algorithm>
#include <cstring>
#include <memory>

#include "common/file_path.h"
#include "common/image_io/bitmap.h"
#include "common/image_io/picture_probe.h"
#include "common/input_file.h"
#include "common/large_buffer.h"
#include "common/number_text.h"
#include "common/picture_header.h"

namespace {

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
  for (unsigned k = 0; k < count; ++k)
    palette[k] = {entries[k].rgbRed, entries[k].rgbGreen, entries[k].rgbBlue};
  return palette;
}

// FreeImage stores the bottom picture row first. Rather than flip the whole
// bitmap (a full copy of a large picture), the picture starts at the last scan
// line in memory and steps backwards; it keeps the bitmap alive.
Picture PictureOverBitmap(ImagePtr bitmap) {
  FIBITMAP* image = bitmap.get();
  Picture picture;
  picture.width = static_cast<int>(FreeImage_GetWidth(image));
  picture.height = static_cast<int>(FreeImage_GetHeight(image));
  picture.stride = -static_cast<ptrdiff_t>(FreeImage_GetPitch(image));
  picture.top_row =
      picture.height > 0 ? FreeImage_GetScanLine(image, picture.height - 1) : FreeImage_GetBits(image);
  picture.palette = PaletteOf(image);
  picture.storage = std::shared_ptr<FIBITMAP>(bitmap.release(), BitmapUnloader{});
  return picture;
}

// The format that the extension of the file name names. A name without an
// extension names none: FreeImage would take a bare "pic" or "png" for an
// extension and pick a format for it.
FREE_IMAGE_FORMAT FormatFromName(const std::string& path) {
  const std::string file_name = NameOf(path);
  if (file_name.find('.') == std::string::npos) return FIF_UNKNOWN;
  return FreeImage_GetFIFFromFilename(file_name.c_str());
}

using Bytes = Checked<std::vector<uint8_t>>;

Bytes EncodeToMemory(FIBITMAP* image, FREE_IMAGE_FORMAT format, int flags);

// The BMP file FreeImage writes for image, refused when BMP cannot hold it.
Bytes EncodeBmp(FIBITMAP* image) {
  // FreeImage's BMP writer does not refuse what BMP cannot hold: given 16 bits
  // a channel or floats it writes a 48- or 96-bit file that no reader accepts.
  const bool is_bmp_depth =
      FreeImage_GetImageType(image) == FIT_BITMAP &&
      FreeImage_FIFSupportsExportBPP(FIF_BMP, static_cast<int>(FreeImage_GetBPP(image)));
  if (!is_bmp_depth) return Bytes::Refused("BMP can not hold its depth");
  return EncodeToMemory(image, FIF_BMP, 0);
}

// picture as an 8-bit bitmap with each pixel drawn scale_x x scale_y.
ImagePtr ScaledBitmap(const Picture& picture, int scale_x, int scale_y) {
  ImagePtr image(FreeImage_Allocate(picture.width * scale_x, picture.height * scale_y, 8));
  if (!image || FreeImage_GetBits(image.get()) == nullptr || FreeImage_GetPalette(image.get()) == nullptr) {
    return nullptr;
  }
  RGBQUAD* entries = FreeImage_GetPalette(image.get());
  for (int k = 0; k < kPaletteEntries; ++k) {
    entries[k] = {picture.palette[k].blue, picture.palette[k].green, picture.palette[k].red, 0};
  }
  const int height = picture.height;
  for (int y = 0; y < height; ++y) {
    const uint8_t* row = picture.Row(y);
    // FreeImage keeps the bottom row first.
    uint8_t* first = FreeImage_GetScanLine(image.get(), (height - 1 - y) * scale_y + scale_y - 1);
    for (int x = 0; x < picture.width; ++x)
      std::fill_n(first + static_cast<size_t>(x) * scale_x, scale_x, row[x]);
    for (int copy = 1; copy < scale_y; ++copy) {
      uint8_t* line = FreeImage_GetScanLine(image.get(), (height - 1 - y) * scale_y + scale_y - 1 - copy);
      std::memcpy(line, first, static_cast<size_t>(picture.width) * scale_x);
    }
  }
  return image;
}

Bytes EncodeToMemory(FIBITMAP* image, FREE_IMAGE_FORMAT format, int flags) {
  // Saved to memory rather than to the target path: FreeImage writes the file
  // in place as it goes, and a failure half way would leave a truncated file
  // over the user's own.
  const MemoryPtr stream(FreeImage_OpenMemory());
  if (!stream || !FreeImage_SaveToMemory(format, image, stream.get(), flags))
    return Bytes::Refused("the image library can not save it");
  BYTE* data = nullptr;
  DWORD size_bytes = 0;
  if (!FreeImage_AcquireMemory(stream.get(), &data, &size_bytes) || data == nullptr)
    return Bytes::Refused("the image library can not save it");
  return std::vector<uint8_t>(data, data + size_bytes);
}

constexpr uint32_t kBmpHeaderBytes = 14 + 40;
constexpr uint32_t kBmpPaletteBytes = kPaletteEntries * 4;

// The file header and the 40-byte information header of an 8-bit BMP of
// picture's size whose pixel array takes pixel_bytes.
void AppendBmpHeaders(const Picture& picture, uint32_t pixel_bytes, std::vector<uint8_t>& bytes) {
  constexpr uint32_t kPixelsPerMetre = 2835;  // 72 dots an inch
  bytes.push_back('B');
  bytes.push_back('M');
  AppendLe32(bytes, kBmpHeaderBytes + kBmpPaletteBytes + pixel_bytes);
  AppendLe32(bytes, 0);
  AppendLe32(bytes, kBmpHeaderBytes + kBmpPaletteBytes);
  AppendLe32(bytes, 40);
  AppendLe32(bytes, static_cast<uint32_t>(picture.width));
  AppendLe32(bytes, static_cast<uint32_t>(picture.height));  // positive: rows from the bottom
  AppendLe16(bytes, 1);
  AppendLe16(bytes, 8);
  AppendLe32(bytes, 0);  // no compression
  AppendLe32(bytes, 0);  // image size: may be 0 when uncompressed
  AppendLe32(bytes, kPixelsPerMetre);
  AppendLe32(bytes, kPixelsPerMetre);
  AppendLe32(bytes, kPaletteEntries);  // colours used
  AppendLe32(bytes, kPaletteEntries);  // colours important
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
  const RefusalKind header = CheckBmpFile(path).kind();
  if (header == RefusalKind::kTooLarge)
    return Checked<BmpContents>::Refused("Can not load " + path + " : picture too large");
  // An unreadable file still goes to FreeImage: its diagnostic says why. One
  // that is not a regular file does not: the library would wait on a FIFO.
  const bool is_refused = header == RefusalKind::kDamaged || header == RefusalKind::kNotRegular;
  ImagePtr image(is_refused ? nullptr : FreeImage_Load(FIF_BMP, path.c_str(), 0));
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

Checked<PalettedPicture> LoadPalettedPicture(const std::string& path) {
  using Result = Checked<PalettedPicture>;
  // Checked first: the library opens the file itself, and a FIFO would block it.
  if (const Checked<InputFile> input = OpenInputFile(path); !input) return Result::Refused(input);
  const FREE_IMAGE_FORMAT format = FreeImage_GetFileType(path.c_str(), 0);
  const std::string cannot_load = "Can not load " + path;
  if (const Refusal refused = ProbePicture(path, format, cannot_load, kMaxPalettedPixels))
    return Result::Refused(*refused);
  ImagePtr image(FreeImage_Load(format, path.c_str(), 0));
  if (!image || FreeImage_GetBits(image.get()) == nullptr) return Result::Refused(cannot_load);
  const unsigned bits = FreeImage_GetBPP(image.get());
  const bool has_pens = FreeImage_GetImageType(image.get()) == FIT_BITMAP && bits <= 8 &&
                        FreeImage_GetPalette(image.get()) != nullptr;
  if (!has_pens)
    return Result::Refused(path + " is not a palettised picture");
  PalettedPicture paletted;
  paletted.colours_used = static_cast<int>(std::min(FreeImage_GetColorsUsed(image.get()), 256u));
  // 1- and 4-bit pictures get one byte a pen; their palettes stay as they are.
  if (bits < 8) image.reset(FreeImage_ConvertTo8Bits(image.get()));
  if (!image || FreeImage_GetBits(image.get()) == nullptr) return Result::Refused(cannot_load);
  paletted.picture = PictureOverBitmap(std::move(image));
  return paletted;
}

Checked<std::vector<uint8_t>> EncodeBmpPicture(const Picture& picture) {
  // Written here rather than by the library: the layout of an 8-bit BMP is
  // fixed and simple (the same bytes FreeImage writes for it), and a large
  // picture then takes one buffer instead of a bitmap, the library's memory
  // stream and a copy of it.
  if (picture.width <= 0 || picture.height <= 0) return Bytes::Refused("the picture is empty");
  const size_t row_bytes = (static_cast<size_t>(picture.width) + 3) / 4 * 4;
  const size_t pixel_bytes = row_bytes * static_cast<size_t>(picture.height);
  if (pixel_bytes > UINT32_MAX - kBmpHeaderBytes - kBmpPaletteBytes)
    return Bytes::Refused("too large for a BMP file");
  std::vector<uint8_t> bytes;
  ReserveLarge(bytes, kBmpHeaderBytes + kBmpPaletteBytes + pixel_bytes);
  AppendBmpHeaders(picture, static_cast<uint32_t>(pixel_bytes), bytes);
  for (const Rgb& colour : picture.palette)
    bytes.insert(bytes.end(), {colour.blue, colour.green, colour.red, 0});
  bytes.resize(kBmpHeaderBytes + kBmpPaletteBytes + pixel_bytes, 0);
  uint8_t* rows = bytes.data() + kBmpHeaderBytes + kBmpPaletteBytes;
  for (int y = 0; y < picture.height; ++y) {
    std::memcpy(rows + static_cast<size_t>(picture.height - 1 - y) * row_bytes, picture.Row(y),
                static_cast<size_t>(picture.width));
  }
  return bytes;
}

Checked<std::vector<uint8_t>> EncodeScaledPngPicture(const Picture& picture, int scale_x, int scale_y) {
  const ImagePtr image = ScaledBitmap(picture, scale_x, scale_y);
  if (!image) return Bytes::Refused("no memory for the scaled picture");
  return EncodeToMemory(image.get(), FIF_PNG, PNG_Z_BEST_SPEED);
}

Refusal WriteBmpPicture(const Picture& picture, const std::string& path) {
  const Bytes bytes = EncodeBmpPicture(picture);
  return bytes ? WriteBinaryFile(path, *bytes) : Refusal(CannotWriteText(path));
}

Checked<std::vector<uint8_t>> PictureFileAsBmp(const std::string& input_path,
                                               const std::string& output_path) {
  using Result = Checked<std::vector<uint8_t>>;
  const FREE_IMAGE_FORMAT format = FormatFromName(input_path);
  if (format == FIF_UNKNOWN) return Result::Refused("Can not determine image format " + input_path);
  // Some of the library's readers (PICT among them) never return on a file
  // that is not of their format, and every reader allocates what its header
  // claims: the contents must pass the format's signature and header checks,
  // and the size read from the header alone must fit the cap, before a decode.
  // A FIFO or a folder never reaches the library, whose open would wait on it.
  const std::string cannot_load = "Can not load image " + input_path;
  if (OpenInputFile(input_path).kind() == RefusalKind::kNotRegular) return Result::Refused(cannot_load);
  if (const Refusal refused = ProbePicture(input_path, format, cannot_load)) return Result::Refused(*refused);
  const ImagePtr image(FreeImage_Load(format, input_path.c_str(), 0));
  if (!image) return Result::Refused(cannot_load);
  Bytes bytes = EncodeBmp(image.get());
  if (!bytes) return Result::Refused("Can not save image " + output_path);
  return std::move(*bytes);
}
