#include "toolkit/inks/ink_conversion.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <memory>
#include <optional>
#include <utility>

#include "common/assembler_label.h"
#include "common/cpc_colours.h"
#include "common/image_io/colour_picture.h"
#include "common/image_io/picture_file.h"
#include "common/input_file.h"
#include "common/line_output.h"
#include "common/number_text.h"
#include "common/refusal.h"
#include "common/source_dialect.h"
#include "toolkit/inks/ink_choice.h"
#include "toolkit/inks/ink_mapping.h"

namespace {

constexpr char kPrefix[] = "ConvertToInks : ";

struct InkOptions {
  std::optional<std::string> inks;
  std::optional<Rgb> transparent;
  Dither dither = Dither::kNone;
  bool is_strict = false;
  bool is_plus = false;
  bool has_preview = true;
};

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

// The value of text as exactly digits hexadecimal digits, or -1.
int HexValue(std::string_view text, size_t digits) {
  if (text.size() != digits) return -1;
  int value = 0;
  for (const char c : text) {
    const int digit = HexDigit(c);
    if (digit < 0) return -1;
    value = value * 16 + digit;
  }
  return value;
}

// A firmware number 0 to 26 in plain decimal, or -1.
int FirmwareValue(std::string_view text) {
  if (text.empty() || text.size() > 2) return -1;
  int value = 0;
  for (const char c : text) {
    if (c < '0' || c > '9') return -1;
    value = value * 10 + (c - '0');
  }
  return value < kCpcColourCount ? value : -1;
}

Checked<InkOptions> ParseOptions(const std::vector<std::string>& options) {
  InkOptions parsed;
  for (const std::string& option : options) {
    const size_t equals = option.find('=');
    const std::string key = option.substr(0, equals);
    const std::string value = equals == std::string::npos ? "" : option.substr(equals + 1);
    const bool has_value = equals != std::string::npos;
    auto bad_value = [&] { return Checked<InkOptions>::Refused("bad value in " + option); };
    if (key == "--strict" || key == "--plus") {
      if (has_value) return bad_value();
      (key == "--strict" ? parsed.is_strict : parsed.is_plus) = true;
    } else if (key == "--inks") {
      if (value.empty()) return bad_value();
      parsed.inks = value;
    } else if (key == "--transparent") {
      const int colour = HexValue(value, 6);
      if (colour < 0) return bad_value();
      parsed.transparent = Rgb{static_cast<uint8_t>(colour >> 16), static_cast<uint8_t>(colour >> 8 & 0xFF),
                               static_cast<uint8_t>(colour & 0xFF)};
    } else if (key == "--dither") {
      if (value == "none") {
        parsed.dither = Dither::kNone;
      } else if (value == "floyd") {
        parsed.dither = Dither::kFloyd;
      } else if (value == "ordered") {
        parsed.dither = Dither::kOrdered;
      } else {
        return bad_value();
      }
    } else if (key == "--preview") {
      if (value != "no" && value != "yes") return bad_value();
      parsed.has_preview = value == "yes";
    } else {
      return Checked<InkOptions>::Refused("unknown option " + option);
    }
  }
  return parsed;
}

// The keys of --inks: firmware numbers, or with --plus 3-digit hex colours.
Checked<std::vector<int>> ParseInks(const std::string& text, ColourModel model, int pen_count) {
  std::vector<int> keys;
  size_t start = 0;
  while (true) {
    const size_t comma = text.find(',', start);
    const std::string item =
        text.substr(start, comma == std::string::npos ? std::string::npos : comma - start);
    const int key = model == ColourModel::kPlus ? HexValue(item, 3) : FirmwareValue(item);
    if (key < 0) {
      return Checked<std::vector<int>>::Refused("bad value in --inks=" + text + " : " +
                                                (model == ColourModel::kPlus
                                                     ? "colours are 3 hex digits RGB"
                                                     : "inks are firmware numbers 0 to 26"));
    }
    keys.push_back(key);
    if (comma == std::string::npos) break;
    start = comma + 1;
  }
  if (static_cast<int>(keys.size()) > pen_count) {
    return Checked<std::vector<int>>::Refused("--inks=" + text + " names more inks than the " +
                                              PlainDecimal(pen_count) + " pens");
  }
  return keys;
}

// The outputs, written aside and put in place as one group: a failure to
// write any of them replaces none.
struct Output {
  std::string path;
  std::vector<uint8_t> bytes;
};

Refusal WriteGroup(const std::vector<Output>& outputs) {
  std::vector<std::unique_ptr<AsideFile>> files;
  std::vector<AsideFile*> group;
  for (const Output& output : outputs) {
    files.push_back(std::make_unique<AsideFile>(output.path));
    files.back()->Write(output.bytes);
    group.push_back(files.back().get());
  }
  const GroupCommit commit = CommitTogether(group);
  if (commit.status != WriteStatus::kOk)
    return WriteFailureText(commit.status, outputs[commit.failed_index].path);
  return std::nullopt;
}

std::string PenName(ColourModel model, int key) {
  if (model == ColourModel::kPlus) return "colour " + Hex(static_cast<uint64_t>(key), 3);
  return "ink " + PlainDecimal(key) + " " + std::string(CpcColours()[static_cast<size_t>(key)].name);
}

void AddInkComments(SourceText& source, const std::string& name, int mode, ColourModel model,
                    const std::vector<int>& keys) {
  const std::string last_pen = PlainDecimal(static_cast<int64_t>(keys.size()) - 1);
  if (model == ColourModel::kPlus) {
    AddComment(source, " " + name + " : CPC+ colours of pens 0 to " + last_pen + " (gravik ink" +
                           PlainDecimal(mode) + " --plus), two bytes a pen: #RB then #0G");
  } else {
    AddComment(source, " " + name + " : inks of pens 0 to " + last_pen + " (gravik ink" + PlainDecimal(mode) +
                           "): firmware numbers, then the bytes for port &7F00");
  }
  for (size_t pen = 0; pen < keys.size(); ++pen) {
    AddComment(source, " pen " + PlainDecimal(static_cast<int64_t>(pen)) + " : " + PenName(model, keys[pen]));
  }
}

// One array on one line, " db " as the ink files have always had it.
void AddInkArray(SourceText& source, const std::string& array, const std::vector<SourceNumber>& values) {
  OpenArray(source, array);
  AddByteLine(source, values, {}, LineLayout{" ", " "});
  CloseArray(source);
}

// The inks of the pens, first the comments naming each, then the arrays:
// firmware numbers and gate array bytes, or the CPC+ colours. Every pen
// count is an equate for the program's loop (sdasz80 and C).
std::vector<SourceFile> InkSource(const std::string& name, int mode, ColourModel model,
                                  const std::vector<int>& keys, SourceSyntax syntax,
                                  const std::string& asm_path) {
  const std::string label = LabelNamePart(name);
  SourceText source = StartSource(asm_path, SourceContent::kData, syntax);
  AddInkComments(source, name, mode, model, keys);
  std::vector<SourceNumber> first;
  std::vector<SourceNumber> second;
  for (const int key : keys) {
    if (model == ColourModel::kPlus) {
      first.push_back(HexNumber((key >> 8 & 15) << 4 | (key & 15)));
      first.push_back(HexNumber(key >> 4 & 15));
    } else {
      first.push_back(DecimalNumber(key));
      second.push_back(HexNumber(CpcColours()[static_cast<size_t>(key)].gate_byte));
    }
  }
  const std::string first_array = (model == ColourModel::kPlus ? "plus_" : "inks_") + label;
  AddInkArray(source, first_array, first);
  if (model == ColourModel::kFirmware) AddInkArray(source, "gate_" + label, second);
  AddEquate(source, first_array + "_COUNT", static_cast<int64_t>(keys.size()));
  return FinishSource(source);
}

// The paths of files, as the console lists what was written.
std::string PathList(const std::vector<SourceFile>& files) {
  std::string list;
  for (const SourceFile& file : files) list += (list.empty() ? "" : ", ") + file.path;
  return list;
}

// "1.25": two decimals, rounded.
std::string TwoDecimals(double value) {
  const int64_t hundredths = static_cast<int64_t>(value * 100 + 0.5);
  const int64_t fraction = hundredths % 100;
  return PlainDecimal(hundredths / 100) + "." + (fraction < 10 ? "0" : "") + PlainDecimal(fraction);
}

}  // namespace

