#include "toolkit/sprites/packed_sprite.h"

namespace {

constexpr char kPrefix[] = "ConvertToInterlacedSprite : ";

}  // namespace

std::vector<uint8_t> PackSpritePixels(const SpritePixels& pixels) {
  std::vector<uint8_t> bytes(pixels.size() / 2);
  for (size_t i = 0; i < bytes.size(); ++i) {
    bytes[i] = static_cast<uint8_t>(SpriteColour(pixels[2 * i]) * 16 + SpriteColour(pixels[2 * i + 1]));
  }
  return bytes;
}

Refusal WritePackedSprite(const SpritePixels& pixels, const std::string& output_path) {
  return WriteBinaryFile(output_path, PackSpritePixels(pixels));
}

bool ConvertToInterlacedSprite(const std::string& source_path, const std::string& output_path) {
  const std::optional<Picture> source = LoadSpriteSource(source_path);
  if (!source) return false;
  if (const Refusal refused = WritePackedSprite(ReadSpritePixels(*source), output_path)) {
    PrintLine(kPrefix + *refused);
    return false;
  }
  PrintLine(kPrefix + output_path + " created");
  return true;
}
