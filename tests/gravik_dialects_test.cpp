// The three source dialects checked by their own tools: pasmo for WinApe,
// SDCC's sdasz80, sdcc and linker for the others. The same description gives
// the same bytes in every dialect, and C sees every symbol and size the
// header declares.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <random>

#include "common/source_dialect.h"
#include "tests/asm_check.h"
#include "tests/sdcc_check.h"
#include "tests/test_support.h"

namespace {

using Bytes = std::vector<uint8_t>;
using Lines = std::vector<std::string>;

constexpr SourceSyntax kAllSyntaxes[] = {SourceSyntax::kWinApe, SourceSyntax::kSdasz80, SourceSyntax::kC};

RunResult Gravik(const TempDir& dir, const Lines& args) { return RunProgram(GRAVIK_BIN, args, dir.path()); }

std::string SyntaxName(SourceSyntax syntax) {
  return syntax == SourceSyntax::kWinApe ? "winape" : syntax == SourceSyntax::kSdasz80 ? "sdasz80" : "c";
}

void WriteFiles(const std::vector<SourceFile>& files) {
  for (const SourceFile& file : files) {
    ASSERT_TRUE(WriteFileBytes(file.path, Bytes(file.text.begin(), file.text.end()))) << file.path;
  }
}

// The bytes the source file assembles (or compiles) to, from address 0.
Bytes BuiltBytes(const std::string& source_path, const std::string& work_folder) {
  if (source_path.ends_with(".asm")) {
    const AssembledSource assembled = AssembleWithPasmo(source_path);
    EXPECT_TRUE(assembled.is_ok) << assembled.messages;
    return assembled.binary;
  }
  std::filesystem::create_directories(work_folder);
  const SdccBuild build = BuildWithSdcc({source_path}, work_folder);
  EXPECT_TRUE(build.is_ok) << build.messages;
  return build.binary;
}

// A C file that includes header and checks each NAME against its value at
// compile time, so that a wrong size or count stops sdcc.
Lines HeaderCheck(const std::string& header_path, const std::vector<std::pair<std::string, int>>& values) {
  Lines lines = {"#include \"" + header_path + "\""};
  for (const auto& [name, value] : values) {
    lines.push_back("_Static_assert(" + name + " == " + std::to_string(value) + ", \"" + name + "\");");
  }
  return lines;
}

// Every kind of data line the module writes, with the bytes it stands for.
SourceText SampleData(const std::string& asm_path, SourceSyntax syntax, Bytes& expected) {
  SourceText source = StartSource(asm_path, SourceContent::kData, syntax, SourceOptions{true});
  AddComment(source, " a comment with */ in it");
  OpenArray(source, "first");
  const SourceNumber line[] = {HexNumber(0xA5), DecimalNumber(7), SpacedDecimalNumber(200)};
  AddByteLine(source, line, "three bytes", LineLayout{" ", "    "});
  const SourceNumber words[] = {HexNumber(0x1234, 4), DecimalNumber(4097)};
  AddWordLine(source, words, "two words");
  CloseArray(source);
  expected = {0xA5, 7, 200, 0x34, 0x12, 0x01, 0x10};
  OpenArray(source, "second");
  Bytes bulk(37);
  std::mt19937 generator(5);
  for (uint8_t& byte : bulk) byte = static_cast<uint8_t>(generator());
  AddBytes(source, bulk);
  CloseArray(source);
  expected.insert(expected.end(), bulk.begin(), bulk.end());
  AddEquate(source, "count_of_first", 3);
  // Built at address 0, in the order written: first at 0, second after it.
  const std::string labels[] = {"first", "second", "first"};
  AddAddressTable(source, "table", labels, 2);
  expected.insert(expected.end(), {0, 0, 7, 0, 0, 0});
  return source;
}

// A routine with every kind of instruction line, in WinApe or sdasz80.
std::vector<SourceFile> SampleRoutine(const std::string& asm_path, SourceSyntax syntax, bool changes_ix) {
  SourceText source = StartSource(asm_path, SourceContent::kCode, syntax);
  const RoutineEntry entry{"update_sample", "unsigned char *block", "AF, B, HL", changes_ix,
                           DecimalNumber(1234)};
  StartRoutine(source, entry);
  AddInstruction(source, "ld B,", DecimalNumber(3));
  AddCodeLabel(source, "again");
  AddInstruction(source, "ld (HL),", HexNumber(0x5A), "a comment");
  AddInstruction(source, "add A,", SpacedDecimalNumber(85));
  AddInstruction(source, "ld HL,", HexNumber(0xC000, 4));
  AddInstruction(source, "djnz again");
  AddInstructionToAddress(source, "call ", "#BB18");
  AddReturn(source, entry);
  return FinishSource(source);
}

}  // namespace

