// The one place where generated source takes its form. CPC programs are built
// with WinApe's assembler (db, #FF, "label:"), with SDCC's sdasz80 (.db, 0xFF,
// "#" before immediates, globals "_name::" that C sees as "name") or in C
// (const arrays with a header). A word describes its output once (labels,
// data lines, equates, instructions, comments) and this module spells it in
// the dialect chosen with --syntax; no word formats "db" or a number prefix
// itself, and another dialect is another row of the tables in the .cpp.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "common/line_output.h"
#include "common/refusal.h"

enum class SourceSyntax { kWinApe, kSdasz80, kC };

// "winape", "sdasz80" or "c" (as typed, lower case); none for anything else.
std::optional<SourceSyntax> SourceSyntaxNamed(std::string_view name);

// The syntax the run writes in: set once by main from --syntax=, WinApe until
// then. Operations read it at their entry; pure generators take it as an argument.
void SetChosenSyntax(SourceSyntax syntax);
SourceSyntax ChosenSyntax();

// Data can be a C array; Z80 code can not, so code asked for in C is written
// as sdasz80 (with its C header).
enum class SourceContent { kData, kCode };

// What one source output is called and in which syntax it is written.
struct SourceNames {
  SourceSyntax syntax = SourceSyntax::kWinApe;  // the file's own: kC only for data
  std::string source_path;                      // "ship.asm", "ship.s" or "ship.c"
  std::string header_path;                      // "ship.h"; empty for WinApe
};

// asm_path is the WinApe name a word has always written ("ship.asm",
// "title_pal.asm"): kept for WinApe, its ".asm" replaced by ".s" or ".c"
// otherwise (appended when it does not end in ".asm"), the header beside it.
SourceNames SourceOutputNames(std::string_view asm_path, SourceContent content, SourceSyntax chosen);

// The line a word prints before writing anything when asm_path can not
// become the chosen outputs: a control character (any syntax), or a quote
// where a C file includes its header by name. Empty when it can.
Refusal SourceNameRefusal(std::string_view asm_path, SourceContent content, SourceSyntax chosen);

// A number as it enters a line. WinApe hex is "#" + digits, sdasz80 and C
// "0x" + digits; immediates of instructions get sdasz80's "#" in front.
enum class NumberForm { kHex, kDecimal, kSpacedDecimal };
struct SourceNumber {
  int64_t value = 0;
  NumberForm form = NumberForm::kHex;
  int digits = 2;  // kHex: at least this many digits
};
inline SourceNumber HexNumber(int64_t value, int digits = 2) { return {value, NumberForm::kHex, digits}; }
inline SourceNumber DecimalNumber(int64_t value) { return {value, NumberForm::kDecimal, 0}; }
// " 85": WinApe keeps the space the existing words wrote; the others drop it.
inline SourceNumber SpacedDecimalNumber(int64_t value) { return {value, NumberForm::kSpacedDecimal, 0}; }

// How a data line starts, so that the existing WinApe files keep their exact
// bytes (" db ", "db    "): indent, directive, gap, values.
struct LineLayout {
  std::string_view indent = "";
  std::string_view gap = " ";
};

struct SourceOptions {
  // WinApe files of the words written before the other dialects carry no
  // equates; every newer word writes them in WinApe too.
  bool has_winape_equates = false;
};

// A source file being written, and its header's declarations. Fill it with the
// calls below, then FinishSource.
struct SourceText {
  SourceNames names;
  SourceOptions options;
  std::string text;          // the source file so far
  std::string declarations;  // the header's lines so far (sdasz80, C)
  std::string array_name;    // the open array's name, if any
  int64_t array_bytes = 0;   // bytes in the open array so far
  bool is_array_open = false;
  AsideFile* stream = nullptr;  // where the source file's text goes as it grows (StreamSource)
};

// An empty source for the output asm_path names (see SourceOutputNames).
SourceText StartSource(std::string_view asm_path, SourceContent content, SourceSyntax chosen,
                       SourceOptions options = {});

