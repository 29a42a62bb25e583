#include "common/assembler_label.h"

#include "common/file_path.h"

namespace {

constexpr size_t kExtensionLength = 4;

bool IsLetterOrUnderscore(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_'; }
bool IsDigit(char c) { return c >= '0' && c <= '9'; }

bool IsValidLabel(std::string_view name) {
  if (name.empty() || !IsLetterOrUnderscore(name[0])) return false;
  for (const char c : name) {
    if (!IsLetterOrUnderscore(c) && !IsDigit(c)) return false;
  }
  return true;
}

}  // namespace

std::string LabelNamePart(std::string_view name) {
  if (IsValidLabel(name)) return std::string(name);
  const std::string last = NameOf(name);
  std::string label;
  if (!last.empty() && IsDigit(last[0])) label += '_';
  for (const char c : last) label += IsLetterOrUnderscore(c) || IsDigit(c) ? c : '_';
  return label;
}

bool HasControlCharacter(std::string_view text) {
  for (const char c : text) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte < 0x20 || byte == 0x7F) return true;
  }
  return false;
}

Refusal SourceTextRefusal(std::string_view what, std::string_view text) {
  if (!HasControlCharacter(text)) return std::nullopt;
  return std::string(what) + " can not hold a control character";
}

Refusal QuotedNameRefusal(std::string_view what, std::string_view name) {
  if (Refusal refusal = SourceTextRefusal(what, name)) return refusal;
  if (name.find('"') == std::string_view::npos) return std::nullopt;
  return std::string(what) + " can not hold a quote";
}

std::string WithoutExtension(std::string_view path) {
  return path.size() > kExtensionLength ? std::string(path.substr(0, path.size() - kExtensionLength))
                                        : std::string();
}

std::string LowerAscii(std::string_view text) {
  std::string lower(text);
  for (char& c : lower) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return lower;
}

std::string UpperAscii(std::string_view text) {
  std::string upper(text);
  for (char& c : upper) {
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  }
  return upper;
}
