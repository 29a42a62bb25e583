// Assembles generated Z80 source with pasmo, the way a CPC developer would
// check it before including it.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

struct AssembledSource {
  bool is_ok = false;                  // pasmo accepted the source
  std::vector<uint8_t> binary;         // the code and data bytes, from the origin (0 unless an org says otherwise)
  std::map<std::string, int> symbols;  // labels and their addresses
  std::string messages;                // what pasmo printed (errors, when is_ok is false)
};

// Assembles the file at source_path with pasmo --bin.
AssembledSource AssembleWithPasmo(const std::string& source_path);
