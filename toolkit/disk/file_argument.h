// The FILE[@LOAD[,ENTRY]] arguments of gravik dsk.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "common/refusal.h"
#include "toolkit/disk/amsdos_header.h"

struct FileArgument {
  std::string path;
  bool is_stored_as_is = false;              // FILE@-: no header added
  std::optional<AmsdosAddresses> addresses;  // given after the @
};

// An address as CPC programmers write them: #C000, &C000, 0xC000 or decimal,
// at most &FFFF. Anything else (a sign, blanks, an empty number) is refused.
Checked<uint16_t> ParseAddress(std::string_view text);

// "FILE", "FILE@-", "FILE@LOAD" or "FILE@LOAD,ENTRY" (ENTRY 0 when not given).
// The split is at the last @, so a path may hold @ when addresses follow.
Checked<FileArgument> ParseFileArgument(std::string_view text);
