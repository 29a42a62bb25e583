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
#include "toolkit/inks/dither_choice.h"
#include "toolkit/inks/ink_choice.h"
#include "toolkit/inks/ink_mapping.h"
#include "toolkit/inks/ink_sizing.h"
#include "toolkit/inks/pen_zero.h"
#include "toolkit/inks/picture_scaling.h"

namespace {

constexpr char kPrefix[] = "ConvertToInks : ";

struct InkOptions {
  std::optional<std::string> inks;
  std::optional<Rgb> transparent;
  Dither dither = Dither::kNone;
  bool is_strict = false;
  bool is_plus = false;
  bool has_preview = true;
  std::optional<std::string> pen0;  // "edge", or RRGGBB checked
  bool is_fit = false;
  std::optional<std::string> size;  // as typed: checked with the mode
};

// The value of text as exactly digits hexadecimal digits, or -1.
int HexValue(std::string_view text, size_t digits) {
  const Checked<uint32_t> value = ParseDigits(text, 16, 0xFFFFFF);
  return text.size() == digits && value ? static_cast<int>(*value) : -1;
}

// A firmware number 0 to 26 in plain decimal (one or two digits), or -1.
int FirmwareValue(std::string_view text) {
  const Checked<uint32_t> value = ParseDigits(text, 10, kCpcColourCount - 1);
  return text.size() <= 2 && value ? static_cast<int>(*value) : -1;
}

Checked<Dither> ParseDither(const std::string& value) {
  if (value == "none") return Dither::kNone;
  if (value == "floyd") return Dither::kFloyd;
  if (value == "ordered") return Dither::kOrdered;
  return Checked<Dither>::Refused("unknown dither");
}

Checked<Rgb> ParseColour(std::string_view text) {
  const int colour = HexValue(text, 6);
  if (colour < 0) return Checked<Rgb>::Refused("not RRGGBB");
  return Rgb{static_cast<uint8_t>(colour >> 16), static_cast<uint8_t>(colour >> 8 & 0xFF),
             static_cast<uint8_t>(colour & 0xFF)};
}

// The options of the picture's size and pen 0; false for any other key.
bool ParseLayoutOption(const std::string& key, const std::string& value, bool has_value, InkOptions& parsed,
                       Refusal& refusal) {
  if (key == "--fit") {
    parsed.is_fit = true;
    if (has_value) refusal = "bad value in --fit=" + value;
  } else if (key == "--size") {
    parsed.size = value;
  } else if (key == "--pen0") {
    parsed.pen0 = value;
    if (value != "edge" && !ParseColour(value)) refusal = "bad value in --pen0=" + value;
  } else {
    return false;
  }
  return true;
}

// Takes one option into parsed; a refusal says which part was wrong.
Refusal ParseOption(const std::string& option, InkOptions& parsed) {
  const size_t equals = option.find('=');
  const std::string key = option.substr(0, equals);
  const std::string value = equals == std::string::npos ? "" : option.substr(equals + 1);
  const Refusal bad_value = "bad value in " + option;
  if (key == "--strict" || key == "--plus") {
    if (equals != std::string::npos) return bad_value;
    (key == "--strict" ? parsed.is_strict : parsed.is_plus) = true;
  } else if (key == "--inks") {
    if (value.empty()) return bad_value;
    parsed.inks = value;
  } else if (key == "--transparent") {
    const Checked<Rgb> colour = ParseColour(value);
    if (!colour) return bad_value;
    parsed.transparent = *colour;
  } else if (key == "--dither") {
    const Checked<Dither> dither = ParseDither(value);
    if (!dither) return bad_value;
    parsed.dither = *dither;
  } else if (key == "--preview") {
    if (value != "no" && value != "yes") return bad_value;
    parsed.has_preview = value == "yes";
  } else if (Refusal refusal; ParseLayoutOption(key, value, equals != std::string::npos, parsed, refusal)) {
    return refusal;
  } else {
    return "unknown option " + option;
  }
  return std::nullopt;
}

// Each option once: of "--inks=0,1 --inks=2,3" neither is more meant than
// the other, so a repeated name (whatever its values) is refused.
Refusal RepeatedOption(const std::vector<std::string>& options) {
  for (size_t k = 0; k < options.size(); ++k) {
    const std::string key = options[k].substr(0, options[k].find('='));
    for (size_t before = 0; before < k; ++before) {
      if (options[before].substr(0, options[before].find('=')) == key) return key + " given twice";
    }
  }
  return std::nullopt;
}

Checked<InkOptions> ParseOptions(const std::vector<std::string>& options) {
  if (const Refusal repeated = RepeatedOption(options)) return Checked<InkOptions>::Refused(*repeated);
  InkOptions parsed;
  for (const std::string& option : options) {
    if (const Refusal refused = ParseOption(option, parsed)) return Checked<InkOptions>::Refused(*refused);
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
  return CommitTogether(group);
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
  // The one equate the WinApe ink file carries too: it lists only the inks in
  // use, so a program setting the pens loops over this count, never over 16.
  source.options.has_winape_equates = true;
  AddEquate(source, first_array + "_COUNT", static_cast<int64_t>(keys.size()));
  return FinishSource(source);
}

// "1.25": two decimals, rounded.
std::string TwoDecimals(double value) {
  const int64_t hundredths = static_cast<int64_t>(value * 100 + 0.5);
  const int64_t fraction = hundredths % 100;
  return PlainDecimal(hundredths / 100) + "." + (fraction < 10 ? "0" : "") + PlainDecimal(fraction);
}

// What the words ask for, checked before the picture is read.
struct InkRequest {
  InkOptions option;
  ColourModel model = ColourModel::kFirmware;
  int pen_count = 16;
  std::vector<int> given;  // the keys of --inks, when given
  std::string bmp_path;
  SourceNames source_names;  // the inks' source and, in sdasz80 and C, its header
  std::string preview_path;
  std::optional<PictureSize> size;  // of --size
};

int PenCount(ScreenMode mode) { return mode == ScreenMode::kMode0 ? 16 : mode == ScreenMode::kMode1 ? 4 : 2; }
int ModeNumber(ScreenMode mode) {
  return mode == ScreenMode::kMode0 ? 0 : mode == ScreenMode::kMode1 ? 1 : 2;
}

// The options that can not go together, and --size in the mode's bytes.
Refusal ReadLayout(ScreenMode mode, InkRequest& request) {
  const InkOptions& option = request.option;
  if (option.is_fit && option.size) return "--fit and --size can not be used together";
  if (option.pen0 && option.transparent)
    return "--pen0 can not be used with --transparent: pen 0 holds the transparent pixels";
  if (option.pen0 && option.inks) return "--pen0 can not be used with --inks, whose first ink is pen 0's";
  if (option.size) {
    const Checked<PictureSize> size = ParseSize(*option.size, mode);
    if (!size) return size.refusal();
    request.size = *size;
  }
  return std::nullopt;
}

// The options, the output name and the outputs' paths, none of which may be the source.
Checked<InkRequest> ReadRequest(const std::string& source_path, const std::string& name, ScreenMode mode,
                                const std::vector<std::string>& options) {
  using Result = Checked<InkRequest>;
  const Checked<InkOptions> parsed = ParseOptions(options);
  if (!parsed) return Result::Refused(parsed.refusal());
  InkRequest request{*parsed,
                     parsed->is_plus ? ColourModel::kPlus : ColourModel::kFirmware,
                     PenCount(mode),
                     {},
                     name + ".bmp",
                     SourceOutputNames(name + "_inks.asm", SourceContent::kData, ChosenSyntax()),
                     name + "_preview.png",
                     std::nullopt};
  if (const Refusal layout = ReadLayout(mode, request)) return Result::Refused(*layout);
  if (name.empty()) return Result::Refused("the output name is empty");
  if (HasControlCharacter(name)) return Result::Refused("the output name has a control character");
  if (const Refusal quoted = SourceNameRefusal(name + "_inks.asm", SourceContent::kData, ChosenSyntax()))
    return Result::Refused(*quoted);
  if (request.option.inks) {
    const Checked<std::vector<int>> keys = ParseInks(*request.option.inks, request.model, request.pen_count);
    if (!keys) return Result::Refused(keys.refusal());
    request.given = *keys;
  }
  const SourceNames& source = request.source_names;
  for (const std::string& output : {request.bmp_path, source.source_path, source.header_path, request.preview_path}) {
    if ((output == request.preview_path && !request.option.has_preview) || output.empty()) continue;
    if (IsSameFile(output, source_path))
      return Result::Refused(output + " would replace the source " + source_path);
  }
  return request;
}

// The pens of the picture: the map of its opaque pixels to inks, and the
// key of every pen in order (pen 0 first, black behind transparent pixels
// when the inks were chosen here).
struct PenPlan {
  PenMap map;
  std::vector<int> pen_keys;
  bool is_reserved = false;  // pen 0 is for the transparent pixels
};

bool HasOpaquePixel(const PictureRef& ref) {
  const uint8_t* p = ref.rgba;
  const size_t pixels = static_cast<size_t>(ref.width) * static_cast<size_t>(ref.height);
  for (size_t i = 0; i < pixels; ++i, p += 4) {
    if (!ref.IsTransparent(p)) return true;
  }
  return false;
}

// The inks --inks names for the opaque pixels, each once.
Refusal TakeGivenInks(const InkRequest& request, PenPlan& plan) {
  const std::vector<int>& given = request.given;
  plan.map.opaque_keys.assign(given.begin() + (plan.is_reserved ? 1 : 0), given.end());
  std::vector<int> sorted = plan.map.opaque_keys;
  std::sort(sorted.begin(), sorted.end());
  if (std::adjacent_find(sorted.begin(), sorted.end()) != sorted.end()) {
    return "--inks=" + *request.option.inks + " names an ink twice" +
           (plan.is_reserved ? " (pen 0's ink, for the transparent pixels, may come once more)" : "");
  }
  plan.pen_keys = given;
  return std::nullopt;
}

// --pen0: the chosen inks with the asked one first, the others in their order.
std::vector<int> PenZeroFirst(const InkRequest& request, const PictureRef& ref,
                              const std::vector<int>& keys) {
  if (!request.option.pen0 || keys.empty()) return keys;
  const std::string& pen0 = *request.option.pen0;
  const size_t index = pen0 == "edge" ? EdgeInkIndex(ref, request.model, keys)
                                      : InkIndexOf(request.model, keys, *ParseColour(pen0));
  return WithInkFirst(keys, index);
}

Checked<PenPlan> PlanPens(const InkRequest& request, const PictureRef& ref, bool has_transparency) {
  PenPlan plan;
  plan.is_reserved = request.option.transparent.has_value() || has_transparency;
  plan.map.model = request.model;
  plan.map.first_opaque_pen = plan.is_reserved ? 1 : 0;
  // --strict promises that every pixel is the ink it IS: the bands hold.
  plan.map.is_exact_under_dither = request.option.dither == Dither::kNone || request.option.is_strict ||
                                   BandsHoldUnderDither(ref, request.model);
  if (request.option.inks) {
    if (const Refusal twice = TakeGivenInks(request, plan)) return Checked<PenPlan>::Refused(*twice);
  } else {
    const int n = request.pen_count - plan.map.first_opaque_pen;
    plan.map.opaque_keys = InksForDither(ref, request.model, request.option.dither, plan.map.first_opaque_pen,
                                         plan.map.is_exact_under_dither,
                                         ChooseInkKeys(CountColours(ref, request.model), request.model, n), n);
    plan.map.opaque_keys = PenZeroFirst(request, ref, plan.map.opaque_keys);
    if (plan.is_reserved) plan.pen_keys.push_back(0);  // black behind the transparent pixels
    plan.pen_keys.insert(plan.pen_keys.end(), plan.map.opaque_keys.begin(), plan.map.opaque_keys.end());
  }
  if (plan.map.opaque_keys.empty() && HasOpaquePixel(ref))
    return Checked<PenPlan>::Refused("no pen is left for the opaque pixels: --inks names pen 0 only");
  return plan;
}

// --strict: every opaque pixel must already be one of the inks.
Refusal CheckStrict(const InkRequest& request, const PictureRef& ref, const PenMap& map) {
  const std::optional<StrictFault> fault = FirstStrictFault(ref, map);
  if (!fault) return std::nullopt;
  const std::string where = "pixel " + PlainDecimal(fault->x) + "," + PlainDecimal(fault->y) + " #" +
                            Hex(fault->colour.red, 2) + Hex(fault->colour.green, 2) +
                            Hex(fault->colour.blue, 2);
  if (request.model == ColourModel::kFirmware && !fault->is_cpc_colour)
    return where + " is not a CPC colour within the tolerance bands (--strict)";
  if (request.option.inks) return where + " is not one of --inks=" + *request.option.inks + " (--strict)";
  return where + " needs more inks than the " + PlainDecimal(request.pen_count - map.first_opaque_pen) +
         " pens (--strict)";
}

// A preview pixel is this many pixels wide (and 2 tall): the mode pixel's shape.
int PreviewScaleX(ScreenMode mode) {
  return mode == ScreenMode::kMode0 ? 4 : mode == ScreenMode::kMode1 ? 2 : 1;
}

// The bytes of every output: the 8-bit picture, the ink source, the preview.
Checked<std::vector<Output>> EncodeOutputs(const InkRequest& request, const std::string& name,
                                           ScreenMode mode, const Picture& pens,
                                           const std::vector<int>& pen_keys) {
  using Result = Checked<std::vector<Output>>;
  std::vector<Output> outputs;
  Checked<std::vector<uint8_t>> bmp = EncodeBmpPicture(pens);
  if (!bmp) return Result::Refused("Can not write " + request.bmp_path);
  outputs.push_back({request.bmp_path, std::move(*bmp)});
  for (const SourceFile& file : InkSource(name, ModeNumber(mode), request.model, pen_keys,
                                          request.source_names.syntax, name + "_inks.asm"))
    outputs.push_back({file.path, {file.text.begin(), file.text.end()}});
  if (request.option.has_preview) {
    Checked<std::vector<uint8_t>> preview = EncodeScaledPngPicture(pens, PreviewScaleX(mode), 2);
    if (!preview) return Result::Refused("Can not write " + request.preview_path);
    outputs.push_back({request.preview_path, std::move(*preview)});
  }
  return outputs;
}

// The picture the pens are drawn from: the source as it is, or scaled
// (placed on the whole screen with --fit, alone with --size).
struct SizedPicture {
  ColourPicture picture;
  int source_width = 0;
  int source_height = 0;
  std::optional<Placement> placement;
};

// Pixels of the --transparent colour made transparent by alpha, so that
// scaling blends no key colour into their neighbours.
void KeyToAlpha(ColourPicture& picture, Rgb key) {
  for (size_t i = 0; i < picture.rgba.size(); i += 4) {
    uint8_t* p = picture.rgba.data() + i;
    if (p[0] == key.red && p[1] == key.green && p[2] == key.blue) p[3] = 0;
  }
}

// The PNG library writes no picture over a million pixels wide or tall: a
// source whose preview would be is refused before it is decoded. A scaled
// picture's preview is at most 65536 wide.
SideLimit PreviewLimit(const InkRequest& request, ScreenMode mode) {
  constexpr uint64_t kLongestPngSide = 1000000;
  if (!request.option.has_preview || request.option.is_fit || request.size) return {};
  return {kLongestPngSide / static_cast<uint64_t>(PreviewScaleX(mode)), kLongestPngSide / 2,
          "preview too large, use --preview=no"};
}

Checked<SizedPicture> LoadSized(const InkRequest& request, const std::string& source_path, ScreenMode mode) {
  using Result = Checked<SizedPicture>;
  Checked<ColourPicture> loaded = LoadColourPicture(source_path, PreviewLimit(request, mode));
  if (!loaded) return Result::Refused(loaded.refusal());
  if (request.option.pen0 && loaded->has_transparency)
    return Result::Refused(
        "--pen0 can not be used on a picture with transparency: pen 0 holds its transparent pixels");
  SizedPicture sized{std::move(*loaded), 0, 0, std::nullopt};
  sized.source_width = sized.picture.width;
  sized.source_height = sized.picture.height;
  if (!request.option.is_fit && !request.size) {
    if (const Refusal narrow = WidthRefusal(sized.picture.width, mode)) return Result::Refused(*narrow);
    return sized;
  }
  sized.placement = request.size ? Placement{*request.size, *request.size, 0, 0}
                                 : FitOnScreen(sized.source_width, sized.source_height, mode);
  if (request.option.transparent) KeyToAlpha(sized.picture, *request.option.transparent);
  sized.picture =
      ScaleInLinearLight(sized.picture, sized.placement->scaled.width, sized.placement->scaled.height);
  return sized;
}

// The pens of the scaled picture on the whole screen, pen 0 around them.
std::vector<uint8_t> OnScreen(const std::vector<uint8_t>& pens, const Placement& placement) {
  const PictureSize& screen = placement.screen;
  const int width = placement.scaled.width;
  std::vector<uint8_t> whole(static_cast<size_t>(screen.width) * static_cast<size_t>(screen.height), 0);
  for (int y = 0; y < placement.scaled.height; ++y) {
    std::copy_n(
        pens.begin() + static_cast<std::ptrdiff_t>(y) * width, width,
        whole.begin() + static_cast<std::ptrdiff_t>(y + placement.top) * screen.width + placement.left);
  }
  return whole;
}

// What a conversion that wrote its outputs reports.
struct Converted {
  int width = 0;
  int height = 0;
  std::optional<Placement> placement;
  PenPlan plan;
  double mean_error = 0;
};

// "scaled to 150 x 200, centred on 160 x 200" (--fit) or "scaled to 64 x 32" (--size).
std::string ScaledLine(const Placement& placement, bool is_fit) {
  const auto size = [](const PictureSize& s) {
    return PlainDecimal(s.width) + " x " + PlainDecimal(s.height);
  };
  return "scaled to " + size(placement.scaled) + (is_fit ? ", centred on " + size(placement.screen) : "");
}

void PrintReport(const InkRequest& request, const std::string& source_path, const Converted& converted) {
  const PenPlan& plan = converted.plan;
  PrintLine(kPrefix + ("source " + source_path));
  PrintLine(kPrefix + ("size " + PlainDecimal(converted.width) + " x " + PlainDecimal(converted.height)));
  if (converted.placement) PrintLine(kPrefix + ScaledLine(*converted.placement, request.option.is_fit));
  for (size_t pen = 0; pen < plan.pen_keys.size(); ++pen) {
    PrintLine(kPrefix + ("pen " + PlainDecimal(static_cast<int64_t>(pen)) + " : " +
                         PenName(request.model, plan.pen_keys[pen]) +
                         (pen == 0 && plan.is_reserved ? " (transparent)" : "")));
  }
  PrintLine(kPrefix + ("mean colour error " + TwoDecimals(converted.mean_error) + " (CIELAB delta E)"));
  std::string written_list = request.bmp_path + ", " + request.source_names.source_path;
  if (!request.source_names.header_path.empty()) written_list += ", " + request.source_names.header_path;
  if (request.option.has_preview) written_list += ", " + request.preview_path;
  PrintLine(kPrefix + ("wrote " + written_list));
}

// Everything up to the written outputs.
Checked<Converted> ConvertPicture(const InkRequest& request, const std::string& source_path,
                                  const std::string& name, ScreenMode mode) {
  using Result = Checked<Converted>;
  const Checked<SizedPicture> sized = LoadSized(request, source_path, mode);
  if (!sized) return Result::Refused(sized.refusal());
  const ColourPicture* const picture = &sized->picture;
  // A scaled picture has its key colour as alpha already.
  const Rgb key_colour = request.option.transparent.value_or(Rgb{});
  const PictureRef ref{picture->width, picture->height, picture->rgba.data(),
                       request.option.transparent.has_value() && !sized->placement, key_colour};
  Checked<PenPlan> plan = PlanPens(request, ref, picture->has_transparency);
  if (!plan) return Result::Refused(plan.refusal());
  if (request.option.is_strict) {
    if (const Refusal fault = CheckStrict(request, ref, plan->map)) return Result::Refused(*fault);
  }
  MappedPicture mapped = MapToPens(ref, plan->map, request.option.dither);
  const bool is_placed = sized->placement && request.option.is_fit;
  Picture pens = is_placed ? PictureFromPens(sized->placement->screen.width, sized->placement->screen.height,
                                             OnScreen(mapped.pens, *sized->placement))
                           : PictureFromPens(picture->width, picture->height, std::move(mapped.pens));
  for (size_t pen = 0; pen < plan->pen_keys.size(); ++pen)
    pens.palette[pen] = NominalColour(request.model, plan->pen_keys[pen]);
  const Checked<std::vector<Output>> outputs = EncodeOutputs(request, name, mode, pens, plan->pen_keys);
  if (!outputs) return Result::Refused(outputs.refusal());
  if (const Refusal written = WriteGroup(*outputs)) return Result::Refused(*written);
  return Converted{sized->source_width, sized->source_height, sized->placement, std::move(*plan),
                   mapped.mean_error};
}

}  // namespace

bool ConvertToInks(const std::string& source_path, const std::string& name, ScreenMode mode,
                   const std::vector<std::string>& options) {
  const Checked<InkRequest> request = ReadRequest(source_path, name, mode, options);
  if (!request) {
    PrintLine(kPrefix + request.refusal());
    return false;
  }
  const Checked<Converted> converted = ConvertPicture(*request, source_path, name, mode);
  if (!converted) {
    PrintLine(kPrefix + converted.refusal());
    return false;
  }
  PrintReport(*request, source_path, *converted);
  return true;
}
