#include "toolkit/sprites/keyframe.h"

#include "common/assembler_label.h"
#include "common/line_output.h"
#include "common/number_text.h"
#include "common/source_dialect.h"
#include "toolkit/sprites/sprite_code.h"

namespace {

constexpr char kPrefix[] = "CompileKeyframe : ";

}  // namespace

SpritePixels KeyframeDifference(const SpritePixels& from_frame, const SpritePixels& to_frame,
                                int& differing_count) {
  SpritePixels difference{};
  differing_count = 0;
  for (int p = 0; p < kSpritePixels; ++p) {
    // The sources have no transparency: 255 is simply pen 15 here.
    const uint8_t before = SpriteColour(from_frame[p]);
    const uint8_t after = SpriteColour(to_frame[p]);
    if (before == after) {
      difference[p] = kLeaveAlone;
    } else {
      difference[p] = after;
      ++differing_count;
    }
  }
  return difference;
}

bool CompileKeyframe(const std::string& frame1_path, const std::string& frame2_path,
                     const std::string& output_path, int options) {
  if (const Refusal refusal = SourceNameRefusal(output_path, SourceContent::kCode, ChosenSyntax())) {
    PrintLine(kPrefix + *refusal);
    return false;
  }
  const std::optional<Picture> frame1 = LoadSpriteSource(frame1_path);
  const std::optional<Picture> frame2 = LoadSpriteSource(frame2_path);
  if (!frame1 || !frame2) return false;
  int differing_count = 0;
  const SpritePixels difference =
      KeyframeDifference(ReadSpritePixels(*frame1), ReadSpritePixels(*frame2), differing_count);
  PrintLine(SpacedDecimal(differing_count) + " differents pixels");
  const WrittenSpriteCode written = WriteSpriteCode(difference, output_path, options);
  for (const std::string& line : written.register_lines) PrintLine(line);
  if (written.refusal) {
    PrintLine(kPrefix + *written.refusal);
    return false;
  }
  return true;
}
