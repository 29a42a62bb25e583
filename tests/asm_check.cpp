#include "tests/asm_check.h"

#include <cstdio>
#include <sstream>

#include "tests/test_support.h"

AssembledSource AssembleWithPasmo(const std::string& source_path) {
  AssembledSource result;
  const std::string binary_path = source_path + ".pasmo.bin";
  const std::string symbol_path = source_path + ".pasmo.sym";
  // PASMO_BIN: the pasmo the build found (CMake's PASMO_EXECUTABLE).
  const std::string command = std::string("'") + PASMO_BIN + "' --bin '" + source_path + "' '" + binary_path +
                              "' '" + symbol_path + "' 2>&1";
  FILE* pipe = popen(command.c_str(), "r");
  if (pipe == nullptr) return result;
  char buffer[512];
  size_t got;
  while ((got = std::fread(buffer, 1, sizeof buffer, pipe)) > 0) result.messages.append(buffer, got);
  result.is_ok = pclose(pipe) == 0;
  result.binary = ReadFileBytes(binary_path);
  for (const std::string& line : ReadTextLines(symbol_path)) {
    // "label<TAB>EQU 01234H"
    std::istringstream in(line);
    std::string name, equ, value;
    if (in >> name >> equ >> value && equ == "EQU" && !value.empty() && value.back() == 'H') {
      result.symbols[name] = static_cast<int>(std::strtol(value.c_str(), nullptr, 16));
    }
  }
  std::remove(binary_path.c_str());
  std::remove(symbol_path.c_str());
  return result;
}
