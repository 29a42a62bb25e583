#include "common/source_dialect.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <memory>

#include "common/assembler_label.h"
#include "common/file_path.h"
#include "common/number_text.h"

namespace {

SourceSyntax chosen_syntax = SourceSyntax::kWinApe;

struct DialectRow {
  std::string_view name;          // as --syntax= takes it
  std::string_view suffix;        // replaces ".asm"
  std::string_view byte_word;     // the bytes directive without its gap
  std::string_view word_word;     // the words directive without its gap
  std::string_view equate;        // between the name and the value
  std::string_view immediate;     // in front of an instruction's immediate
  std::string_view global;        // in front of a global symbol's name
  std::string_view label_equate;  // a label equated to an address, global where globals are marked
};

// One row a dialect, in the order of SourceSyntax (the data lines' pieces
// are kDataSpellings, in the header).
constexpr std::array<DialectRow, 3> kDialects = {{
    {"winape", ".asm", "db", "dw", " equ ", "", "", " equ "},
    {"sdasz80", ".s", ".db", ".dw", " = ", "#", "_", " == "},
    {"c", ".c", "", "", "", "", "", ""},
}};
static_assert(std::size(kDataSpellings) == kDialects.size(), "a data spelling for every dialect");

const DialectRow& RowOf(SourceSyntax syntax) { return kDialects[static_cast<size_t>(syntax)]; }

constexpr std::string_view kAsmSuffix = ".asm";

void AppendLine(std::string& text, std::string_view line) {
  text += line;
  text += kLineEnd;
}

std::string Spelled(SourceSyntax syntax, const SourceNumber& number) {
  switch (number.form) {
    case NumberForm::kHex:
      return std::string(SpellingOf(syntax).hex_prefix) +
             Hex(static_cast<uint64_t>(number.value), number.digits);
    case NumberForm::kDecimal:
      return PlainDecimal(number.value);
    case NumberForm::kSpacedDecimal:
      break;
  }
  return syntax == SourceSyntax::kWinApe ? SpacedDecimal(number.value) : PlainDecimal(number.value);
}

// C comments can not hold their own end.
std::string CommentBody(SourceSyntax syntax, std::string_view text) {
  std::string body(text);
  if (syntax != SourceSyntax::kC) return body;
  for (size_t at = body.find("*/"); at != std::string::npos; at = body.find("*/", at))
    body.insert(at + 1, " ");
  return body;
}

std::string TrailingComment(SourceSyntax syntax, std::string_view comment) {
  if (comment.empty()) return {};
  const DataSpelling& spelling = SpellingOf(syntax);
  return std::string(spelling.comment_open) + CommentBody(syntax, comment) +
         std::string(spelling.comment_close);
}

void AppendDataLine(SourceText& source, std::string_view directive, const std::vector<std::string>& values,
                    std::string_view comment, LineLayout layout) {
  const SourceSyntax syntax = source.names.syntax;
  std::string line;
  if (syntax == SourceSyntax::kC) {
    line = "\t";
  } else {
    line = std::string(layout.indent) + std::string(directive) + std::string(layout.gap);
  }
  for (size_t k = 0; k < values.size(); ++k) {
    if (k > 0) line += ',';
    line += values[k];
  }
  line += SpellingOf(syntax).line_close;
  line += TrailingComment(syntax, comment);
  AppendLine(source.text, line);
}

// A WinApe number as the user typed it ("#C000", "&C000", "$C000", "0xC000",
// decimal) in 0x form; none when it is not one (a label).
std::optional<std::string> AsHexNumber(std::string_view text) {
  std::string_view digits = text;
  int base = 16;
  if (text.starts_with("0x") || text.starts_with("0X")) {
    digits.remove_prefix(2);
  } else if (text.starts_with('#') || text.starts_with('&') || text.starts_with('$')) {
    digits.remove_prefix(1);
  } else {
    base = 10;
  }
  if (digits.empty() || digits.size() > 8) return std::nullopt;
  uint64_t value = 0;
  for (const char c : digits) {
    const char upper = static_cast<char>(c >= 'a' && c <= 'f' ? c - 'a' + 'A' : c);
    int digit = -1;
    if (upper >= '0' && upper <= '9') digit = upper - '0';
    if (base == 16 && upper >= 'A' && upper <= 'F') digit = upper - 'A' + 10;
    if (digit < 0) return std::nullopt;
    value = value * static_cast<uint64_t>(base) + static_cast<uint64_t>(digit);
  }
  return "0x" + Hex(value, 4);
}

// Each byte's spelling with the prefix and the comma after it ("#A5,",
// "0xA5,"), for the bulk lines: a value is one copy of a whole entry.
struct ByteSpellings {
  std::array<std::array<char, 8>, 256> text{};
  size_t length = 0;  // of the spelling with its comma
};

const ByteSpellings& BulkSpellings(SourceSyntax syntax) {
  static const std::array<ByteSpellings, 3> kTables = [] {
    std::array<ByteSpellings, 3> tables{};
    for (size_t d = 0; d < tables.size(); ++d) {
      const std::string_view prefix = kDataSpellings[d].hex_prefix;
      tables[d].length = prefix.size() + 3;
      for (size_t b = 0; b < 256; ++b) {
        const std::string spelled = std::string(prefix) + Hex(b, 2) + ",";
        std::memcpy(tables[d].text[b].data(), spelled.data(), spelled.size());
      }
    }
    return tables;
  }();
  return kTables[static_cast<size_t>(syntax)];
}

// Text is written a block of lines at a time, so that a streamed source
// hands its text on between blocks and never holds much more than a piece.
constexpr size_t kStreamPieceBytes = 64 * 1024;
constexpr int64_t kLinesABlock = 2048;

// A streamed source's text handed on once it holds a piece's worth.
void SpillStreamed(SourceText& source) {
  if (source.stream == nullptr || source.text.size() < kStreamPieceBytes) return;
  source.stream->Write(std::string_view(source.text));
  source.text.clear();
}

// The bulk lines are put together from short pieces, a hundred thousand
// lines of a few each: a call to memcpy for each piece would cost more than
// the rest of the work, so every piece is padded and moved in whole
// 16-byte steps (the block it goes to has a step's room to spare).
constexpr size_t kStep = 16;

struct PaddedPiece {
  std::string bytes;  // the text, then at least kStep bytes of padding
  size_t size = 0;
};

PaddedPiece Padded(std::string_view text) {
  return {std::string(text) + std::string(kStep, '\0'), text.size()};
}

char* PutSteps(char* out, const char* text, size_t size) {
  for (size_t at = 0; at < size; at += kStep) std::memcpy(out + at, text + at, kStep);
  return out + size;
}

char* Put(char* out, const PaddedPiece& piece) { return PutSteps(out, piece.bytes.data(), piece.size); }

// A number of at least 0 as decimal text, stepped up in place: the lines of a
// long table count up, and adding the step's digits to the text is far
// cheaper than spelling every number anew.
constexpr size_t kDigitsEnd = 24;  // the digits end here, padding after them

struct CountingDecimal {
  std::array<char, kDigitsEnd + kStep> digits{};
  size_t first = kDigitsEnd - 1;  // where the number's text starts
  std::string step;               // the step's digits
};

CountingDecimal StartCounting(int64_t step) {
  CountingDecimal number;
  number.digits[number.first] = '0';
  number.step = PlainDecimal(step);
  return number;
}

char* Put(char* out, const CountingDecimal& number) {
  return PutSteps(out, number.digits.data() + number.first, kDigitsEnd - number.first);
}

void StepUp(CountingDecimal& number) {
  const size_t step_digits = number.step.size();
  int carry = 0;
  size_t at = kDigitsEnd;
  for (size_t k = 0; k < step_digits || carry != 0; ++k) {
    --at;
    if (at < number.first) {
      number.digits[at] = '0';
      number.first = at;
    }
    const int step_digit = k < step_digits ? number.step[step_digits - 1 - k] - '0' : 0;
    const int sum = number.digits[at] - '0' + step_digit + carry;
    carry = sum / 10;
    number.digits[at] = static_cast<char>('0' + sum % 10);
  }
}

// A block of lines put together aside, then added to text: handed straight
// on when text is a streamed source's own.
void AddBlock(SourceText& source, std::string& text, std::string_view block) {
  if (&text == &source.text && source.stream != nullptr) {
    source.stream->Write(std::string_view(source.text));
    source.text.clear();
    source.stream->Write(block);
    return;
  }
  text += block;
}

// Lines head + N + middle + N * step + tail for N from 0 to count - 1.
struct NumberedLine {
  PaddedPiece head;
  PaddedPiece middle;
  PaddedPiece tail;  // the line end included
  int64_t step = 0;
};

void AppendNumberedLines(SourceText& source, std::string& text, const NumberedLine& line, int64_t count) {
  CountingDecimal number = StartCounting(1);
  CountingDecimal offset = StartCounting(line.step);
  const size_t longest = line.head.size + line.middle.size + line.tail.size + 2 * kLongestDecimal;
  std::vector<char> block(longest * static_cast<size_t>(kLinesABlock) + kStep);
  for (int64_t first = 0; first < count; first += kLinesABlock) {
    const int64_t lines = std::min(kLinesABlock, count - first);
    char* out = block.data();
    for (int64_t k = 0; k < lines; ++k) {
      out = Put(Put(Put(Put(Put(out, line.head), number), line.middle), offset), line.tail);
      StepUp(number);
      StepUp(offset);
    }
    AddBlock(source, text, std::string_view(block.data(), static_cast<size_t>(out - block.data())));
  }
}

// Lines head + the labels label + N joined by "," + tail, per_line a line,
// for N from 0 to count - 1.
struct TableLine {
  PaddedPiece head;
  PaddedPiece label;
  PaddedPiece tail;  // the line end included
};

void AppendTableLines(SourceText& source, const TableLine& line, int64_t count, int64_t per_line) {
  CountingDecimal number = StartCounting(1);
  const PaddedPiece comma = Padded(",");
  const int64_t labels_a_block = per_line * kLinesABlock;
  const size_t longest_line = line.head.size + line.tail.size +
                              static_cast<size_t>(per_line) * (line.label.size + kLongestDecimal + 1);
  std::vector<char> block(longest_line * static_cast<size_t>(kLinesABlock) + kStep);
  for (int64_t first = 0; first < count; first += labels_a_block) {
    const int64_t labels = std::min(labels_a_block, count - first);
    char* out = block.data();
    for (int64_t k = 0; k < labels; ++k) {
      out = Put(Put(Put(out, k % per_line == 0 ? line.head : comma), line.label), number);
      StepUp(number);
      if (k % per_line == per_line - 1 || k + 1 == labels) out = Put(out, line.tail);
    }
    AddBlock(source, source.text, std::string_view(block.data(), static_cast<size_t>(out - block.data())));
  }
}

}  // namespace