TEST(SourceDialects, DataGivesTheSameBytesAndSizesInEveryDialect) {
  for (const SourceSyntax syntax : kAllSyntaxes) {
    SCOPED_TRACE(SyntaxName(syntax));
    const TempDir dir;
    Bytes expected;
    const SourceText source = SampleData(dir.File("sample.asm"), syntax, expected);
    const std::vector<SourceFile> files = FinishSource(source);
    WriteFiles(files);
    EXPECT_EQ(BuiltBytes(files[0].path, dir.File("work")), expected);
    if (syntax == SourceSyntax::kWinApe) {
      EXPECT_EQ(files.size(), 1u);
      continue;
    }
    ASSERT_EQ(files.size(), 2u);
    EXPECT_EQ(files[1].path, dir.File("sample.h"));
    std::string messages;
    const Lines check = HeaderCheck(files[1].path, {{"first_SIZE", 7},
                                                    {"second_SIZE", 37},
                                                    {"count_of_first", 3},
                                                    {"sizeof first", 7},
                                                    {"sizeof second", 37},
                                                    {"table_SIZE", 6},
                                                    {"sizeof table", 6}});
    EXPECT_TRUE(CompilesWithSdcc(check, dir.File("header"), messages)) << messages;
  }
}

namespace {

// A frames' array of count numbered labels step bytes apart and their table,
// as a sheet of count frames has them.
void AddNumberedSample(SourceText& source, int64_t count, int64_t step) {
  AddNumberedLabels(source, "arr", "arr_", count, step);
  AddNumberedAddressTable(source, "arr_table", "arr_", count, 8, LineLayout{" ", " "});
}

}  // namespace

// The bulk calls count in decimal text of their own: every carry (9 to 10,
// 999 to 1000) must come out as the number, the table as the general call
// writes it, and a streamed source must lose nothing between its pieces.
TEST(SourceDialects, NumberedLabelsAndTablesCountRightAndStreamWhole) {
  constexpr int64_t kCount = 5000;  // more than one piece of streamed text
  for (const SourceSyntax syntax : kAllSyntaxes) {
    SCOPED_TRACE(SyntaxName(syntax));
    const TempDir dir;
    SourceText held = StartSource(dir.File("held.asm"), SourceContent::kData, syntax);
    AddNumberedSample(held, kCount, 300);
    std::vector<std::string> labels;
    for (int64_t k = 0; k < kCount; ++k) labels.push_back("arr_" + std::to_string(k));
    SourceText general = StartSource(dir.File("held.asm"), SourceContent::kData, syntax);
    AddAddressTable(general, "arr_table", labels, 8, LineLayout{" ", " "});
    EXPECT_NE(held.text.find(general.text.substr(general.text.find("arr_table"))), std::string::npos);
    if (syntax == SourceSyntax::kWinApe) {
      const Lines lines = SourceLines(held.text);
      for (const int64_t k : {9, 10, 99, 100, 333, 334, 999, 1000, 4999}) {
        EXPECT_EQ(lines[static_cast<size_t>(k)],
                  "arr_" + std::to_string(k) + " equ arr+" + std::to_string(300 * k));
      }
    }
    SourceText streamed = StartSource(dir.File("held.asm"), SourceContent::kData, syntax);
    AsideFile file(streamed.names.source_path);
    StreamSource(streamed, file);
    AddNumberedSample(streamed, kCount, 300);
    const std::vector<SourceFile> header = FinishSource(streamed);
    AsideFile* const others[] = {&file};
    ASSERT_FALSE(WriteSourceFiles(header, others));
    const Bytes written = ReadFileBytes(held.names.source_path);
    EXPECT_EQ(std::string(written.begin(), written.end()), held.text);
    EXPECT_EQ(streamed.declarations, held.declarations);
  }
}

