#include "toolkit/data/data_array.h"

#include "common/assembler_label.h"
#include "common/input_file.h"
#include "common/line_output.h"
#include "common/number_text.h"

namespace {

constexpr char kPrefix[] = "ConvertToDataArray : ";

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
    if (!output.empty() && IsSameFile(file_path, output)) return output + " would replace the source " + file_path;
  }
  return std::nullopt;
}

}  // namespace

std::vector<SourceFile> DataArraySource(std::span<const uint8_t> bytes, const std::string& label,
                                        const std::string& asm_path, SourceSyntax syntax) {
  SourceText source = StartSource(asm_path, SourceContent::kData, syntax, SourceOptions{true});
  OpenArray(source, label);
  AddBytes(source, bytes);
  CloseArray(source);
  return FinishSource(source);
}

bool ConvertToDataArray(const std::string& file_path, const std::string& name) {
  const SourceSyntax syntax = ChosenSyntax();
  if (const Refusal refusal = OutputRefusal(file_path, name, syntax)) return Refuse(*refusal);
  const InputBytes input = ReadInputFile(file_path, kMaxDataBytes);
  if (input.status != InputStatus::kOk) return Refuse(InputFailureText(input.status, file_path));
  const std::vector<SourceFile> files =
      DataArraySource(input.bytes, LabelNamePart(name), name + ".asm", syntax);
  if (const Refusal refusal = WriteSourceFiles(files)) return Refuse(*refusal);
  std::string written = files[0].path;
  if (files.size() > 1) written += ", " + files[1].path;
  PrintLine(kPrefix + file_path + ", " + PlainDecimal(static_cast<int64_t>(input.bytes.size())) + " bytes as " +
            LabelNamePart(name) + " in " + written);
  return true;
}