std::optional<SourceSyntax> SourceSyntaxNamed(std::string_view name) {
  for (size_t d = 0; d < kDialects.size(); ++d) {
    if (kDialects[d].name == name) return static_cast<SourceSyntax>(d);
  }
  return std::nullopt;
}

void SetChosenSyntax(SourceSyntax syntax) { chosen_syntax = syntax; }
SourceSyntax ChosenSyntax() { return chosen_syntax; }

SourceNames SourceOutputNames(std::string_view asm_path, SourceContent content, SourceSyntax chosen) {
  SourceNames names;
  names.syntax =
      chosen == SourceSyntax::kC && content == SourceContent::kCode ? SourceSyntax::kSdasz80 : chosen;
  if (chosen == SourceSyntax::kWinApe) {
    names.source_path = std::string(asm_path);
    return names;
  }
  const std::string_view base =
      asm_path.ends_with(kAsmSuffix) ? asm_path.substr(0, asm_path.size() - kAsmSuffix.size()) : asm_path;
  names.source_path = std::string(base) + std::string(RowOf(names.syntax).suffix);
  names.header_path = std::string(base) + ".h";
  return names;
}

Refusal SourceNameRefusal(std::string_view asm_path, SourceContent content, SourceSyntax chosen) {
  const SourceNames names = SourceOutputNames(asm_path, content, chosen);
  if (names.syntax == SourceSyntax::kC) return QuotedNameRefusal("Name", NameOf(names.header_path));
  return SourceTextRefusal("Name", asm_path);
}