TEST(SourceDialects, RoutinesAssembleToTheSameCodeWithTheCSymbolOnTheFirstInstruction) {
  const TempDir dir;
  const std::vector<SourceFile> winape = SampleRoutine(dir.File("winape.asm"), SourceSyntax::kWinApe, false);
  WriteFiles(winape);
  const AssembledSource assembled = AssembleWithPasmo(winape[0].path);
  ASSERT_TRUE(assembled.is_ok) << assembled.messages;
  const Bytes code = {0xD2, 0x04, 0x06, 0x03, 0x36, 0x5A, 0xC6, 0x55, 0x21,
                      0x00, 0xC0, 0x10, 0xF7, 0xCD, 0x18, 0xBB, 0xC9};
  EXPECT_EQ(assembled.binary, code);
  EXPECT_EQ(assembled.symbols.count("update_sample"), 1u);
  for (const SourceSyntax syntax : {SourceSyntax::kSdasz80, SourceSyntax::kC}) {
    for (const bool changes_ix : {false, true}) {
      const std::string name = SyntaxName(syntax) + (changes_ix ? "_ix" : "");
      const std::vector<SourceFile> files = SampleRoutine(dir.File(name + ".asm"), syntax, changes_ix);
      ASSERT_EQ(files[0].path, dir.File(name + ".s"));
      WriteFiles(files);
      std::filesystem::create_directories(dir.File(name));
      const SdccBuild build = BuildWithSdcc({files[0].path}, dir.File(name));
      ASSERT_TRUE(build.is_ok) << build.messages;
      Bytes expected = code;
      if (changes_ix) {
        expected.insert(expected.begin() + 2, {0xDD, 0xE5});
        expected.insert(expected.end() - 1, {0xDD, 0xE1});
      }
      EXPECT_EQ(build.binary, expected) << name;
      const auto symbol = build.symbols.find("_update_sample");
      ASSERT_NE(symbol, build.symbols.end()) << name;
      EXPECT_EQ(symbol->second, 2) << name;
      std::string messages;
      const Lines call = {"#include \"" + files[1].path + "\"",
                          "void f(void) { update_sample((unsigned char *)0x4000); }"};
      EXPECT_TRUE(CompilesWithSdcc(call, dir.File(name + "_call"), messages)) << messages;
    }
  }
}

TEST(SourceDialects, NamesFollowTheSyntaxAndWhatTheFileHolds) {
  struct Case {
    SourceSyntax syntax;
    SourceContent content;
    std::string source;
    std::string header;
  };
  const Case cases[] = {
      {SourceSyntax::kWinApe, SourceContent::kData, "art/ship_pal.asm", ""},
      {SourceSyntax::kWinApe, SourceContent::kCode, "art/ship_pal.asm", ""},
      {SourceSyntax::kSdasz80, SourceContent::kData, "art/ship_pal.s", "art/ship_pal.h"},
      {SourceSyntax::kSdasz80, SourceContent::kCode, "art/ship_pal.s", "art/ship_pal.h"},
      {SourceSyntax::kC, SourceContent::kData, "art/ship_pal.c", "art/ship_pal.h"},
      {SourceSyntax::kC, SourceContent::kCode, "art/ship_pal.s", "art/ship_pal.h"},
  };
  for (const Case& c : cases) {
    const SourceNames names = SourceOutputNames("art/ship_pal.asm", c.content, c.syntax);
    EXPECT_EQ(names.source_path, c.source);
    EXPECT_EQ(names.header_path, c.header);
  }
  EXPECT_EQ(SourceOutputNames("x.bin", SourceContent::kData, SourceSyntax::kC).source_path, "x.bin.c");
  // The C file includes its header by name between quotes.
  EXPECT_TRUE(SourceNameRefusal("a\"b.asm", SourceContent::kData, SourceSyntax::kC));
  EXPECT_FALSE(SourceNameRefusal("a\"b.asm", SourceContent::kData, SourceSyntax::kWinApe));
  EXPECT_TRUE(SourceNameRefusal("a\nb.asm", SourceContent::kCode, SourceSyntax::kSdasz80));
}

