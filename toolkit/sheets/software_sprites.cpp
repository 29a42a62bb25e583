#include "toolkit/sheets/software_sprites.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <memory>
#include <optional>
#include <span>

#include "common/assembler_label.h"
#include "common/cpc_pixels.h"
#include "common/line_output.h"
#include "common/number_text.h"
#include "toolkit/source_image.h"

namespace {

constexpr char kPrefix[] = "CutSpriteSheet : ";

// What each screen mode packs: pixels a byte and the pens it shows.
struct ModeLayout {
  int pixels_per_byte = 2;
  int pens = 16;
  void (*pack_row)(const uint8_t* pens, int width_px, uint8_t* out) = PackMode0Row;
};

constexpr std::array<ModeLayout, 3> kModes = {{
    {2, 16, PackMode0Row},
    {4, 4, PackMode1Row},
    {8, 2, PackMode2Row},
}};

// A pen of 0xFF sets every bit of its pixel in any mode (the packers read only
// the pen bits the mode has): what a mask byte holds for a transparent pixel.
constexpr uint8_t kAllBitsPen = 0xFF;

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

// The first pen of row beyond the mode's, as a refusal; row holds span
// pixels. The mode's pens are a power of two, so a pen beyond them has a bit
// above theirs: one OR over the row finds whether there is one.
Refusal RowPenRefusal(const uint8_t* row, int span, int y, int mode) {
  const int pens = kModes[static_cast<size_t>(mode)].pens;
  uint8_t bits = 0;
  for (int x = 0; x < span; ++x) bits = static_cast<uint8_t>(bits | row[x]);
  if (bits < pens) return std::nullopt;
  const int x =
      static_cast<int>(std::find_if(row, row + span, [pens](uint8_t pen) { return pen >= pens; }) - row);
  return "pen " + PlainDecimal(row[x]) + " at " + PlainDecimal(x) + ", " + PlainDecimal(y) +
         " is not a pen of mode " + PlainDecimal(mode) + " (0 to " + PlainDecimal(pens - 1) + ")";
}

// The working rows of one band: the mask pens of a line, then the line's
// pens packed as data bytes and as mask bytes.
struct LineBuffers {
  std::vector<uint8_t> mask_pens;
  std::vector<uint8_t> data_bytes;
  std::vector<uint8_t> mask_bytes;
};

LineBuffers MakeLineBuffers(int span, const SheetCut& cut, const SheetOptions& options) {
  const size_t pens = static_cast<size_t>(span);
  const size_t bytes = pens / static_cast<size_t>(kModes[static_cast<size_t>(cut.mode)].pixels_per_byte);
  LineBuffers buffers;
  if (!options.has_mask) return buffers;
  buffers.mask_pens.resize(pens);
  buffers.mask_bytes.resize(bytes);
  buffers.data_bytes.resize(bytes);
  return buffers;
}

// The data and mask bytes of span pens of a masked sheet. The mask has every bit of a
// transparent pixel set; packing is bit for bit per pixel, so clearing the
// mask's bits from the packed pens leaves the data with 0 in them.
void PackLine(const uint8_t* pens, int span, const ModeLayout& layout, const SheetOptions& options,
              LineBuffers& buffers) {
  layout.pack_row(pens, span, buffers.data_bytes.data());
  const uint8_t clear = static_cast<uint8_t>(options.mask_pen);
  uint8_t* mask_pens = buffers.mask_pens.data();
  for (int x = 0; x < span; ++x) mask_pens[x] = pens[x] == clear ? kAllBitsPen : 0;
  layout.pack_row(mask_pens, span, buffers.mask_bytes.data());
  uint8_t* data = buffers.data_bytes.data();
  const uint8_t* mask = buffers.mask_bytes.data();
  for (size_t k = 0; k < buffers.data_bytes.size(); ++k) data[k] = static_cast<uint8_t>(data[k] & ~mask[k]);
}

// One frame line of width_bytes at to: the bytes of data (each after its mask
// byte when mask is not null), in order, or mirrored: from the last byte back,
// each through the mode's mirror table.
void WriteFrameLine(const uint8_t* data, const uint8_t* mask, size_t width_bytes, const uint8_t* mirror,
                    uint8_t* to) {
  if (mirror == nullptr && mask == nullptr) {
    std::memcpy(to, data, width_bytes);
  } else if (mirror == nullptr) {
    for (size_t k = 0; k < width_bytes; ++k) {
      to[2 * k] = mask[k];
      to[2 * k + 1] = data[k];
    }
  } else if (mask == nullptr) {
    for (size_t k = 0; k < width_bytes; ++k) to[k] = mirror[data[width_bytes - 1 - k]];
  } else {
    for (size_t k = 0; k < width_bytes; ++k) {
      to[2 * k] = mirror[mask[width_bytes - 1 - k]];
      to[2 * k + 1] = mirror[data[width_bytes - 1 - k]];
    }
  }
}

// Line `line` of every frame of the band at its place in out, each frame
// followed by its mirror image when mirror is not null. Unmasked frames are
// packed in place; masked ones interleave the line's packed mask and data.
void PlaceLine(const uint8_t* pens, const SheetCut& cut, const LineBuffers& buffers, bool has_mask,
               const uint8_t* mirror, int frames, int line, uint8_t* out) {
  const size_t width_bytes = static_cast<size_t>(cut.width_bytes);
  const size_t frame_bytes = static_cast<size_t>(cut.frame_bytes);
  const size_t step = frame_bytes * (mirror == nullptr ? 1 : 2);
  uint8_t* to = out + static_cast<size_t>(line) * static_cast<size_t>(cut.line_bytes);
  if (!has_mask) {
    const int pixels_per_byte = kModes[static_cast<size_t>(cut.mode)].pixels_per_byte;
    PackRowInChunks(pixels_per_byte, pens, frames, cut.frame_width_px, to, step);
  }
  for (int frame = 0; frame < frames; ++frame, to += step) {
    const size_t from = static_cast<size_t>(frame) * width_bytes;
    const uint8_t* mask = has_mask ? buffers.mask_bytes.data() + from : nullptr;
    const uint8_t* data = has_mask ? buffers.data_bytes.data() + from : to;
    if (has_mask) WriteFrameLine(data, mask, width_bytes, nullptr, to);
    if (mirror != nullptr) WriteFrameLine(data, mask, width_bytes, mirror, to + frame_bytes);
  }
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

void PackSheetBand(const Picture& sheet, const SheetCut& cut, const SheetOptions& options, int64_t band,
                   uint8_t* out) {
  const ModeLayout& layout = kModes[static_cast<size_t>(cut.mode)];
  const int frames = FramesInBand(cut, band);
  const int span = frames * cut.frame_width_px;
  const uint8_t* mirror = options.is_mirrored ? MirroredBytes(layout.pixels_per_byte).data() : nullptr;
  LineBuffers buffers = MakeLineBuffers(span, cut, options);
  for (int line = 0; line < cut.frame_height; ++line) {
    const uint8_t* pens = sheet.Row(static_cast<int>(band * cut.frame_height + line));
    if (options.has_mask) PackLine(pens, span, layout, options, buffers);
    PlaceLine(pens, cut, buffers, options.has_mask, mirror, frames, line, out);
  }
}

namespace {

// Text gathered and handed on in pieces, so that a sheet of many small frames
// never holds its whole source in memory. A line is built in place by Append
// calls and closed by EndLine.
class PieceWriter {
 public:
  explicit PieceWriter(const TextSink& write) : write_(write) { text_.reserve(kPieceBytes + 256); }
  ~PieceWriter() { Flush(); }
  PieceWriter(const PieceWriter&) = delete;
  PieceWriter& operator=(const PieceWriter&) = delete;

  PieceWriter& Append(std::string_view text) {
    text_ += text;
    return *this;
  }
  PieceWriter& AppendNumber(int64_t value) {
    AppendPlainDecimal(text_, value);
    return *this;
  }
  void EndLine() {
    text_ += kLineEnd;
    if (text_.size() >= kPieceBytes) Flush();
  }
  void Line(std::string_view text) { Append(text).EndLine(); }
  void Flush() {
    if (!text_.empty()) write_(text_);
    text_.clear();
  }

 private:
  static constexpr size_t kPieceBytes = 64 * 1024;
  const TextSink& write_;
  std::string text_;
};

constexpr int kTableWordsALine = 8;

// The comment lines that say how the frames are laid out and drawn.
void WriteLayoutComments(const SheetSource& source, PieceWriter& out) {
  const SheetCut& cut = source.cut;
  out.Line("; " + source.data_path + " : " + PlainDecimal(cut.frame_count) + " frames of " +
           SizeText(cut.width_bytes, cut.frame_height) + " bytes (width x lines) in the mode " +
           PlainDecimal(cut.mode) + " byte layout, lines from the top");
  if (source.options.has_mask) {
    out.Line("; a mask byte before each data byte, screen = (screen AND mask) OR data: pen " +
             PlainDecimal(source.options.mask_pen) + " shows the background");
  }
  if (source.options.is_mirrored) out.Line("; frame 2i + 1 is frame 2i mirrored");
}

void WriteEquate(PieceWriter& out, const std::string& label, std::string_view suffix, int64_t value) {
  out.Line(label + std::string(suffix) + " equ " + PlainDecimal(value));
}

void WriteFrameLabels(const SheetSource& source, PieceWriter& out) {
  const std::string& label = source.label;
  for (int64_t frame = 0; frame < source.cut.frame_count; ++frame) {
    out.Append(label).Append("_").AppendNumber(frame).Append(" equ ").Append(label).Append("+");
    out.AppendNumber(frame * source.cut.frame_bytes).EndLine();
  }
}

void WriteAddressTable(const SheetSource& source, PieceWriter& out) {
  const std::string& label = source.label;
  out.Line(label + "_table:");
  for (int64_t frame = 0; frame < source.cut.frame_count; ++frame) {
    out.Append(frame % kTableWordsALine == 0 ? " dw " : ",").Append(label).Append("_").AppendNumber(frame);
    if (frame % kTableWordsALine == kTableWordsALine - 1 || frame + 1 == source.cut.frame_count)
      out.EndLine();
  }
}

Refusal PrepareOutputs(const std::string& name, const Checked<SheetOptions>& options) {
  // The frames' file is named between quotes in the source's incbin line.
  if (const Refusal refusal = QuotedNameRefusal("Name", name)) return refusal;
  if (options.IsRefused()) return options.refusal();
  return std::nullopt;
}

// The frames' file band by band, each band's pens checked just before it is
// packed, while they are in the cache: a refusal stops the writing, and the
// file written aside is then dropped.
Refusal WriteFrames(const Picture& sheet, const SheetSource& source, AsideFile& file) {
  // The first band is the largest: only the last may be partly taken.
  std::vector<uint8_t> band_bytes(SheetBandBytes(source.cut, source.options, 0));
  const int64_t bands = SheetBandCount(source.cut);
  for (int64_t band = 0; band < bands; ++band) {
    if (const Refusal refusal = BandPenRefusal(sheet, source.cut, band)) return refusal;
    PackSheetBand(sheet, source.cut, source.options, band, band_bytes.data());
    file.Write(std::span(band_bytes.data(), SheetBandBytes(source.cut, source.options, band)));
  }
  return std::nullopt;
}

// The frames' file and the source beside it, put in place together.
Refusal WriteOutputs(const Picture& sheet, const SheetSource& source, const std::string& source_path) {
  AsideFile frames_file(source.data_path);
  AsideFile source_file(source_path);
  if (const Refusal refusal = WriteFrames(sheet, source, frames_file)) return refusal;
  if (source_file.IsOpen())
    WriteSheetSource(source, [&source_file](std::string_view text) { source_file.Write(text); });
  AsideFile* const group[] = {&frames_file, &source_file};
  const GroupCommit commit = CommitTogether(group);
  if (commit.status == WriteStatus::kOk) return std::nullopt;
  return WriteFailureText(commit.status, group[commit.failed_index]->path());
}

}  // namespace

void WriteSheetSource(const SheetSource& source, const TextSink& write) {
  PieceWriter out(write);
  WriteLayoutComments(source, out);
  WriteEquate(out, source.label, "_WIDTH", source.cut.width_bytes);
  WriteEquate(out, source.label, "_HEIGHT", source.cut.frame_height);
  WriteEquate(out, source.label, "_FRAME_SIZE", source.cut.frame_bytes);
  WriteEquate(out, source.label, "_FRAMES", source.cut.frame_count);
  WriteEquate(out, source.label, "_SIZE", source.cut.frame_count * source.cut.frame_bytes);
  out.Line(source.label + ":");
  out.Line(" incbin \"" + source.data_path + "\"");
  WriteFrameLabels(source, out);
  WriteAddressTable(source, out);
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
  if (const Refusal refusal = cut ? WriteOutputs(*sheet, source, name + "_spr.asm") : cut.refusal()) {
    PrintLine(kPrefix + *refusal);
    return false;
  }
  PrintLine(kPrefix + PlainDecimal(cut->frames_cut) + " frames of " + SizeText(width_px, height) +
            " pixels cut, " + PlainDecimal(cut->columns) + " a row");
  PrintLine(kPrefix + PlainDecimal(cut->frame_count) + " frames of " + SizeText(cut->width_bytes, height) +
            " bytes, " + PlainDecimal(cut->frame_bytes) + " bytes each, in " + source.data_path + " and " +
            name + "_spr.asm");
  return true;
}
