#include "toolkit/image_ops/image_format.h"

#include "common/line_output.h"
#include "common/image_io/bmp_file.h"
#include "common/image_io/colour_picture.h"
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

}  // namespace

bool ChangeImageFormat(const std::string& input_path, const std::string& output_path) {
  const FREE_IMAGE_FORMAT format = FormatFromName(input_path);
  if (format == FIF_UNKNOWN) {
    PrintLine(kPrefix + ("Can not determine image format " + input_path));
    return false;
  }
  // Some of the library's readers (PICT among them) never return on a file
  // that is not of their format, and every reader allocates what its header
  // claims: the contents must pass the format's signature and header checks,
  // and the size read from the header alone must fit the cap, before a decode.
  const PictureProbe probe = ProbePicture(input_path, format);
  if (probe == PictureProbe::kTooLarge || probe == PictureProbe::kSizeUnknown) {
    PrintLine(kPrefix + ("Can not load image " + input_path +
                         (probe == PictureProbe::kTooLarge ? " : picture too large"
                                                           : " : its size can not be read before decoding")));
    return false;
  }
  const ImagePtr image(probe == PictureProbe::kOk ? FreeImage_Load(format, input_path.c_str(), 0) : nullptr);
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
