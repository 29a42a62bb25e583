// gravik: one conversion per run, chosen by the command word.
#include <algorithm>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "common/assembler_label.h"
#include "common/image_io/picture_file.h"
#include "common/line_output.h"
#include "common/number_text.h"
#include "common/program_options.h"
#include "common/source_dialect.h"
#include "common/stop_signals.h"
#include "toolkit/compress/zx0_words.h"
#include "toolkit/data/data_array.h"
#include "toolkit/disk/disk_files.h"
#include "toolkit/image_ops/image_format.h"
#include "toolkit/image_ops/linear_screen.h"
#include "toolkit/image_ops/plus_palette.h"
#include "toolkit/image_ops/raw_pixels.h"
#include "toolkit/image_ops/sprite_sheet.h"
#include "toolkit/image_ops/standard_screen.h"
#include "toolkit/inks/ink_conversion.h"
#include "toolkit/sheets/software_sprites.h"
#include "toolkit/maps/tiled_map_conversion.h"
#include "toolkit/sound/ay_list.h"
#include "toolkit/sound/ay_optimizer.h"
#include "toolkit/sound/dma_sample.h"
#include "toolkit/sprites/draw_restore.h"
#include "toolkit/sprites/flat_sprite.h"
#include "toolkit/sprites/keyframe.h"
#include "toolkit/sprites/mode0_extraction.h"
#include "toolkit/sprites/packed_sprite.h"
#include "toolkit/sprites/rle_sprite.h"
#include "toolkit/sprites/sprite_code.h"
#include "toolkit/tiles/column_order.h"
#include "toolkit/tiles/tileset_add.h"
#include "toolkit/tiles/tileset_finalize.h"

namespace {

// The operation's arguments, arg1 first, as typed, and how many there are
// (at least the row's count; optional arguments are those beyond it).
struct Args {
  char* const* values;
  int count;

