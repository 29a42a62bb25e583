#include "toolkit/sheets/software_sprites.h"

#include <algorithm>
#include <array>
#include <optional>
#include <span>

#include "common/assembler_label.h"
#include "common/cpc_pixels.h"
#include "common/line_output.h"
#include "common/number_text.h"
#include "common/source_dialect.h"
#include "toolkit/source_image.h"

namespace {

constexpr char kPrefix[] = "CutSpriteSheet : ";

// What each screen mode packs: pixels a byte and the pens it shows.
struct ModeLayout {
  int pixels_per_byte = 2;
  int pens = 16;
};

constexpr std::array<ModeLayout, 3> kModes = {{
    {2, 16},
    {4, 4},
    {8, 2},
}};

// Large enough that no sheet reaches it, small enough that a product stays far
// from overflowing: a --count beyond it is refused as a bad value.
constexpr int64_t kLargestCount = int64_t{1} << 40;

// The value of text as plain decimal digits (no sign, no blanks), or -1.
int64_t DigitsValue(std::string_view text) {
  if (text.empty()) return -1;
  int64_t value = 0;
  for (const char c : text) {
    if (c < '0' || c > '9') return -1;
    value = value * 10 + (c - '0');
    if (value > kLargestCount) return -1;
  }
  return value;
}

// One option into parsed, or the text of its refusal.
Refusal ReadOneOption(const std::string& option, int mode, SheetOptions& parsed) {
  const size_t equals = option.find('=');
  const std::string key = option.substr(0, equals);
  const bool has_value = equals != std::string::npos;
  const int64_t number = has_value ? DigitsValue(option.substr(equals + 1)) : -1;
  const Refusal bad_value = "bad value in " + option;
  if (key == "--mirror") {
    if (has_value) return bad_value;
    parsed.is_mirrored = true;
  } else if (key == "--count") {
    if (number <= 0) return bad_value;
    parsed.count = number;
  } else if (key == "--mask") {
    if (number < 0) return bad_value;
    const int pens = kModes[static_cast<size_t>(mode)].pens;
    if (number >= pens) {
      return option + " is not a pen of mode " + PlainDecimal(mode) + " (0 to " + PlainDecimal(pens - 1) +
             ")";
    }
    parsed.has_mask = true;
    parsed.mask_pen = static_cast<int>(number);
  } else {
    return "unknown option " + option;
  }
  return std::nullopt;
}

// Frames taken from band, a row of frames (the last one may be partly taken).
int FramesInBand(const SheetCut& cut, int64_t band) {
  return static_cast<int>(std::min<int64_t>(cut.columns, cut.frames_cut - band * cut.columns));
}

std::string SizeText(int64_t width, int64_t height) {
  return PlainDecimal(width) + " x " + PlainDecimal(height);
}

// The first pen of row beyond the mode's, as a refusal; row holds span pixels.
Refusal RowPenRefusal(const uint8_t* row, int span, int y, int mode) {
  const int pens = kModes[static_cast<size_t>(mode)].pens;
  const uint8_t* found = std::find_if(row, row + span, [pens](uint8_t pen) { return pen >= pens; });
  if (found == row + span) return std::nullopt;
  return "pen " + PlainDecimal(*found) + " at " + PlainDecimal(found - row) + ", " + PlainDecimal(y) +
         " is not a pen of mode " + PlainDecimal(mode) + " (0 to " + PlainDecimal(pens - 1) + ")";
}

constexpr size_t kGroupBytes = 16 * 1024;

// Frames first to first + count of band, every line, at out (see PackSheetBand).
uint8_t PackFrameGroup(const Picture& sheet, const SheetCut& cut, const SheetOptions& options,
                       const uint32_t* masked_pairs, int64_t band, int first, int count, uint8_t* out) {
  ChunkLayout layout;
  layout.pixels_per_byte = kModes[static_cast<size_t>(cut.mode)].pixels_per_byte;
  layout.chunks = count;
  layout.chunk_px = cut.frame_width_px;
  layout.out_stride = static_cast<size_t>(cut.frame_bytes) * (options.is_mirrored ? 2 : 1);
  layout.mirror_offset = options.is_mirrored ? static_cast<size_t>(cut.frame_bytes) : 0;
  layout.clear_pen = options.has_mask ? options.mask_pen : -1;
  layout.masked_pairs = masked_pairs;
  uint8_t seen = 0;
  for (int line = 0; line < cut.frame_height; ++line) {
    const uint8_t* pens =
        sheet.Row(static_cast<int>(band * cut.frame_height + line)) + first * cut.frame_width_px;
    seen |=
        PackRowInChunks(pens, layout, out + static_cast<size_t>(line) * static_cast<size_t>(cut.line_bytes));
  }
  return seen;
}

}  // namespace

Checked<SheetOptions> ReadSheetOptions(const std::vector<std::string>& options, int mode) {
  SheetOptions parsed;
  for (const std::string& option : options) {
    if (const Refusal refusal = ReadOneOption(option, mode, parsed))
      return Checked<SheetOptions>::Refused(*refusal);
  }
  return parsed;
}

