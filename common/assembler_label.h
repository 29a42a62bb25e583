// File names that become part of generated assembler source: labels that
// every assembler accepts, and names that would break a line of source.
#pragma once

#include <string>
#include <string_view>

#include "common/refusal.h"

// The name part of a label made from name (a path without its extension):
// name itself when it is already a valid label ([A-Za-z_][A-Za-z0-9_]*), so
// existing sources keep their labels; otherwise its last path component with
// every other character replaced by '_', and '_' in front when it starts with
// a digit ("sprites/my-ship" gives "my_ship", "3d" gives "_3d").
std::string LabelNamePart(std::string_view name);

// True when text holds a control character (bytes 0 to 31 and 127): a line
// break or a tab in a name would split or corrupt the line of source it enters.
bool HasControlCharacter(std::string_view text);

// For text that enters generated source (a name in a label, an operand):
// what + " can not hold a control character" when it holds one.
Refusal SourceTextRefusal(std::string_view what, std::string_view text);

// For a name written between double quotes (incbin "NAME"): the refusal of
// SourceTextRefusal, or what + " can not hold a quote" when it holds a '"',
// which would end the quoted name early.
Refusal QuotedNameRefusal(std::string_view what, std::string_view name);

// path without its last four characters (".asm", ".rle"): what labels are
// made from. A path of four characters or fewer gives "".
std::string WithoutExtension(std::string_view path);

// Only A to Z and a to z change; every other byte stays as it is.
std::string LowerAscii(std::string_view text);
std::string UpperAscii(std::string_view text);
