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

std::string PenName(ColourModel model, int key) {
  if (model == ColourModel::kPlus) return "colour " + Hex(static_cast<uint64_t>(key), 3);
  return "ink " + PlainDecimal(key) + " " + std::string(CpcColours()[static_cast<size_t>(key)].name);
}

std::vector<std::string> InkSource(const std::string& name, int mode, ColourModel model,
                                   const std::vector<int>& keys) {
  const std::string label = LabelNamePart(name);
  std::vector<std::string> lines;
  if (model == ColourModel::kPlus) {
    lines.push_back("; " + name + " : CPC+ colours of pens 0 to " +
                    PlainDecimal(static_cast<int64_t>(keys.size()) - 1) + " (gravik ink" +
                    PlainDecimal(mode) + " --plus), two bytes a pen: #RB then #0G");
  } else {
    lines.push_back("; " + name + " : inks of pens 0 to " +
                    PlainDecimal(static_cast<int64_t>(keys.size()) - 1) + " (gravik ink" +
                    PlainDecimal(mode) + "): firmware numbers, then the bytes for port &7F00");
  }
  for (size_t pen = 0; pen < keys.size(); ++pen) {
    lines.push_back("; pen " + PlainDecimal(static_cast<int64_t>(pen)) + " : " + PenName(model, keys[pen]));
  }
  std::string first = " db ";
  std::string second = " db ";
  for (size_t pen = 0; pen < keys.size(); ++pen) {
    const std::string comma = pen == 0 ? "" : ",";
    const int key = keys[pen];
    if (model == ColourModel::kPlus) {
      first += comma + "#" + Hex(static_cast<uint64_t>((key >> 8 & 15) << 4 | (key & 15)), 2) + ",#" +
               Hex(static_cast<uint64_t>(key >> 4 & 15), 2);
    } else {
      first += comma + PlainDecimal(key);
      second += comma + "#" + Hex(CpcColours()[static_cast<size_t>(key)].gate_byte, 2);
    }
  }
  if (model == ColourModel::kPlus) {
    lines.push_back("plus_" + label + ":");
    lines.push_back(first);
  } else {
    lines.push_back("inks_" + label + ":");
    lines.push_back(first);
    lines.push_back("gate_" + label + ":");
    lines.push_back(second);
  }
  return lines;
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
  std::vector<int> given;
  if (option.inks) {
    const Checked<std::vector<int>> keys = ParseInks(*option.inks, model, pen_count);
    if (!keys) return refuse(keys.refusal());
    given = *keys;
  }
  const std::string bmp_path = name + ".bmp";
  const std::string asm_path = name + "_inks.asm";
  const std::string preview_path = name + "_preview.png";
  for (const std::string& output : {bmp_path, asm_path, preview_path}) {
    if (output == preview_path && !option.has_preview) continue;
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
  std::vector<OutputBytes> outputs;
  std::optional<std::vector<uint8_t>> bmp = EncodeBmpPicture(pens);
  if (!bmp) return refuse(WriteFailureText(WriteStatus::kCannotWrite, bmp_path));
  outputs.push_back({bmp_path, std::move(*bmp)});
  outputs.push_back({asm_path, TextFileBytes(InkSource(name, mode, model, pen_keys))});
  if (option.has_preview) {
    const int scale_x = mode == 0 ? 4 : mode == 1 ? 2 : 1;
    std::optional<std::vector<uint8_t>> preview = EncodeScaledPngPicture(pens, scale_x, 2);
    if (!preview) return refuse(WriteFailureText(WriteStatus::kCannotWrite, preview_path));
    outputs.push_back({preview_path, std::move(*preview)});
  }
  const Refusal written = WriteOutputGroup(outputs);
  if (written) return refuse(*written);
  PrintLine(kPrefix + ("source " + source_path));
  PrintLine(kPrefix + ("size " + PlainDecimal(picture->width) + " x " + PlainDecimal(picture->height)));
  for (size_t pen = 0; pen < pen_keys.size(); ++pen) {
    PrintLine(kPrefix + ("pen " + PlainDecimal(static_cast<int64_t>(pen)) + " : " +
                         PenName(model, pen_keys[pen]) + (pen == 0 && is_reserved ? " (transparent)" : "")));
  }
  PrintLine(kPrefix + ("mean colour error " + TwoDecimals(mapped.mean_error) + " (CIELAB delta E)"));
  std::string written_list = bmp_path + ", " + asm_path;
  if (option.has_preview) written_list += ", " + preview_path;
  PrintLine(kPrefix + ("wrote " + written_list));
  return true;
}