TEST(DataWord, AnyFileBecomesTheSameBytesInEachSyntax) {
  for (const SourceSyntax syntax : kAllSyntaxes) {
    SCOPED_TRACE(SyntaxName(syntax));
    const TempDir dir;
    for (const size_t size : {size_t{0}, size_t{1}, size_t{16}, size_t{1000}}) {
      Bytes data(size);
      std::mt19937 generator(static_cast<uint32_t>(size));
      for (uint8_t& byte : data) byte = static_cast<uint8_t>(generator());
      ASSERT_TRUE(WriteFileBytes(dir.File("in.bin"), data));
      const std::string name = "level-" + std::to_string(size);
      const RunResult run = Gravik(dir, {"--fail", "--syntax=" + SyntaxName(syntax), "data", "in.bin", name});
      ASSERT_EQ(run.exit_code, 0) << run.raw_output;
      const SourceNames names = SourceOutputNames(dir.File(name + ".asm"), SourceContent::kData, syntax);
      std::string written = std::filesystem::path(names.source_path).filename().string();
      if (!names.header_path.empty()) written += ", " + name + ".h";
      const std::string label = "level_" + std::to_string(size);
      EXPECT_EQ(AfterStartup(run), Lines{"ConvertToDataArray : in.bin, " + std::to_string(size) +
                                         " bytes as " + label + " in " + written});
      // C has no empty array: an empty file gives one 0 that the size leaves out.
      const Bytes built = size == 0 && syntax == SourceSyntax::kC ? Bytes{0} : data;
      EXPECT_EQ(BuiltBytes(names.source_path, dir.File("work" + std::to_string(size))), built);
      const Lines source = ReadTextLines(names.source_path);
      if (syntax == SourceSyntax::kWinApe) {
        EXPECT_EQ(source.front(), label + ":");
        EXPECT_EQ(source.back(), label + "_SIZE equ " + std::to_string(size));
        continue;
      }
      std::string messages;
      const Lines check = HeaderCheck(names.header_path, {{label + "_SIZE", static_cast<int>(size)}});
      EXPECT_TRUE(CompilesWithSdcc(check, dir.File("check" + std::to_string(size)), messages)) << messages;
    }
  }
}

TEST(DataWord, RefusesWhatItCanNotReadAndWritesNothing) {
  const TempDir dir;
  std::filesystem::create_directory(dir.path() / "folder");
  ASSERT_TRUE(WriteFileBytes(dir.File("in.bin"), Bytes{1, 2, 3}));
  ASSERT_TRUE(WriteFileBytes(dir.File("big.bin"), Bytes{}));
  std::filesystem::resize_file(dir.path() / "big.bin", 16 * 1024 * 1024 + 1);
  struct Case {
    Lines args;
    std::string line;
  };
  const Case cases[] = {
      {{"data", "missing.bin", "out"}, "ConvertToDataArray : Can not find missing.bin"},
      {{"data", "folder", "out"}, "ConvertToDataArray : folder is not a regular file"},
      {{"data", "big.bin", "out"}, "ConvertToDataArray : big.bin is too large"},
      {{"--syntax=c", "data", "in.bin", "a\"b"}, "ConvertToDataArray : Name can not hold a quote"},
      {{"data", "in.bin.asm", "in.bin"},
       "ConvertToDataArray : in.bin.asm would replace the source in.bin.asm"},
      {{"--syntax=pasmo", "data", "in.bin", "out"},
       "Unknown syntax \"pasmo\": --syntax= takes winape, sdasz80 or c"},
  };
  const int before = CountEntries(dir.path());
  for (const Case& c : cases) {
    Lines args = {"--fail"};
    args.insert(args.end(), c.args.begin(), c.args.end());
    const RunResult run = Gravik(dir, args);
    const Lines after = AfterStartup(run);
    ASSERT_EQ(after.size(), 1u) << run.raw_output;
    EXPECT_EQ(after[0].substr(0, c.line.size()), c.line);
    EXPECT_NE(run.exit_code, 0);
  }
  EXPECT_EQ(CountEntries(dir.path()), before);
}