Checked<SheetCut> PlanSheetCut(int sheet_width, int sheet_height, int mode, int width_px, int height,
                               const SheetOptions& options) {
  const int pixels_per_byte = kModes[static_cast<size_t>(mode)].pixels_per_byte;
  const std::string size = SizeText(width_px, height);
  if (width_px <= 0 || height <= 0)
    return Checked<SheetCut>::Refused("a frame of " + size + " pixels has no pixels");
  if (width_px % pixels_per_byte != 0) {
    return Checked<SheetCut>::Refused("a frame " + PlainDecimal(width_px) +
                                      " pixels wide is not a whole number of mode " + PlainDecimal(mode) +
                                      " bytes (" + PlainDecimal(pixels_per_byte) + " pixels a byte)");
  }
  if (width_px > sheet_width || height > sheet_height) {
    return Checked<SheetCut>::Refused("a frame of " + size + " pixels is larger than the sheet (" +
                                      SizeText(sheet_width, sheet_height) + ")");
  }
  SheetCut cut;
  cut.mode = mode;
  cut.frame_width_px = width_px;
  cut.frame_height = height;
  cut.columns = sheet_width / width_px;
  const int64_t whole_frames = int64_t{cut.columns} * (sheet_height / height);
  if (options.count > whole_frames) {
    return Checked<SheetCut>::Refused("--count=" + PlainDecimal(options.count) + " is more than the " +
                                      PlainDecimal(whole_frames) + " whole frames of the sheet");
  }
  cut.frames_cut = options.count == 0 ? whole_frames : options.count;
  cut.width_bytes = width_px / pixels_per_byte;
  cut.line_bytes = cut.width_bytes * (options.has_mask ? 2 : 1);
  cut.frame_bytes = int64_t{cut.line_bytes} * height;
  cut.frame_count = cut.frames_cut * (options.is_mirrored ? 2 : 1);
  if (options.has_mask) cut.masked_pairs = MaskedPairTable(pixels_per_byte, options.mask_pen);
  return cut;
}

int64_t SheetBandCount(const SheetCut& cut) { return (cut.frames_cut + cut.columns - 1) / cut.columns; }

Refusal BandPenRefusal(const Picture& sheet, const SheetCut& cut, int64_t band) {
  const int span = FramesInBand(cut, band) * cut.frame_width_px;
  for (int line = 0; line < cut.frame_height; ++line) {
    const int y = static_cast<int>(band * cut.frame_height + line);
    if (const Refusal refusal = RowPenRefusal(sheet.Row(y), span, y, cut.mode)) return refusal;
  }
  return std::nullopt;
}

size_t SheetBandBytes(const SheetCut& cut, const SheetOptions& options, int64_t band) {
  const size_t images = static_cast<size_t>(FramesInBand(cut, band)) * (options.is_mirrored ? 2 : 1);
  return images * static_cast<size_t>(cut.frame_bytes);
}

uint8_t PackSheetBand(const Picture& sheet, const SheetCut& cut, const SheetOptions& options, int64_t band,
                      uint8_t* out) {
  const int frames = FramesInBand(cut, band);
  const size_t step = static_cast<size_t>(cut.frame_bytes) * (options.is_mirrored ? 2 : 1);
  // A group of frames is packed whole, every line of it, before the next one:
  // line by line across the band would leave each frame's bytes before the
  // cache line that holds them is full, and a wide band does not stay in the
  // first-level cache meanwhile.
  const int group = static_cast<int>(std::max<size_t>(1, kGroupBytes / step));
  uint8_t seen = 0;
  for (int first = 0; first < frames; first += group) {
    seen |= PackFrameGroup(sheet, cut, options, cut.masked_pairs.data(), band, first,
                           std::min(group, frames - first), out + first * step);
  }
  return seen;
}