  const char* operator[](int index) const { return values[index]; }
  bool Has(int index) const { return index < count; }
};

// Argument index with a file-name suffix appended as typed (an extension the
// user typed stays: "pic.bmp" becomes "pic.bmp.bmp").
std::string Named(Args a, int index, const char* suffix) { return std::string(a[index]) + suffix; }

int32_t Number(Args a, int index) { return ParseNumberArgument(a[index]); }
int32_t NumberOr(Args a, int index, int32_t absent) { return a.Has(index) ? Number(a, index) : absent; }

// draw's optional fourth argument: "Y" in any case is yes, anything else no;
// without it the operation asks when the buffer may pass a page.
WordPointerChoice WordPointerArgument(Args a, int index) {
  if (!a.Has(index)) return WordPointerChoice::kAsk;
  return UpperAscii(a[index]) == "Y" ? WordPointerChoice::kYes : WordPointerChoice::kNo;
}

bool RunBmp(Args a) { return ChangeImageFormat(a[0], a[1]); }
bool RunMode2(Args a) { return ConvertToMode2(Named(a, 0, ".bmp"), Named(a, 0, ".pm2")); }
bool RunMode1(Args a) { return ConvertToMode1(Named(a, 0, ".bmp"), Named(a, 0, ".pm1")); }
bool RunMode0(Args a) { return ConvertToMode0(Named(a, 0, ".bmp"), Named(a, 0, ".pm0")); }
bool RunRaw(Args a) { return ExtractRawPixels(Named(a, 0, ".bmp"), Named(a, 0, ".px8")); }
bool RunSpt(Args a) { return SplitSprite(Named(a, 0, ".bmp"), a[0]); }
bool RunDma(Args a) { return ConvertDMAsample15K(Named(a, 0, ".snd"), Named(a, 0, ".asm"), a[1]); }
bool RunPal(Args a) { return PaletteExtract(Named(a, 0, ".bmp"), Named(a, 0, "_pal.asm"), Number(a, 1)); }
bool RunRle(Args a) {
  return ConvertToRleSprite(Named(a, 0, ".bmp"), Named(a, 0, ".rle"), Named(a, 0, "_header.asm"), a[1]);
}
bool RunHalf(Args a) { return ConvertToInterlacedSprite(Named(a, 0, ".bmp"), Named(a, 0, ".px4")); }
bool RunCol(Args a) {
  return ConvertToColumnOrder(Named(a, 0, ".bin"), Named(a, 0, ".lvl"), Number(a, 1), Number(a, 2));
}
bool RunFinal0(Args a) { return FinalizeTileset(a[0]); }
bool RunAdd0(Args a) { return AddToTileset(Named(a, 0, ".bmp"), Named(a, 1, ".set")); }
bool RunBasic(Args a) { return ConvertToFlatSprite(Named(a, 0, ".bmp"), Named(a, 0, ".px8")); }
bool RunAsm(Args a) { return CompileSprite(Named(a, 0, ".bmp"), Named(a, 0, ".asm"), kWithTotalTime); }
bool RunKey(Args a) {
  return CompileKeyframe(Named(a, 0, ".bmp"), Named(a, 1, ".bmp"), Named(a, 1, ".asm"), kWithTotalTime);
}
bool RunAy(Args a) { return ConvertAYlist15K(Named(a, 0, ".snd"), Named(a, 0, "_ay.asm"), a[1], 0, 0); }
bool RunAyRaw(Args a) {
  return ConvertAYlist15K(Named(a, 0, ".snd"), Named(a, 0, ".ayl"), a[1], 0, kAyListRaw);
}
bool RunAyOpt(Args a) { return OptimizeAYlist(Named(a, 0, ".ayl"), Named(a, 0, "_opt.asm"), Number(a, 1)); }
bool RunEx0(Args a) {
  return ExtractMode0Sprite(a[0], Named(a, 1, ".bmp"), Named(a, 0, ".bmp"), NumberOr(a, 2, 0),
                            NumberOr(a, 3, kSaveUpright));
}
bool RunScr0(Args a) { return ConvertToScreen0(Named(a, 0, ".bmp"), Named(a, 0, ".scr")); }
bool RunScr1(Args a) { return ConvertToScreen1(Named(a, 0, ".bmp"), Named(a, 0, ".scr")); }
bool RunScr2(Args a) { return ConvertToScreen2(Named(a, 0, ".bmp"), Named(a, 0, ".scr")); }
// dsk DISK alone lists the disk; files after it go onto it.
bool RunDsk(Args a) {
  if (!a.Has(1)) return ListDisk(a[0]);
  return PutFilesOnDisk(a[0], std::vector<std::string>(a.values + 1, a.values + a.count));
}
// The ink words take their options after the two names.
bool RunInk(Args a, ScreenMode mode) {
  return ConvertToInks(a[0], a[1], mode, std::vector<std::string>(a.values + 2, a.values + a.count));
}
bool RunInk0(Args a) { return RunInk(a, ScreenMode::kMode0); }
bool RunInk1(Args a) { return RunInk(a, ScreenMode::kMode1); }
bool RunInk2(Args a) { return RunInk(a, ScreenMode::kMode2); }
// The sheet words take their options after the name and the frame size.
bool RunSheet(Args a, int mode) {
  return CutSpriteSheet(Named(a, 0, ".bmp"), a[0], mode, Number(a, 1), Number(a, 2),
                        std::vector<std::string>(a.values + 3, a.values + a.count));
}
bool RunSheet0(Args a) { return RunSheet(a, 0); }
bool RunSheet1(Args a) { return RunSheet(a, 1); }
bool RunSheet2(Args a) { return RunSheet(a, 2); }
// tmx takes its options after the map and the name.
bool RunTmx(Args a) {
  return ConvertTiledMap(a[0], a[1], std::vector<std::string>(a.values + 2, a.values + a.count));
}
bool RunDraw(Args a) {
  return GenerateDrawRestoreCode(Named(a, 0, ".bmp"), Named(a, 0, ".asm"), Number(a, 1), Number(a, 2),
                                 WordPointerArgument(a, 3));
}
// The compression words take their options after the names.
std::vector<std::string> OptionsFrom(Args a, int index) {
  return index < a.count ? std::vector<std::string>(a.values + index, a.values + a.count) : std::vector<std::string>{};
}
bool RunZx0(Args a) { return CompressZX0(a[0], Named(a, 0, ".zx0"), OptionsFrom(a, 1)); }
bool RunUnzx0(Args a) { return DecompressZX0(a[0], a[1], OptionsFrom(a, 2)); }
bool RunZx0Code(Args a) { return WriteZX0Decoder(a[0], Named(a, 0, ".asm"), OptionsFrom(a, 1)); }
bool RunData(Args a) { return ConvertToDataArray(a[0], a[1]); }

// One line of --help: the word, what follows it, what it makes.
struct WordHelp {
  std::string_view arguments;
  std::string_view summary;
};

struct CommandRow {
  std::string_view word;
  int argument_count;  // the fewest it takes; optional ones come after
  bool (*run)(Args);   // true when the operation did all it was asked
  WordHelp help;
};

// Tested in this order; the first match wins.
constexpr CommandRow kCommands[] = {
    {"bmp", 2, RunBmp, {"FILE_IN FILE_OUT", "any picture FreeImage reads, saved as BMP (FILE_OUT as typed)"}},
    {"mode2", 1, RunMode2, {"NAME", "NAME.bmp as linear mode 2 bytes in NAME.pm2"}},
    {"mode1", 1, RunMode1, {"NAME", "NAME.bmp as linear mode 1 bytes in NAME.pm1"}},
    {"mode0", 1, RunMode0, {"NAME", "NAME.bmp as linear mode 0 bytes in NAME.pm0"}},
    {"raw", 1, RunRaw, {"NAME", "the pens of NAME.bmp, one byte a pixel, in NAME.px8"}},
    {"spt",
     1,
     RunSpt,
     {"NAME", "NAME.bmp cut into 16 x 16 cells, each saved as split_NAME<column>-<row>.bmp"}},
    {"dma",
     2,
     RunDma,
     {"NAME TABLE_FILE", "NAME.snd (15625 Hz) as a DMA sample list in NAME.asm, levels from TABLE_FILE"}},
    {"pal",
     2,
     RunPal,
     {"NAME START_COLOUR", "16 palette entries of NAME.bmp from START_COLOUR as CPC+ colours, NAME_pal.asm"}},
    {"rle",
     2,
     RunRle,
     {"NAME DECODER|NONE", "NAME.bmp (16 x 16) as NAME.rle and NAME_header.asm calling DECODER"}},
    {"half", 1, RunHalf, {"NAME", "NAME.bmp (16 x 16) as a packed sprite, two pixels a byte, in NAME.px4"}},
    {"col", 3, RunCol, {"MAP WIDTH HEIGHT", "MAP.bin turned from rows to columns in MAP.lvl"}},
    {"final0",
     1,
     RunFinal0,
     {"TILESET", "TILESET.set as CPC tiles in tileset_TILESET.til, preview tileset_TILESET.bmp"}},
    {"add0", 2, RunAdd0, {"IMAGE TILESET", "the new 4 x 8 tiles of IMAGE.bmp added to TILESET.set"}},
    {"basic", 1, RunBasic, {"NAME", "NAME.bmp (16 x 16) as a flat sprite, one byte a pixel, in NAME.px8"}},
    {"asm", 1, RunAsm, {"NAME", "NAME.bmp (16 x 16) as a compiled sprite routine in NAME.asm"}},
    {"key", 2, RunKey, {"FRAME1 FRAME2", "routine turning FRAME1.bmp into FRAME2.bmp in FRAME2.asm"}},
    {"ay",
     2,
     RunAy,
     {"NAME TABLE_FILE", "NAME.snd (15625 Hz) as a CPC+ AY DMA list in NAME_ay.asm, levels from TABLE_FILE"}},
    {"ayraw", 2, RunAyRaw, {"NAME TABLE_FILE", "the same AY DMA list as raw 16-bit words in NAME.ayl"}},
    {"ayopt",
     2,
     RunAyOpt,
     {"NAME CHUNK", "NAME.ayl with repeated chunks of at most CHUNK words looped, in NAME_opt.asm"}},
    {"ex0",
     2,
     RunEx0,
     {"DATA TEMPLATE [OFFSET] [OPTIONS]",
      "mode 0 bytes of DATA from OFFSET (0) into TEMPLATE.bmp's size and palette, saved as DATA.bmp; "
      "OPTIONS the sum of 1 (skip a 128-byte header) and 2 (save upright), default 2"}},
    {"draw",
     3,
     RunDraw,
     {"NAME WIDTH HEIGHT [Y]",
      "masked draw and restore routines for WIDTH x HEIGHT (at most 8 lines) of NAME.bmp, "
      "draw_NAME.asm and restore_NAME.asm; Y forces inc DE for the buffer, anything else inc E, "
      "nothing asked"}},
    {"scr0", 1, RunScr0, {"NAME", "NAME.bmp as the 16384 bytes of a mode 0 screen at &C000, NAME.scr"}},
    {"scr1", 1, RunScr1, {"NAME", "NAME.bmp as the 16384 bytes of a mode 1 screen at &C000, NAME.scr"}},
    {"scr2", 1, RunScr2, {"NAME", "NAME.bmp as the 16384 bytes of a mode 2 screen at &C000, NAME.scr"}},
    {"dsk",
     1,
     RunDsk,
     {"DISK [FILE[@LOAD[,ENTRY]|@-] ...]", "FILEs put on the CPC disk image DISK; DISK alone lists it"}},
    {"ink0",
     2,
     RunInk0,
     {"SOURCE NAME [--inks=F0,F1,...] [--transparent=RRGGBB] [--dither=none|floyd|ordered] [--strict] "
      "[--plus] [--preview=no]",
      "any picture as NAME.bmp in 16 mode 0 pens, with its inks in NAME_inks.asm"}},
    {"ink1",
     2,
     RunInk1,
     {"SOURCE NAME [--inks=F0,F1,...] [--transparent=RRGGBB] [--dither=none|floyd|ordered] [--strict] "
      "[--plus] [--preview=no]",
      "any picture as NAME.bmp in 4 mode 1 pens, with its inks in NAME_inks.asm"}},
    {"ink2",
     2,
     RunInk2,
     {"SOURCE NAME [--inks=F0,F1,...] [--transparent=RRGGBB] [--dither=none|floyd|ordered] [--strict] "
      "[--plus] [--preview=no]",
      "any picture as NAME.bmp in 2 mode 2 pens, with its inks in NAME_inks.asm"}},
    {"zx0", 1, RunZx0, {"FILE [--backward]", "FILE as a ZX0 stream in FILE.zx0, with its decoding times"}},
    {"unzx0", 2, RunUnzx0, {"FILE OUTPUT [--backward]", "the ZX0 stream FILE decoded into OUTPUT"}},
    {"zx0code",
     1,
     RunZx0Code,
     {"NAME [--fast] [--backward]", "the toolkit's Z80 ZX0 decoder as NAME.asm (HL stream, DE destination)"}},
    {"sheet0",
     3,
     RunSheet0,
     {"NAME WIDTH HEIGHT [--mask=PEN] [--mirror] [--count=N]",
      "NAME.bmp cut into WIDTH x HEIGHT frames of mode 0 screen bytes in NAME.spr, labels in NAME_spr.asm"}},
    {"sheet1",
     3,
     RunSheet1,
     {"NAME WIDTH HEIGHT [--mask=PEN] [--mirror] [--count=N]",
      "NAME.bmp cut into WIDTH x HEIGHT frames of mode 1 screen bytes in NAME.spr, labels in NAME_spr.asm"}},
    {"sheet2",
     3,
     RunSheet2,
     {"NAME WIDTH HEIGHT [--mask=PEN] [--mirror] [--count=N]",
      "NAME.bmp cut into WIDTH x HEIGHT frames of mode 2 screen bytes in NAME.spr, labels in NAME_spr.asm"}},
    {"data",
     2,
     RunData,
     {"FILE NAME",
      "any FILE (at most 16 MB) as the labelled array NAME in NAME.asm (.s/.c and .h by --syntax)"}},
    {"tmx",
     2,
     RunTmx,
     {"MAP NAME [--mode=0|1|2] [--order=rows|columns] [--wide] [--preview=no]",
      "a Tiled map (MAP as typed) as CPC tiles NAME_tiles.bin, a NAME_LAYER.map a visible tile layer, "
      "NAME.asm (.s/.c and .h by --syntax) and NAME_preview.png"}},
};

constexpr std::string_view kProgramHelp[] = {
    "usage : gravik [--fail] [--syntax=winape|sdasz80|c] WORD ARGUMENTS...",
    "        gravik --help | -h | --version",
    "  --fail       exit status 0 when the run did all it was asked, 1 when the operation refused its input,",
    "               failed to write or dropped data, 2 for no word, an unknown word or too few arguments",
    "  --syntax=S   the source outputs in WinApe's syntax (winape, the default, NAME.asm), sdasz80's (NAME.s",
    "               with the header NAME.h for C) or as C (data in NAME.c and NAME.h, code as for sdasz80)",
    "  --help, -h   this list",
    "  --version    the program's name and version",
    "words (the word in any case, names as typed):",
};

// Printed as written, whatever words the table binds.
constexpr std::string_view kUsage[] = {
    "usage : gravik mode param [more_params]",
    "--===SPRITES UTILITIES===--",
    "     - flat binary sprite : gravik basic filename",
    "     - compiled sprite    : gravik asm filename",
    "     - compiled keyframe  : gravik key file1 file2",
    "     - packed sprite      : gravik half filename",
    "     - RLE sprite         : gravik rle filename decoder_address",
    "--===IMAGE UTILITIES==---",
    "     - linear mode 2 conv : gravik mode2 filename",
    "     - linear mode 1 conv : gravik mode1 filename",
    "     - linear mode 0 conv : gravik mode0 filename",
    "     - split sprite       : gravik spt filename",
    "     - extract raw pixels : gravik raw filename",
    "     - extract sprite     : gravik ex0 datas template",
    "     - convert to BMP     : gravik bmp filename_in filename out",
    "--===PALETTE UTILITIES===--",
    "     - extract and convert to CPC+ : gravik pal filename start_color",
    "--===TILESET UTILITIES===--",
    "     - create/complete tileset : gravik add0 image tileset (mode 0)",
    "     - finalize tileset        : gravik final0 tileset     (mode 0)",
    "     - convert to column order : gravik col mapname width height",
    "--===DMA LIST UTILITIES===--",
    "     - create DMA list : gravik dma filename tablename",
    "--===FORMATS==--",
    "in :",
    "image : BMP (8bits 256 colors) , sound : SND (RAW PCM 15625Hz)",
    "code :",
    "WinApe ASM code : ASM",
    "sprites :",
    "4bits Pixels : PX4 , 8bits Pixels : PX8 , RLE pixels : RLE",
    "images :",
    "Mode 0 pixels : PM0 , Mode 1 pixels : PM1",
};

void PrintBanner() {
  PrintLine("");
  PrintLine("*********************");
  PrintLine("*** Tarsel toolkit ***");
  PrintLine("*********************");
}

// The usage text; the prompt and its wait only when no --fail asks for an
// exit status (a build script has nobody to press Enter).
void ShowUsage(bool waits_for_enter) {
  for (const std::string_view line : kUsage) PrintLine(line);
  if (!waits_for_enter) return;
  PrintLine("Press Enter to quit >");
  ReadConsoleLine();
}

// "  word ARGUMENTS" padded to a column, then what the word makes.
std::string HelpLine(std::string_view word, const WordHelp& help) {
  constexpr size_t kSummaryColumn = 40;
  std::string line = "  ";
  line += word;
  line += ' ';
  line += help.arguments;
  line.resize(std::max(line.size() + 2, kSummaryColumn), ' ');
  line += help.summary;
  return line;
}

void ShowHelp() {
  for (const std::string_view line : kProgramHelp) PrintLine(line);
  for (const CommandRow& row : kCommands) PrintLine(HelpLine(row.word, row.help));
}

RunOutcome Dispatch(int argc, char* const* argv, int word_index) {
  const std::string word = LowerAscii(argv[word_index]);
  for (const CommandRow& row : kCommands) {
    if (row.word != word) continue;
    const Args args{argv + word_index + 1, argc - word_index - 1};
    if (args.count < row.argument_count) {
      PrintLine("Not enough arguments !");
      return RunOutcome::kUsage;
    }
    return row.run(args) ? RunOutcome::kDone : RunOutcome::kFailed;
  }
  return RunOutcome::kUsage;
}

}  // namespace