namespace {

// The inputs of every word that writes source, in folder.
void WriteWordInputs(const TempDir& dir) {
  ASSERT_TRUE(WriteIndexedBmp(dir.File("spr.bmp"), 16, 16, RandomPens(16, 16, 1, 17)));
  ASSERT_TRUE(WriteIndexedBmp(dir.File("spr2.bmp"), 16, 16, RandomPens(16, 16, 2, 17)));
  ASSERT_TRUE(WriteIndexedBmp(dir.File("obj.bmp"), 16, 8, RandomPens(16, 8, 3, 24)));
  ASSERT_TRUE(WriteIndexedBmp(dir.File("art.bmp"), 32, 16, RandomPens(32, 16, 4, 256)));
  ASSERT_TRUE(WriteIndexedBmp(dir.File("walk.bmp"), 16, 8, RandomPens(16, 8, 6, 16)));
  Bytes table(256);
  for (size_t k = 0; k < table.size(); ++k) table[k] = static_cast<uint8_t>(k / 16);
  ASSERT_TRUE(WriteFileBytes(dir.File("vol.tab"), table));
  Bytes sound(3000);
  std::mt19937 generator(9);
  for (size_t k = 0; k < sound.size(); ++k)
    sound[k] = static_cast<uint8_t>(k % 700 < 300 ? 128 : generator());
  ASSERT_TRUE(WriteFileBytes(dir.File("blip.snd"), sound));
  ASSERT_TRUE(WriteFileBytes(dir.File("in.bin"), Bytes(sound.begin(), sound.begin() + 700)));
}

struct SourceWord {
  Lines args;
  Lines outputs;  // the WinApe names of its source outputs
};

// Every word that writes source, in an order that makes each one's inputs.
const SourceWord kSourceWords[] = {
    {{"pal", "spr", "0"}, {"spr_pal.asm"}},
    {{"asm", "spr"}, {"spr.asm"}},
    {{"key", "spr", "spr2"}, {"spr2.asm"}},
    {{"rle", "spr", "#9000"}, {"spr_header.asm"}},
    {{"draw", "obj", "16", "8"}, {"draw_obj.asm", "restore_obj.asm"}},
    {{"ink0", "art.bmp", "pic"}, {"pic_inks.asm"}},
    {{"ink1", "art.bmp", "plus", "--plus"}, {"plus_inks.asm"}},
    {{"dma", "blip", "vol.tab"}, {"blip.asm"}},
    {{"ay", "blip", "vol.tab"}, {"blip_ay.asm"}},
    {{"ayraw", "blip", "vol.tab"}, {}},
    {{"ayopt", "blip", "4"}, {"blip_opt.asm"}},
    {{"data", "in.bin", "blob"}, {"blob.asm"}},
    {{"sheet0", "walk", "4", "4", "--mask=3", "--mirror"}, {"walk_spr.asm"}},
};

SourceContent ContentOf(const std::string& word) {
  return word == "asm" || word == "key" || word == "rle" || word == "draw" ? SourceContent::kCode
                                                                           : SourceContent::kData;
}

// Every "#define NAME_SIZE N" of a header whose NAME it declares as an array:
// the size must be the array's.
Lines SizeChecks(const std::string& header_path) {
  Lines checks;
  const Lines header = ReadTextLines(header_path);
  for (const std::string& line : header) {
    const std::string define = "#define ";
    const size_t size_at = line.find("_SIZE ");
    if (line.rfind(define, 0) != 0 || size_at == std::string::npos) continue;
    const std::string array = line.substr(define.size(), size_at - define.size());
    const bool is_array = std::any_of(header.begin(), header.end(), [&array](const std::string& declaration) {
      return declaration.rfind("extern ", 0) == 0 && declaration.find(" " + array + "[") != std::string::npos;
    });
    if (is_array)
      checks.push_back("_Static_assert(sizeof " + array + " == " + array + "_SIZE, \"" + array + "\");");
  }
  return checks;
}

}  // namespace