SourceText StartSource(std::string_view asm_path, SourceContent content, SourceSyntax chosen,
                       SourceOptions options) {
  SourceText source;
  source.names = SourceOutputNames(asm_path, content, chosen);
  source.options = options;
  if (source.names.syntax == SourceSyntax::kSdasz80) AppendLine(source.text, "\t.area _CODE");
  if (source.names.syntax == SourceSyntax::kC) {
    AppendLine(source.text, "#include \"" + NameOf(source.names.header_path) + "\"");
  }
  return source;
}

void AddComment(SourceText& source, std::string_view text) {
  const SourceSyntax syntax = source.names.syntax;
  if (syntax == SourceSyntax::kC) {
    AppendLine(source.text, "/*" + CommentBody(syntax, text) + " */");
  } else {
    AppendLine(source.text, ";" + std::string(text));
  }
}

void AddEquate(SourceText& source, std::string_view name, int64_t value) {
  const SourceSyntax syntax = source.names.syntax;
  if (syntax != SourceSyntax::kWinApe) {
    AppendLine(source.declarations, "#define " + std::string(name) + " " + PlainDecimal(value));
  }
  if (syntax == SourceSyntax::kC) return;
  if (syntax == SourceSyntax::kWinApe && !source.options.has_winape_equates) return;
  AppendLine(source.text, std::string(name) + std::string(RowOf(syntax).equate) + PlainDecimal(value));
}

