// gravik: one conversion per run, chosen by the command word.
#include <FreeImage.h>

#include <array>
#include <string>
#include <string_view>
#include <vector>

#include "common/line_output.h"
#include "common/number_text.h"
#include "toolkit/image_library.h"
#include "toolkit/image_ops/image_format.h"
#include "toolkit/image_ops/linear_screen.h"
#include "toolkit/image_ops/plus_palette.h"
#include "toolkit/image_ops/raw_pixels.h"
#include "toolkit/image_ops/sprite_sheet.h"
#include "toolkit/inks/ink_conversion.h"
#include "toolkit/sound/ay_list.h"
#include "toolkit/sound/ay_optimizer.h"
#include "toolkit/sound/dma_sample.h"
#include "toolkit/sprites/flat_sprite.h"
#include "toolkit/sprites/keyframe.h"
#include "toolkit/sprites/packed_sprite.h"
#include "toolkit/sprites/rle_sprite.h"
#include "toolkit/sprites/sprite_code.h"
#include "toolkit/tiles/column_order.h"
#include "toolkit/tiles/tileset_add.h"
#include "toolkit/tiles/tileset_finalize.h"

namespace {

// The operation's arguments, arg1 first, as typed.
using Args = char* const*;

// Argument index with a file-name suffix appended as typed (an extension the
// user typed stays: "pic.bmp" becomes "pic.bmp.bmp").
std::string Named(Args a, int index, const char* suffix) { return std::string(a[index]) + suffix; }

int32_t Number(Args a, int index) { return ParseNumberArgument(a[index]); }

// How many arguments follow the command word: the words that take options
// after their names read the rest through Rest.
int given_argument_count = 0;

std::vector<std::string> Rest(Args a, int first) {
  std::vector<std::string> rest;
  for (int i = first; i < given_argument_count; ++i) rest.emplace_back(a[i]);
  return rest;
}

void RunBmp(Args a) { ChangeImageFormat(a[0], a[1]); }
void RunMode2(Args a) { ConvertToMode2(Named(a, 0, ".bmp"), Named(a, 0, ".pm2")); }
void RunMode1(Args a) { ConvertToMode1(Named(a, 0, ".bmp"), Named(a, 0, ".pm1")); }
void RunMode0(Args a) { ConvertToMode0(Named(a, 0, ".bmp"), Named(a, 0, ".pm0")); }
void RunRaw(Args a) { ExtractRawPixels(Named(a, 0, ".bmp"), Named(a, 0, ".px8")); }
void RunSpt(Args a) { SplitSprite(Named(a, 0, ".bmp"), a[0]); }
void RunDma(Args a) { ConvertDMAsample15K(Named(a, 0, ".snd"), Named(a, 0, ".asm"), a[1]); }
void RunPal(Args a) { PaletteExtract(Named(a, 0, ".bmp"), Named(a, 0, "_pal.asm"), Number(a, 1)); }
void RunRle(Args a) {
  ConvertToRleSprite(Named(a, 0, ".bmp"), Named(a, 0, ".rle"), Named(a, 0, "_header.asm"), a[1]);
}
void RunHalf(Args a) { ConvertToInterlacedSprite(Named(a, 0, ".bmp"), Named(a, 0, ".px4")); }
void RunCol(Args a) {
  ConvertToColumnOrder(Named(a, 0, ".bin"), Named(a, 0, ".lvl"), Number(a, 1), Number(a, 2));
}
void RunFinal0(Args a) { FinalizeTileset(a[0]); }
void RunAdd0(Args a) { AddToTileset(Named(a, 0, ".bmp"), Named(a, 1, ".set")); }
void RunBasic(Args a) { ConvertToFlatSprite(Named(a, 0, ".bmp"), Named(a, 0, ".px8")); }
void RunAsm(Args a) { CompileSprite(Named(a, 0, ".bmp"), Named(a, 0, ".asm"), kWithTotalTime); }
void RunKey(Args a) {
  CompileKeyframe(Named(a, 0, ".bmp"), Named(a, 1, ".bmp"), Named(a, 1, ".asm"), kWithTotalTime);
}
void RunAy(Args a) { ConvertAYlist15K(Named(a, 0, ".snd"), Named(a, 0, "_ay.asm"), a[1], 0, 0); }
void RunAyRaw(Args a) { ConvertAYlist15K(Named(a, 0, ".snd"), Named(a, 0, ".ayl"), a[1], 0, kAyListRaw); }
void RunAyOpt(Args a) { OptimizeAYlist(Named(a, 0, ".ayl"), Named(a, 0, "_opt.asm"), Number(a, 1)); }
void RunInk0(Args a) { ConvertToInks(a[0], a[1], 0, Rest(a, 2)); }
void RunInk1(Args a) { ConvertToInks(a[0], a[1], 1, Rest(a, 2)); }
void RunInk2(Args a) { ConvertToInks(a[0], a[1], 2, Rest(a, 2)); }

struct CommandRow {
  std::string_view word;
  int argument_count;
  void (*run)(Args);
};

// Tested in this order; the first match wins.
constexpr CommandRow kCommands[] = {
    {"bmp", 2, RunBmp},   {"mode2", 1, RunMode2}, {"mode1", 1, RunMode1}, {"mode0", 1, RunMode0},
    {"raw", 1, RunRaw},   {"spt", 1, RunSpt},     {"dma", 2, RunDma},     {"pal", 2, RunPal},
    {"rle", 2, RunRle},   {"half", 1, RunHalf},   {"col", 3, RunCol},     {"final0", 1, RunFinal0},
    {"add0", 2, RunAdd0}, {"basic", 1, RunBasic}, {"asm", 1, RunAsm},     {"key", 2, RunKey},
    {"ay", 2, RunAy},     {"ayraw", 2, RunAyRaw}, {"ayopt", 2, RunAyOpt},
    {"ink0", 2, RunInk0}, {"ink1", 2, RunInk1},   {"ink2", 2, RunInk2},
};

// Printed as written: it also lists a word (ex0) that has no row.
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

void ShowUsageAndWait() {
  for (const std::string_view line : kUsage) PrintLine(line);
  PrintLine("Press Enter to quit >");
  ReadConsoleLine();
}

// Only A to Z change; every other byte stays as typed.
std::string LowerAscii(std::string_view word) {
  std::string lower(word);
  for (char& c : lower) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return lower;
}

void Dispatch(int argc, char* const* argv) {
  const std::string word = LowerAscii(argv[1]);
  for (const CommandRow& row : kCommands) {
    if (row.word != word) continue;
    if (argc - 2 < row.argument_count) {
      PrintLine("Not enough arguments !");
      return;
    }
    given_argument_count = argc - 2;
    row.run(argv + 2);
    return;
  }
}

}  // namespace

int main(int argc, char** argv) {
  PrintBanner();
  StartImageLibrary();
  PrintLine(FreeImage_GetCopyrightMessage());
  PrintLine("");
  if (argc < 2) {
    ShowUsageAndWait();
  } else {
    Dispatch(argc, argv);
  }
  FreeImage_DeInitialise();
  return 0;
}
