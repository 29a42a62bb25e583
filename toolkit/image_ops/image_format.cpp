#include "toolkit/image_ops/image_format.h"

#include "common/input_file.h"
#include "common/line_output.h"
#include "common/image_io/bmp_file.h"
#include "common/picture_header.h"
#include "toolkit/source_image.h"

namespace {

constexpr char kPrefix[] = "ChangeImageFormat : ";

// The format that the extension of the file name names. A name without an
// extension names none: FreeImage would take a bare "pic" or "png" for an
// extension and pick a format for it.
FREE_IMAGE_FORMAT FormatFromName(const std::string& path) {
  const size_t last_slash = path.find_last_of('/');
  const std::string file_name = last_slash == std::string::npos ? path : path.substr(last_slash + 1);
  if (file_name.find('.') == std::string::npos) return FIF_UNKNOWN;
  return FreeImage_GetFIFFromFilename(file_name.c_str());
}

// FreeImage trusts the sizes in a file's headers (a 19-byte TGA made its
// reader crash, a truncated PNG chunk made it allocate the claimed length),
// so the formats users bring most are checked here before the library reads them.
bool PassesHeaderCheck(FREE_IMAGE_FORMAT format, const std::string& path) {
  switch (format) {
    case FIF_BMP:
      return CheckPictureFile(path, PictureKind::kBmp) == HeaderCheck::kOk;
    case FIF_TARGA:
      return CheckPictureFile(path, PictureKind::kTarga) == HeaderCheck::kOk;
    case FIF_PCX:
      return CheckPictureFile(path, PictureKind::kPcx) == HeaderCheck::kOk;
    case FIF_PNG:
      return CheckPictureFile(path, PictureKind::kPng) == HeaderCheck::kOk;
    case FIF_GIF:
      return CheckPictureFile(path, PictureKind::kGif) == HeaderCheck::kOk;
    default:
      return true;
  }
}

}  // namespace

bool ChangeImageFormat(const std::string& input_path, const std::string& output_path) {
  const FREE_IMAGE_FORMAT format = FormatFromName(input_path);
  if (format == FIF_UNKNOWN) {
    PrintLine(kPrefix + ("Can not determine image format " + input_path));
    return false;
  }
  // Some of the library's readers (PICT among them) never return on a file
  // that is not of their format, so the contents must pass the format's own
  // signature check before the reader sees them.
  // A FIFO or a folder never reaches the library, whose open would wait on a FIFO.
  const bool is_that_format = OpenInputFile(input_path).status != InputStatus::kNotRegular &&
                              FreeImage_Validate(format, input_path.c_str()) != 0 &&
                              PassesHeaderCheck(format, input_path);
  const ImagePtr image(is_that_format ? FreeImage_Load(format, input_path.c_str(), 0) : nullptr);
  if (!image) {
    PrintLine(kPrefix + ("Can not load image " + input_path));
    return false;
  }
  // A 16-bit-per-channel PNG or a float TIFF loads fine but has no BMP form:
  // the encoder refuses it, and nothing reaches the output path.
  if (WriteBmpFile(image.get(), output_path) != WriteStatus::kOk) {
    PrintLine(kPrefix + ("Can not save image " + output_path));
    return false;
  }
  PrintLine(kPrefix + ("Successfull conversion from " + input_path + " to " + output_path + " (bmp format)"));
  return true;
}