void OpenArray(SourceText& source, std::string_view name, WinApeLabel label) {
  source.array_name = std::string(name);
  source.array_bytes = 0;
  source.is_array_open = true;
  switch (source.names.syntax) {
    case SourceSyntax::kWinApe:
      if (label == WinApeLabel::kWritten) AppendLine(source.text, std::string(name) + ":");
      return;
    case SourceSyntax::kSdasz80:
      AppendLine(source.text, "_" + std::string(name) + "::");
      return;
    case SourceSyntax::kC:
      break;
  }
  AppendLine(source.text, "const unsigned char " + std::string(name) + "[] = {");
}

void AddByteLine(SourceText& source, std::span<const SourceNumber> values, std::string_view comment,
                 LineLayout layout) {
  std::vector<std::string> spelled;
  for (const SourceNumber& value : values) spelled.push_back(Spelled(source.names.syntax, value));
  source.array_bytes += static_cast<int64_t>(values.size());
  AppendDataLine(source, RowOf(source.names.syntax).byte_word, spelled, comment, layout);
}

void AddWordLine(SourceText& source, std::span<const SourceNumber> values, std::string_view comment,
                 LineLayout layout) {
  const SourceSyntax syntax = source.names.syntax;
  std::vector<std::string> spelled;
  for (const SourceNumber& value : values) {
    if (syntax != SourceSyntax::kC) {
      spelled.push_back(Spelled(syntax, value));
      continue;
    }
    spelled.push_back(Spelled(syntax, HexNumber(value.value & 0xFF, 2)));
    spelled.push_back(Spelled(syntax, HexNumber(value.value >> 8 & 0xFF, 2)));
  }
  source.array_bytes += 2 * static_cast<int64_t>(values.size());
  AppendDataLine(source, RowOf(syntax).word_word, spelled, comment, layout);
}