TEST(SourceDialects, EveryWordGivesTheSameBytesInEverySyntaxAndItsHeadersCompile) {
  const TempDir dirs[3];
  for (size_t d = 0; d < 3; ++d) {
    WriteWordInputs(dirs[d]);
    for (const SourceWord& word : kSourceWords) {
      Lines args = {"--fail", "--syntax=" + SyntaxName(kAllSyntaxes[d])};
      args.insert(args.end(), word.args.begin(), word.args.end());
      const RunResult run = Gravik(dirs[d], args);
      ASSERT_EQ(run.exit_code, 0) << word.args[0] << " " << SyntaxName(kAllSyntaxes[d]) << run.raw_output;
    }
  }
  // pasmo finds the RLE header's incbin from the working folder.
  const std::filesystem::path previous = std::filesystem::current_path();
  std::filesystem::current_path(dirs[0].path());
  Lines all_headers[2];
  for (const SourceWord& word : kSourceWords) {
    for (const std::string& output : word.outputs) {
      SCOPED_TRACE(output);
      const Bytes winape = BuiltBytes(output, dirs[0].File("work"));
      EXPECT_FALSE(winape.empty());
      for (size_t d = 1; d < 3; ++d) {
        const SourceNames names =
            SourceOutputNames(dirs[d].File(output), ContentOf(word.args[0]), kAllSyntaxes[d]);
        EXPECT_EQ(BuiltBytes(names.source_path, dirs[d].File("work_" + output)), winape) << names.source_path;
        all_headers[d - 1].push_back("#include \"" + names.header_path + "\"");
        const Lines checks = SizeChecks(names.header_path);
        all_headers[d - 1].insert(all_headers[d - 1].end(), checks.begin(), checks.end());
      }
    }
  }
  std::filesystem::current_path(previous);
  for (size_t d = 1; d < 3; ++d) {
    std::string messages;
    EXPECT_TRUE(CompilesWithSdcc(all_headers[d - 1], dirs[d].File("headers"), messages)) << messages;
  }
}

// What the routines' sdasz80 form saves rests on SDCC 4.2's own code: its
// functions keep IX (their frame) for their callers but change IY without
// saving it, so a routine called from C must give IX back and may change IY.
TEST(SourceDialects, SdccKeepsIxForItsCallersButNotIy) {
  const TempDir dir;
  const Lines program = {
      "extern void elsewhere(void);",
      "unsigned int busy(unsigned int a, unsigned int b, unsigned int c, unsigned int d, unsigned int e) {",
      "  unsigned int x = a * 3, y = b * 5, z = c * 7, w = d * 9, v = e * 11, u = a ^ b;",
      "  elsewhere();",
      "  return x + y + z + w + v + u;",
      "}",
  };
  std::string messages;
  ASSERT_TRUE(CompilesWithSdcc(program, dir.File("convention"), messages)) << messages;
  std::string code;
  for (const std::string& line : ReadTextLines(dir.File("convention/compiled/compiled.asm")))
    code += line + "\n";
  EXPECT_NE(code.find("push\tix"), std::string::npos) << code;
  EXPECT_NE(code.find("iy"), std::string::npos) << code;
  EXPECT_EQ(code.find("push\tiy"), std::string::npos) << code;
}
