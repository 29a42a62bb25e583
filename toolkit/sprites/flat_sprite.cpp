#include "toolkit/sprites/flat_sprite.h"

#include "common/line_output.h"

namespace {

constexpr char kPrefix[] = "ConvertToFlatSprite : ";

}  // namespace

std::vector<uint8_t> EncodeFlatSprite(const SpritePixels& pixels) {
  std::vector<uint8_t> bytes(pixels.size());
  for (size_t p = 0; p < pixels.size(); ++p) bytes[p] = SpriteColour(pixels[p]);
  return bytes;
}

bool ConvertToFlatSprite(const std::string& source_path, const std::string& output_path) {
  const std::optional<Picture> source = LoadSpriteSource(source_path);
  if (!source) return false;
  if (const Refusal refused = WriteBinaryFile(output_path, EncodeFlatSprite(ReadSpritePixels(*source)))) {
    PrintLine(kPrefix + *refused);
    return false;
  }
  return true;
}