namespace {

void AppendByteLines(SourceText& source, std::span<const uint8_t> bytes, size_t per_line) {
  const SourceSyntax syntax = source.names.syntax;
  const DataSpelling& spelling = SpellingOf(syntax);
  const ByteSpellings& table = BulkSpellings(syntax);
  const size_t lines = (bytes.size() + per_line - 1) / per_line;
  const size_t fixed = spelling.byte_directive.size() + spelling.line_close.size() + kLineEnd.size();
  const size_t start = source.text.size();
  // Sized once and filled in place: the text grows by megabytes. Each value
  // is copied as a whole table entry, so there is an entry's room to spare.
  source.text.resize(start + lines * fixed + bytes.size() * table.length + sizeof(table.text[0]));
  char* out = source.text.data() + start;
  for (size_t first = 0; first < bytes.size(); first += per_line) {
    const size_t count = std::min(per_line, bytes.size() - first);
    out = std::copy(spelling.byte_directive.begin(), spelling.byte_directive.end(), out);
    for (size_t k = 0; k < count; ++k) {
      std::memcpy(out, table.text[bytes[first + k]].data(), sizeof(table.text[0]));
      out += table.length;
    }
    --out;  // the last value has no comma after it
    out = std::copy(spelling.line_close.begin(), spelling.line_close.end(), out);
    out = std::copy(kLineEnd.begin(), kLineEnd.end(), out);
  }
  source.text.resize(static_cast<size_t>(out - source.text.data()));
  source.array_bytes += static_cast<int64_t>(bytes.size());
}

// The open array's end without its size equate: "};" in C, its extern in the header.
void EndArray(SourceText& source) {
  if (!source.is_array_open) return;
  source.is_array_open = false;
  const SourceSyntax syntax = source.names.syntax;
  if (syntax == SourceSyntax::kC) {
    // C has no empty arrays: an empty one holds a 0 that its size does not count.
    if (source.array_bytes == 0) AppendLine(source.text, "\t0");
    AppendLine(source.text, "};");
  }
  if (syntax != SourceSyntax::kWinApe) {
    AppendLine(source.declarations, "extern const unsigned char " + source.array_name + "[" +
                                        PlainDecimal(std::max<int64_t>(source.array_bytes, 1)) + "];");
  }
}

// A table of addresses opened, and closed after its count of them with its
// extern and its size equate.
void OpenTable(SourceText& source, std::string_view name) {
  if (source.names.syntax == SourceSyntax::kC) {
    AppendLine(source.text, "const unsigned char *const " + std::string(name) + "[] = {");
  } else {
    OpenArray(source, name);
  }
}

void CloseTable(SourceText& source, std::string_view name, int64_t count) {
  const SourceSyntax syntax = source.names.syntax;
  source.is_array_open = false;
  if (syntax == SourceSyntax::kC) {
    if (count == 0) AppendLine(source.text, "\t0");
    AppendLine(source.text, "};");
  }
  if (syntax != SourceSyntax::kWinApe) {
    AppendLine(source.declarations, "extern const unsigned char *const " + std::string(name) + "[" +
                                        PlainDecimal(std::max<int64_t>(count, 1)) + "];");
  }
  AddEquate(source, std::string(name) + "_SIZE", 2 * count);
}

}  // namespace

void AddBytes(SourceText& source, std::span<const uint8_t> bytes, size_t bytes_per_line) {
  const size_t per_line = bytes_per_line == 0 ? 16 : bytes_per_line;
  // Whole lines a block, so that a streamed source hands its text on between them.
  const size_t block = per_line * static_cast<size_t>(kLinesABlock);
  for (size_t first = 0; first < bytes.size(); first += block) {
    AppendByteLines(source, bytes.subspan(first, std::min(block, bytes.size() - first)), per_line);
    SpillStreamed(source);
  }
}

void CloseArray(SourceText& source) {
  if (!source.is_array_open) return;
  EndArray(source);
  AddEquate(source, source.array_name + "_SIZE", source.array_bytes);
}

