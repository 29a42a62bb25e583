#include "toolkit/image_ops/image_format.h"

#include "common/image_io/picture_file.h"
#include "common/line_output.h"

namespace {

constexpr char kPrefix[] = "ChangeImageFormat : ";

}  // namespace

bool ChangeImageFormat(const std::string& input_path, const std::string& output_path) {
  const Checked<std::vector<uint8_t>> bmp = PictureFileAsBmp(input_path, output_path);
  if (!bmp) {
    PrintLine(kPrefix + bmp.refusal());
    return false;
  }
  if (WriteBinaryFile(output_path, *bmp)) {
    PrintLine(kPrefix + ("Can not save image " + output_path));
    return false;
  }
  PrintLine(kPrefix + ("Successfull conversion from " + input_path + " to " + output_path + " (bmp format)"));
  return true;
}
