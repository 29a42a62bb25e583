// Builds generated sdasz80 and C sources with SDCC's own tools (sdasz80,
// sdcc, sdldz80, makebin), the way a developer using SDCC builds them.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

// The full path of program in a folder of PATH; empty when none has it.
std::string FindOnPath(const std::string& program);

struct SdccBuild {
  bool is_ok = false;                  // every tool accepted its input
  std::vector<uint8_t> binary;         // memory from address 0 to the last byte linked
  std::map<std::string, int> symbols;  // global symbols ("_name") and their addresses
  std::string messages;                // what the tools printed, errors included
};

// Assembles each ".s" with sdasz80, compiles each ".c" with sdcc -mz80 -c
// (their objects go to work_folder, so that sdcc's own NAME.asm never lands
// beside the sources), then links them with sdldz80 with the code area at
// code_address, without SDCC's start-up code and library unless
// with_library (then the C library is searched). A missing tool fails the
// build, with the tool's name in the messages.
SdccBuild BuildWithSdcc(const std::vector<std::string>& sources, const std::string& work_folder,
                        int code_address = 0, bool with_library = false);

// sdcc -mz80 -c on a C file holding the given lines; true when it compiled.
bool CompilesWithSdcc(const std::vector<std::string>& lines, const std::string& work_folder,
                      std::string& messages);
