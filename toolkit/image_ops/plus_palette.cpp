#include "toolkit/image_ops/plus_palette.h"

#include "common/cpc_pixels.h"
#include "common/line_output.h"
#include "common/number_text.h"
#include "toolkit/source_image.h"

namespace {

constexpr char kPrefix[] = "PaletteExtract : ";
std::string PlusColourLine(const Rgb& entry, int entry_number) {
  const std::array<uint8_t, 2> colour = EncodePlusColour(entry.red, entry.green, entry.blue);
  return "db    #" + Hex(colour[0], 2) + ",#" + Hex(colour[1], 2) + " ;" + SpacedDecimal(entry_number);
}

}  // namespace

std::vector<std::string> PlusPaletteLines(const Palette& palette, int start_colour) {
  std::vector<std::string> lines;
  for (int e = start_colour; e < start_colour + kPlusPaletteSize; ++e) {
    lines.push_back(PlusColourLine(palette[static_cast<size_t>(e)], e));
  }
  return lines;
}

bool PaletteExtract(const std::string& source_path, const std::string& output_path, int start_colour) {
  PrintLine(std::string(kPrefix) + "Extracting...");
  // Entries past 255 do not exist; reading them would export whatever lies
  // beyond the palette in memory.
  if (start_colour < 0 || start_colour > kLastStartColour) {
    PrintLine(kPrefix + ("Start colour must be from 0 to " + PlainDecimal(kLastStartColour) + ", not " +
                         PlainDecimal(start_colour)));
    return false;
  }
  const std::optional<Picture> source = LoadSourceImage(source_path, 1);
  if (!source) return false;
  const std::vector<std::string> lines = PlusPaletteLines(source->palette, start_colour);
  const WriteStatus status = WriteTextFile(output_path, lines);
  if (status != WriteStatus::kOk) {
    PrintLine(kPrefix + WriteFailureText(status, output_path));
    return false;
  }
  return true;
}