bool ConvertToInks(const std::string& source_path, const std::string& name, int mode,
                   const std::vector<std::string>& options) {
  auto refuse = [](const std::string& text) {
    PrintLine(kPrefix + text);
    return false;
  };
  const Checked<InkOptions> parsed = ParseOptions(options);
  if (!parsed) return refuse(parsed.refusal());
  const InkOptions& option = *parsed;
  const ColourModel model = option.is_plus ? ColourModel::kPlus : ColourModel::kFirmware;
  const int pen_count = mode == 0 ? 16 : mode == 1 ? 4 : 2;
  if (name.empty()) return refuse("the output name is empty");
  if (HasControlCharacter(name)) return refuse("the output name has a control character");
  if (const Refusal quoted = SourceNameRefusal(name + "_inks.asm", SourceContent::kData, ChosenSyntax()))
    return refuse(*quoted);
  std::vector<int> given;
  if (option.inks) {
    const Checked<std::vector<int>> keys = ParseInks(*option.inks, model, pen_count);
    if (!keys) return refuse(keys.refusal());
    given = *keys;
  }
  const std::string bmp_path = name + ".bmp";
  const SourceNames source_names =
      SourceOutputNames(name + "_inks.asm", SourceContent::kData, ChosenSyntax());
  const std::string& asm_path = source_names.source_path;
  const std::string preview_path = name + "_preview.png";
  for (const std::string& output : {bmp_path, asm_path, source_names.header_path, preview_path}) {
    if ((output == preview_path && !option.has_preview) || output.empty()) continue;
    if (IsSameFile(output, source_path)) return refuse(output + " would replace the source " + source_path);
  }
  const Checked<ColourPicture> picture = LoadColourPicture(source_path);
  if (!picture) return refuse(picture.refusal());
  PictureRef ref{picture->width, picture->height, picture->rgba.data(), option.transparent.has_value(),
                 option.transparent.value_or(Rgb{})};
  const bool is_reserved = option.transparent.has_value() || picture->has_transparency;
  PenMap map;
  map.model = model;
  map.first_opaque_pen = is_reserved ? 1 : 0;
  std::vector<int> pen_keys;
  if (option.inks) {
    map.opaque_keys.assign(given.begin() + (is_reserved ? 1 : 0), given.end());
    std::vector<int> sorted = map.opaque_keys;
    std::sort(sorted.begin(), sorted.end());
    if (std::adjacent_find(sorted.begin(), sorted.end()) != sorted.end()) {
      return refuse("--inks=" + *option.inks + " names an ink twice" +
                    (is_reserved ? " (pen 0's ink, for the transparent pixels, may come once more)" : ""));
    }
    pen_keys = given;
  } else {
    map.opaque_keys = ChooseInkKeys(CountColours(ref, model), model, pen_count - map.first_opaque_pen);
    if (is_reserved) pen_keys.push_back(0);  // black behind the transparent pixels
    pen_keys.insert(pen_keys.end(), map.opaque_keys.begin(), map.opaque_keys.end());
  }
  if (map.opaque_keys.empty()) {
    const uint8_t* p = ref.rgba;
    for (size_t i = 0; i < picture->rgba.size() / 4; ++i, p += 4) {
      if (!ref.IsTransparent(p))
        return refuse("no pen is left for the opaque pixels: --inks names pen 0 only");
    }
  }
  if (option.is_strict) {
    const std::optional<StrictFault> fault = FirstStrictFault(ref, map);
    if (fault) {
      const std::string where = "pixel " + PlainDecimal(fault->x) + "," + PlainDecimal(fault->y) + " #" +
                                Hex(fault->colour.red, 2) + Hex(fault->colour.green, 2) +
                                Hex(fault->colour.blue, 2);
      if (model == ColourModel::kFirmware && !fault->is_cpc_colour) {
        return refuse(where + " is not a CPC colour within the tolerance bands (--strict)");
      }
      if (option.inks) return refuse(where + " is not one of --inks=" + *option.inks + " (--strict)");
      return refuse(where + " needs more inks than the " + PlainDecimal(pen_count - map.first_opaque_pen) +
                    " pens (--strict)");
    }
  }
  MappedPicture mapped = MapToPens(ref, map, option.dither);
  Picture pens = PictureFromPens(picture->width, picture->height, mapped.pens.data());
  for (size_t pen = 0; pen < pen_keys.size(); ++pen) pens.palette[pen] = NominalColour(model, pen_keys[pen]);
  std::vector<Output> outputs;
  std::optional<std::vector<uint8_t>> bmp = EncodeBmpPicture(pens);
  if (!bmp) return refuse(WriteFailureText(WriteStatus::kCannotWrite, bmp_path));
  outputs.push_back({bmp_path, std::move(*bmp)});
  const std::vector<SourceFile> source_files =
      InkSource(name, mode, model, pen_keys, source_names.syntax, name + "_inks.asm");
  for (const SourceFile& file : source_files)
    outputs.push_back({file.path, {file.text.begin(), file.text.end()}});
  if (option.has_preview) {
    const int scale_x = mode == 0 ? 4 : mode == 1 ? 2 : 1;
    std::optional<std::vector<uint8_t>> preview = EncodeScaledPngPicture(pens, scale_x, 2);
    if (!preview) return refuse(WriteFailureText(WriteStatus::kCannotWrite, preview_path));
    outputs.push_back({preview_path, std::move(*preview)});
  }
  const Refusal written = WriteGroup(outputs);
  if (written) return refuse(*written);
  PrintLine(kPrefix + ("source " + source_path));
  PrintLine(kPrefix + ("size " + PlainDecimal(picture->width) + " x " + PlainDecimal(picture->height)));
  for (size_t pen = 0; pen < pen_keys.size(); ++pen) {
    PrintLine(kPrefix + ("pen " + PlainDecimal(static_cast<int64_t>(pen)) + " : " +
                         PenName(model, pen_keys[pen]) + (pen == 0 && is_reserved ? " (transparent)" : "")));
  }
  PrintLine(kPrefix + ("mean colour error " + TwoDecimals(mapped.mean_error) + " (CIELAB delta E)"));
  std::string written_list = bmp_path + ", " + PathList(source_files);
  if (option.has_preview) written_list += ", " + preview_path;
  PrintLine(kPrefix + ("wrote " + written_list));
  return true;
}