int main(int argc, char** argv) {
  const ProgramOptions options = ReadProgramOptions(argc, argv);
  // A mistyped option says so in one line and nothing else runs: it must
  // not become a word or a level name.
  if (options.mistyped) {
    PrintLine(*options.mistyped);
    return ExitStatus(options, RunOutcome::kUsage);
  }
  if (options.wants_help || options.wants_version) {
    if (options.wants_help) ShowHelp();
    if (options.wants_version) PrintLine(std::string("gravik ") + TARSEL_VERSION);
    return kExitDone;
  }
  SetTemporaryFilePrefix("gravik");
  RemoveTemporaryFilesOnSignals();
  PrintBanner();
  const ImageLibrary image_library(ImageDiagnostics::kConsole);
  PrintLine(ImageLibraryNotice());
  PrintLine("");
  RunOutcome outcome = RunOutcome::kUsage;
  if (options.syntax) {
    const std::optional<SourceSyntax> syntax = SourceSyntaxNamed(*options.syntax);
    if (!syntax) {
      PrintLine("Unknown syntax \"" + std::string(*options.syntax) +
                "\": --syntax= takes winape, sdasz80 or c");
      return ExitStatus(options, RunOutcome::kUsage);
    }
    SetChosenSyntax(*syntax);
  }
  if (options.first_argument >= argc) {
    ShowUsage(!options.is_fail_mode);
  } else {
    outcome = Dispatch(argc, argv, options.first_argument);
  }
  return ExitStatus(options, outcome);
}