void AddAddressTable(SourceText& source, std::string_view name, std::span<const std::string> labels,
                     size_t labels_per_line, LineLayout layout) {
  const SourceSyntax syntax = source.names.syntax;
  OpenTable(source, name);
  const size_t per_line = labels_per_line == 0 ? 8 : labels_per_line;
  for (size_t first = 0; first < labels.size(); first += per_line) {
    std::vector<std::string> spelled;
    for (size_t k = first; k < std::min(labels.size(), first + per_line); ++k) {
      spelled.push_back(syntax == SourceSyntax::kSdasz80 ? "_" + labels[k] : labels[k]);
    }
    AppendDataLine(source, RowOf(syntax).word_word, spelled, {}, layout);
  }
  CloseTable(source, name, static_cast<int64_t>(labels.size()));
}

void AddNumberedAddressTable(SourceText& source, std::string_view name, std::string_view prefix,
                             int64_t count, size_t labels_per_line, LineLayout layout) {
  const SourceSyntax syntax = source.names.syntax;
  OpenTable(source, name);
  const std::string head =
      syntax == SourceSyntax::kC
          ? "\t"
          : std::string(layout.indent) + std::string(RowOf(syntax).word_word) + std::string(layout.gap);
  const TableLine line{Padded(head), Padded(std::string(RowOf(syntax).global) + std::string(prefix)),
                       Padded(std::string(SpellingOf(syntax).line_close) + std::string(kLineEnd))};
  AppendTableLines(source, line, count, static_cast<int64_t>(labels_per_line == 0 ? 8 : labels_per_line));
  CloseTable(source, name, count);
}

void AddNumberedLabels(SourceText& source, std::string_view array, std::string_view prefix, int64_t count,
                       int64_t step) {
  const SourceSyntax syntax = source.names.syntax;
  const std::string base(array);
  const std::string end_of_line(kLineEnd);
  if (syntax != SourceSyntax::kWinApe) {
    const NumberedLine define{Padded("#define " + std::string(prefix)), Padded(" (" + base + " + "),
                              Padded(")" + end_of_line), step};
    AppendNumberedLines(source, source.declarations, define, count);
  }
  if (syntax == SourceSyntax::kC) return;
  const std::string global(RowOf(syntax).global);
  const NumberedLine label{Padded(global + std::string(prefix)),
                           Padded(std::string(RowOf(syntax).label_equate) + global + base + "+"),
                           Padded(end_of_line), step};
  AppendNumberedLines(source, source.text, label, count);
}

void AddIncludedArray(SourceText& source, std::string_view name, std::string_view path,
                      std::span<const uint8_t> bytes, int64_t size, std::string_view indent) {
  AddEquate(source, std::string(name) + "_SIZE", size);
  OpenArray(source, name);
  if (IncludesBinaryFiles(source)) {
    AppendLine(source.text, std::string(indent) + "incbin \"" + std::string(path) + "\"");
    source.array_bytes = size;
  } else {
    AddBytes(source, bytes);
  }
  EndArray(source);
}

bool IncludesBinaryFiles(const SourceText& source) { return source.names.syntax == SourceSyntax::kWinApe; }

void StreamSource(SourceText& source, AsideFile& file) {
  source.stream = &file;
  file.Write(std::string_view(source.text));
  source.text.clear();
  source.text.reserve(2 * kStreamPieceBytes);
}

void AddCodeLabel(SourceText& source, std::string_view name) {
  AppendLine(source.text, std::string(name) + ":");
}