// A source of megabytes (a map's arrays, a data file, the labels of a sheet
// of many thousands of frames)
// handed to file in pieces as it is written rather than held whole: a large
// buffer costs a page fault every few kilobytes, a reused piece none. The
// text so far goes now, the bulk calls below (AddBytes, AddIncludedArray,
// AddNumberedLabels, AddNumberedAddressTable) hand on theirs as they go, and
// FinishSource the rest; its files then leave the source file out, and file
// is committed with the word's other outputs.
void StreamSource(SourceText& source, AsideFile& file);

// ";" + text (WinApe, sdasz80), "/*" + text + " */" (C).
void AddComment(SourceText& source, std::string_view text);

// NAME equ V (WinApe, when the options ask), NAME = V (sdasz80), and
// "#define NAME V" in the header.
void AddEquate(SourceText& source, std::string_view name, int64_t value);

// Whether the WinApe form has a label on the array (the sound lists and the
// palette never had one; every array has its symbol in the other dialects).
enum class WinApeLabel { kWritten, kOmitted };

// Starts the array name (a valid label: see LabelNamePart): "name:" (WinApe),
// "_name::" (sdasz80), "const unsigned char name[] = {" (C).
void OpenArray(SourceText& source, std::string_view name, WinApeLabel label = WinApeLabel::kWritten);

// One line of bytes (values 0 to 255) or of 16-bit words of the open array,
// with a trailing comment when not empty: "db #01,#02 ;text". In C a word
// is two bytes, the low one first, as the Z80 reads it.
void AddByteLine(SourceText& source, std::span<const SourceNumber> values, std::string_view comment = {},
                 LineLayout layout = {});
void AddWordLine(SourceText& source, std::span<const SourceNumber> values, std::string_view comment = {},
                 LineLayout layout = {});

// Any number of bytes of the open array as lines of bytes_per_line values
// ("db #00,#01,..."), fast enough for megabytes.
void AddBytes(SourceText& source, std::span<const uint8_t> bytes, size_t bytes_per_line = 16);

// A table of the 16-bit addresses of labels (arrays of this source or
// others), as the array name: "dw a,b" (WinApe), ".dw _a,_b" (sdasz80),
// "const unsigned char *const name[] = {a, b,};" (C); its size equate counts
// two bytes an address, its extern goes in the header. layout starts the
// lines as for AddByteLine (" dw " where a WinApe file has always had it).
void AddAddressTable(SourceText& source, std::string_view name, std::span<const std::string> labels,
                     size_t labels_per_line = 8, LineLayout layout = {});

// A whole array whose bytes a file beside the source holds: its size equate
// NAME_SIZE first (sdasz80, C, WinApe when the options ask), then WinApe's
// "name:" over indent + incbin "path", the others the array of the bytes
// (the C build has no such file) with its extern in the header. size is the
// file's length; bytes may be left empty where IncludesBinaryFiles, since
// WinApe never reads them.
void AddIncludedArray(SourceText& source, std::string_view name, std::string_view path,
                      std::span<const uint8_t> bytes, int64_t size, std::string_view indent = "\t");

// True for WinApe, which includes a binary by its name; the other dialects
// need the bytes themselves.
bool IncludesBinaryFiles(const SourceText& source);

// count labels prefix + "0", prefix + "1", ... on the addresses array + 0,
// array + step, array + 2 step, ...: "L_0 equ L+0" (WinApe), the global
// "_L_0 == _L+0" (sdasz80) and, in the header, "#define L_0 (L + 0)" (sdasz80,
// C), so that C takes them as addresses and tables of them hold in every dialect.
void AddNumberedLabels(SourceText& source, std::string_view array, std::string_view prefix, int64_t count,
                       int64_t step);

// AddAddressTable over the labels prefix + "0" to prefix + (count - 1), fast
// enough for a table of a hundred thousand.
void AddNumberedAddressTable(SourceText& source, std::string_view name, std::string_view prefix,
                             int64_t count, size_t labels_per_line = 8, LineLayout layout = {});

