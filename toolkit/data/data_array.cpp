#include "toolkit/data/data_array.h"

#include <algorithm>
#include <cstdio>
#include <span>
#include <vector>

#include "common/assembler_label.h"
#include "common/input_file.h"
#include "common/line_output.h"
#include "common/number_text.h"
#include "common/source_dialect.h"

namespace {

constexpr char kPrefix[] = "ConvertToDataArray : ";

// The file is read and its lines written a block at a time, so that neither
// the file nor its source (about four times larger) is ever held whole.
constexpr size_t kBlockBytes = 64 * 1024;
static_assert(kBlockBytes % kDataBytesPerLine == 0, "a block ends at a line's end");

bool Refuse(const std::string& text) {
  PrintLine(kPrefix + text);
  return false;
}

// Every output the syntax gives name, checked against the input before it is read.
Refusal OutputRefusal(const std::string& file_path, const std::string& name, SourceSyntax syntax) {
  if (name.empty()) return Refusal("the output name is empty");
  const std::string asm_path = name + ".asm";
  if (Refusal refusal = SourceNameRefusal(asm_path, SourceContent::kData, syntax)) return refusal;
  const SourceNames names = SourceOutputNames(asm_path, SourceContent::kData, syntax);
  for (const std::string& output : {names.source_path, names.header_path}) {
    if (!output.empty() && IsSameFile(file_path, output))
      return output + " would replace the source " + file_path;
  }
  return std::nullopt;
}

// The input's bytes as the array (streamed to its file); the refusal when it can not be
// read to the length it had when opened.
Refusal WriteArray(InputFile& input, const std::string& file_path, SourceText& source) {
  std::vector<uint8_t> block(kBlockBytes);
  for (uint64_t left = input.size_bytes; left > 0;) {
    const size_t wanted = static_cast<size_t>(std::min<uint64_t>(left, kBlockBytes));
    if (std::fread(block.data(), 1, wanted, input.file.get()) != wanted) {
      return CannotReadText(file_path);
    }
    AddBytes(source, std::span<const uint8_t>(block.data(), wanted), kDataBytesPerLine);
    left -= wanted;
  }
  CloseArray(source);
  return std::nullopt;
}

}  // namespace

bool ConvertToDataArray(const std::string& file_path, const std::string& name) {
  const SourceSyntax syntax = ChosenSyntax();
  if (const Refusal refusal = OutputRefusal(file_path, name, syntax)) return Refuse(*refusal);
  Checked<InputFile> input = OpenInputFile(file_path);
  if (!input) return Refuse(input.refusal());
  if (input->size_bytes > kMaxDataBytes) return Refuse(TooLargeText(file_path));
  const std::string label = LabelNamePart(name);
  SourceText source = StartSource(name + ".asm", SourceContent::kData, syntax, SourceOptions{true});
  OpenArray(source, label);
  AsideFile file(source.names.source_path);
  StreamSource(source, file);
  if (const Refusal refusal = WriteArray(*input, file_path, source)) return Refuse(*refusal);
  const std::vector<SourceFile> header = FinishSource(source);
  AsideFile* const array_file[] = {&file};
  if (const Refusal refusal = WriteSourceFiles(header, array_file)) return Refuse(*refusal);
  std::string written = source.names.source_path;
  if (!header.empty()) written += ", " + header[0].path;
  PrintLine(kPrefix + file_path + ", " + PlainDecimal(static_cast<int64_t>(input->size_bytes)) +
            " bytes as " + label + " in " + written);
  return true;
}