void StartRoutine(SourceText& source, const RoutineEntry& entry) {
  const std::string& name = entry.name;
  const SourceSyntax syntax = source.names.syntax;
  if (syntax == SourceSyntax::kWinApe) {
    AppendLine(source.text, name + ":");
    if (entry.time_word)
      AppendLine(source.text, "\tdw " + Spelled(syntax, *entry.time_word) + " ;total time");
    return;
  }
  if (entry.time_word) AppendLine(source.text, "\t.dw " + Spelled(syntax, *entry.time_word) + " ;total time");
  AppendLine(source.text, "_" + name + "::");
  AppendLine(source.text,
             "; changes " + std::string(entry.changes) + (entry.changes_ix ? " (IX saved)" : ""));
  if (entry.changes_ix) AppendLine(source.text, "\tpush IX");
  const std::string parameters = entry.parameters.empty() ? "void" : std::string(entry.parameters);
  AppendLine(source.declarations, "/* changes " + std::string(entry.changes) + " */");
  AppendLine(source.declarations, "void " + name + "(" + parameters + ");");
}

void AddInstruction(SourceText& source, std::string_view text, std::optional<SourceNumber> immediate,
                    std::string_view comment) {
  std::string line = "\t" + std::string(text);
  if (immediate)
    line += std::string(RowOf(source.names.syntax).immediate) + Spelled(source.names.syntax, *immediate);
  if (!comment.empty()) line += " ;" + std::string(comment);
  AppendLine(source.text, line);
}

void AddInstructionToAddress(SourceText& source, std::string_view text, std::string_view address) {
  if (source.names.syntax == SourceSyntax::kWinApe) {
    AppendLine(source.text, "\t" + std::string(text) + std::string(address));
    return;
  }
  const std::optional<std::string> number = AsHexNumber(address);
  if (!number) AppendLine(source.text, "\t.globl " + std::string(address));
  AppendLine(source.text, "\t" + std::string(text) + number.value_or(std::string(address)));
}

void AddReturn(SourceText& source, const RoutineEntry& entry, std::string_view text) {
  if (entry.changes_ix && source.names.syntax != SourceSyntax::kWinApe) AppendLine(source.text, "\tpop IX");
  AppendLine(source.text, "\t" + std::string(text));
}

void AddIncludedBinary(SourceText& source, std::string_view path, std::span<const uint8_t> bytes) {
  if (IncludesBinaryFiles(source)) {
    AppendLine(source.text, "\tincbin \"" + std::string(path) + "\"");
    return;
  }
  const bool was_open = source.is_array_open;
  const int64_t bytes_before = source.array_bytes;
  AddBytes(source, bytes);
  source.is_array_open = was_open;
  source.array_bytes = bytes_before;
}

std::vector<SourceFile> FinishSource(const SourceText& source) {
  std::vector<SourceFile> files;
  if (source.stream != nullptr) {
    source.stream->Write(std::string_view(source.text));
  } else {
    files.push_back({source.names.source_path, source.text});
  }
  if (source.names.header_path.empty()) return files;
  std::string header_name = NameOf(source.names.header_path);
  header_name.resize(header_name.size() - 2);  // its ".h"
  const std::string guard = UpperAscii(LabelNamePart(header_name)) + "_H";
  std::string header;
  AppendLine(header, "#ifndef " + guard);
  AppendLine(header, "#define " + guard);
  header += source.declarations;
  AppendLine(header, "#endif");
  files.push_back({source.names.header_path, std::move(header)});
  return files;
}

Refusal WriteSourceFiles(std::span<const SourceFile> files, std::span<AsideFile* const> others) {
  std::vector<std::unique_ptr<AsideFile>> owned;
  std::vector<AsideFile*> group;
  for (const SourceFile& file : files) {
    owned.push_back(std::make_unique<AsideFile>(file.path));
    owned.back()->Write(std::string_view(file.text));
    group.push_back(owned.back().get());
  }
  group.insert(group.end(), others.begin(), others.end());
  return CommitTogether(group);
}

std::vector<std::string> SourceLines(std::string_view text) {
  std::vector<std::string> lines;
  while (!text.empty()) {
    const size_t end = text.find(kLineEnd);
    lines.emplace_back(text.substr(0, end));
    if (end == std::string_view::npos) break;
    text.remove_prefix(end + kLineEnd.size());
  }
  return lines;
}
