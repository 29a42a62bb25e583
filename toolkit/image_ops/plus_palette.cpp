#include "toolkit/image_ops/plus_palette.h"

#include "common/assembler_label.h"
#include "common/cpc_pixels.h"
#include "common/line_output.h"
#include "common/number_text.h"
#include "common/source_dialect.h"
#include "toolkit/source_image.h"

namespace {

constexpr char kPrefix[] = "PaletteExtract : ";
// "db    #RB,#0G": the spacing the palette files have always had.
constexpr LineLayout kEntryLayout{"", "    "};

void AddColourLine(SourceText& source, const Rgb& entry, int entry_number) {
  const std::array<uint8_t, 2> colour = EncodePlusColour(entry.red, entry.green, entry.blue);
  const SourceNumber bytes[] = {HexNumber(colour[0]), HexNumber(colour[1])};
  AddByteLine(source, bytes, SpacedDecimal(entry_number), kEntryLayout);
}

}  // namespace

std::vector<SourceFile> PlusPaletteSource(const Palette& palette, int start_colour, SourceSyntax syntax,
                                          const std::string& asm_path) {
  SourceText source = StartSource(asm_path, SourceContent::kData, syntax);
  // The WinApe file has always been the sixteen lines alone, to follow the
  // including program's own label.
  OpenArray(source, LabelNamePart(WithoutExtension(asm_path)), WinApeLabel::kOmitted);
  for (int e = start_colour; e < start_colour + kPlusPaletteSize; ++e) {
    AddColourLine(source, palette[static_cast<size_t>(e)], e);
  }
  CloseArray(source);
  return FinishSource(source);
}

std::vector<std::string> PlusPaletteLines(const Palette& palette, int start_colour) {
  return SourceLines(PlusPaletteSource(palette, start_colour, SourceSyntax::kWinApe, "pal.asm")[0].text);
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
  const SourceSyntax syntax = ChosenSyntax();
  // The WinApe file holds nothing of its name; the others do.
  if (const Refusal refusal = syntax == SourceSyntax::kWinApe
                                  ? std::nullopt
                                  : SourceNameRefusal(output_path, SourceContent::kData, syntax)) {
    PrintLine(kPrefix + *refusal);
    return false;
  }
  const std::optional<Picture> source = LoadSourceImage(source_path, 1);
  if (!source) return false;
  if (const Refusal refusal =
          WriteSourceFiles(PlusPaletteSource(source->palette, start_colour, syntax, output_path))) {
    PrintLine(kPrefix + *refusal);
    return false;
  }
  return true;
}