namespace {

// The comment lines that say how the frames are laid out and drawn.
void AddLayoutComments(SourceText& text, const SheetSource& source) {
  const SheetCut& cut = source.cut;
  AddComment(text, " " + source.data_path + " : " + PlainDecimal(cut.frame_count) + " frames of " +
                       SizeText(cut.width_bytes, cut.frame_height) + " bytes (width x lines) in the mode " +
                       PlainDecimal(cut.mode) + " byte layout, lines from the top");
  if (source.options.has_mask) {
    AddComment(text, " a mask byte before each data byte, screen = (screen AND mask) OR data: pen " +
                         PlainDecimal(source.options.mask_pen) + " shows the background");
  }
  if (source.options.is_mirrored) AddComment(text, " frame 2i + 1 is frame 2i mirrored");
}

Refusal PrepareOutputs(const std::string& name, const Checked<SheetOptions>& options) {
  // The frames' file is named between quotes in the source's incbin line.
  if (const Refusal refusal = QuotedNameRefusal("Name", name)) return refusal;
  if (options.IsRefused()) return options.refusal();
  return std::nullopt;
}

// The frames' file band by band, the bytes also gathered in held when it is
// given (for a source dialect that holds them). The packing tells whether a
// band holds a pen beyond the mode's, so the pens are checked without a pass
// of their own: a refusal stops the writing before that band, and the file
// written aside is then dropped.
Refusal WriteFrames(const Picture& sheet, const SheetSource& source, AsideFile& file,
                    std::vector<uint8_t>* held) {
  // The first band is the largest: only the last may be partly taken.
  std::vector<uint8_t> band_bytes(SheetBandBytes(source.cut, source.options, 0));
  const int64_t bands = SheetBandCount(source.cut);
  for (int64_t band = 0; band < bands; ++band) {
    const uint8_t seen = PackSheetBand(sheet, source.cut, source.options, band, band_bytes.data());
    if (seen >= kModes[static_cast<size_t>(source.cut.mode)].pens)
      return BandPenRefusal(sheet, source.cut, band);
    const std::span<const uint8_t> bytes(band_bytes.data(), SheetBandBytes(source.cut, source.options, band));
    file.Write(bytes);
    if (held != nullptr) held->insert(held->end(), bytes.begin(), bytes.end());
  }
  return std::nullopt;
}

// The frames' file and the source beside it (with its header in the
// dialects that have one), put in place together. The source text goes to
// its file as it is written: a sheet of small frames has a great many labels.
Refusal WriteOutputs(const Picture& sheet, const SheetSource& source, SourceText& text) {
  AsideFile frames_file(source.data_path);
  frames_file.Reserve(static_cast<uint64_t>(source.cut.frame_count * source.cut.frame_bytes));
  AsideFile source_file(text.names.source_path);
  StreamSource(text, source_file);
  std::vector<uint8_t> frames;
  const bool holds_bytes = !IncludesBinaryFiles(text);
  if (const Refusal refusal = WriteFrames(sheet, source, frames_file, holds_bytes ? &frames : nullptr))
    return refusal;
  DescribeSheet(text, source, frames);
  const std::vector<SourceFile> header = FinishSource(text);
  AsideFile* const others[] = {&frames_file, &source_file};
  return WriteSourceFiles(header, others);
}

// "a and b", "a, b and c": the files a run wrote.
std::string NamesOf(const SheetSource& source, const SourceNames& names) {
  std::string text = source.data_path;
  text += names.header_path.empty() ? " and " : ", ";
  text += names.source_path;
  if (!names.header_path.empty()) text += " and " + names.header_path;
  return text;
}

}  // namespace

void DescribeSheet(SourceText& text, const SheetSource& source, std::span<const uint8_t> frames) {
  const std::string& label = source.label;
  const SheetCut& cut = source.cut;
  AddLayoutComments(text, source);
  AddEquate(text, label + "_WIDTH", cut.width_bytes);
  AddEquate(text, label + "_HEIGHT", cut.frame_height);
  AddEquate(text, label + "_FRAME_SIZE", cut.frame_bytes);
  AddEquate(text, label + "_FRAMES", cut.frame_count);
  AddIncludedArray(text, label, source.data_path, frames, cut.frame_count * cut.frame_bytes, " ");
  AddNumberedLabels(text, label, label + "_", cut.frame_count, cut.frame_bytes);
  // The WinApe sheet files have always ended on the table's words, with no
  // equate of its size (the frame count is one).
  text.options.has_winape_equates = false;
  AddNumberedAddressTable(text, label + "_table", label + "_", cut.frame_count, 8, LineLayout{" ", " "});
}

bool CutSpriteSheet(const std::string& source_path, const std::string& name, int mode, int width_px,
                    int height, const std::vector<std::string>& options) {
  const Checked<SheetOptions> chosen = ReadSheetOptions(options, mode);
  if (const Refusal refusal = PrepareOutputs(name, chosen)) {
    PrintLine(kPrefix + *refusal);
    return false;
  }
  const std::optional<Picture> sheet = LoadSourceImage(source_path, 1);
  if (!sheet) return false;
  const Checked<SheetCut> cut = PlanSheetCut(sheet->width, sheet->height, mode, width_px, height, *chosen);
  const SheetSource source{LabelNamePart(name), name + ".spr", cut ? *cut : SheetCut{}, *chosen};
  SourceText text = StartSource(name + "_spr.asm", SourceContent::kData, ChosenSyntax(), SourceOptions{true});
  if (const Refusal refusal = cut ? WriteOutputs(*sheet, source, text) : cut.refusal()) {
    PrintLine(kPrefix + *refusal);
    return false;
  }
  PrintLine(kPrefix + PlainDecimal(cut->frames_cut) + " frames of " + SizeText(width_px, height) +
            " pixels cut, " + PlainDecimal(cut->columns) + " a row");
  PrintLine(kPrefix + PlainDecimal(cut->frame_count) + " frames of " + SizeText(cut->width_bytes, height) +
            " bytes, " + PlainDecimal(cut->frame_bytes) + " bytes each, in " + NamesOf(source, text.names));
  return true;
}