// Ends the open array: "};" in C; its size equate NAME_SIZE (sdasz80, C,
// WinApe when the options ask) and its extern in the header.
void CloseArray(SourceText& source);

// A routine's entry. The WinApe label stands in front of the time word (as
// the existing routines have it); the C symbol on the first instruction.
struct RoutineEntry {
  std::string name;             // "update_ship", a valid label (held: often built on the spot)
  std::string_view parameters;  // the C prototype's: "unsigned char *block" ("" gives void)
  std::string_view changes;     // the registers it changes: "AF, BC, DE, L"
  // The routine changes IX, which SDCC keeps its frame in: the sdasz80 form
  // saves it at the entry and AddReturn puts it back. (SDCC 4.2 itself
  // changes IY in its functions without saving it, so IY needs nothing.)
  bool changes_ix = false;
  std::optional<SourceNumber> time_word;  // "dw N ;total time" before the code
};
void StartRoutine(SourceText& source, const RoutineEntry& entry);

// "\t" + text + immediate + " ;" + comment: text is the instruction up to its
// immediate ("ld (HL),", "add A,") or the whole of it ("inc L").
void AddInstruction(SourceText& source, std::string_view text, std::optional<SourceNumber> immediate = {},
                    std::string_view comment = {});

// A label inside a routine, for its own jumps ("loop:"): local in every dialect.
void AddCodeLabel(SourceText& source, std::string_view name);

// "\t" + text + address, address as the user typed it (a WinApe number "#8000",
// "&8000", decimal, or a label): sdasz80 gets the number as 0x8000, or the
// label declared global so that the linker finds it.
void AddInstructionToAddress(SourceText& source, std::string_view text, std::string_view address);

// The routine's "ret" (or the text given), after restoring what StartRoutine saved.
void AddReturn(SourceText& source, const RoutineEntry& entry, std::string_view text = "ret");

// Bytes included into code (WinApe "incbin"): WinApe keeps the incbin line,
// the others hold the bytes as .db lines, since the C build has no such file.
void AddIncludedBinary(SourceText& source, std::string_view path, std::span<const uint8_t> bytes);

// A file of the group: its path and its whole contents.
struct SourceFile {
  std::string path;
  std::string text;
};

// The source file and, for sdasz80 and C, its header (with its include guard;
// the C file includes it). A streamed source gets the rest of its text
// written here, once, and is left out of the files.
std::vector<SourceFile> FinishSource(const SourceText& source);

// Writes files and the already filled aside files others (a word's binary
// outputs) as one group: all replaced, or none. The refusal is "Can not
// create PATH" or "Can not write PATH".
Refusal WriteSourceFiles(std::span<const SourceFile> files, std::span<AsideFile* const> others = {});

// The text split at its line ends (for tests and for lines a core hands back).
std::vector<std::string> SourceLines(std::string_view text);

// The pieces of a data line, for writers that build their lines from tables
// (the sound lists): a bytes line is byte_directive + values joined by "," +
// line_close, a words line the same with word_directive; a trailing comment
// is comment_open + text + comment_close.
struct DataSpelling {
  std::string_view byte_directive;  // "db ", ".db ", "\t"
  std::string_view word_directive;  // "dw ", ".dw ", "\t"
  std::string_view hex_prefix;      // "#", "0x", "0x"
  std::string_view line_close;      // "", "", ","
  std::string_view comment_open;    // " ;", " ;", " /*"
  std::string_view comment_close;   // "", "", " */"
  bool has_words = true;            // false in C: a word is written as two bytes, the low one first
};

// In the order of SourceSyntax; constant, so that a writer can size its
// lines at compile time for each dialect.
inline constexpr DataSpelling kDataSpellings[] = {
    {"db ", "dw ", "#", "", " ;", "", true},
    {".db ", ".dw ", "0x", "", " ;", "", true},
    {"\t", "\t", "0x", ",", " /*", " */", false},
};
constexpr const DataSpelling& SpellingOf(SourceSyntax syntax) {
  return kDataSpellings[static_cast<size_t>(syntax)];
}
