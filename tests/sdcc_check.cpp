#include "tests/sdcc_check.h"

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <sstream>

#include "tests/test_support.h"

namespace {

// Runs a shell command, its messages (both streams) appended; true on exit 0.
bool RunCommand(const std::string& command, std::string& messages) {
  FILE* pipe = popen((command + " 2>&1").c_str(), "r");
  if (pipe == nullptr) return false;
  char buffer[512];
  size_t got;
  while ((got = std::fread(buffer, 1, sizeof buffer, pipe)) > 0) messages.append(buffer, got);
  return pclose(pipe) == 0;
}

std::string Quoted(const std::string& text) { return "'" + text + "'"; }

// The tool's path, or a message saying it is missing.
bool Tool(const std::string& name, std::string& path, std::string& messages) {
  path = FindOnPath(name);
  if (path.empty()) messages += name + " is not on PATH (Debian package sdcc)\n";
  return !path.empty();
}

bool MakeObject(const std::string& source, const std::string& object, std::string& messages) {
  std::string tool;
  if (source.ends_with(".s")) {
    return Tool("sdasz80", tool, messages) &&
           RunCommand(Quoted(tool) + " -plosgff " + Quoted(object) + " " + Quoted(source), messages);
  }
  return Tool("sdcc", tool, messages) &&
         RunCommand(Quoted(tool) + " -mz80 -c " + Quoted(source) + " -o " + Quoted(object), messages);
}

void ReadSymbols(const std::string& map_path, std::map<std::string, int>& symbols) {
  for (const std::string& line : ReadTextLines(map_path)) {
    std::istringstream in(line);
    std::string value, name;
    if (!(in >> value >> name) || value.size() != 8 || name.empty() || name[0] != '_') continue;
    char* end = nullptr;
    const long address = std::strtol(value.c_str(), &end, 16);
    if (*end == '\0') symbols[name] = static_cast<int>(address);
  }
}

}  // namespace

std::string FindOnPath(const std::string& program) {
  const char* path = std::getenv("PATH");
  std::istringstream folders(path == nullptr ? "" : path);
  for (std::string folder; std::getline(folders, folder, ':');) {
    const std::string candidate = (folder.empty() ? "." : folder) + "/" + program;
    if (access(candidate.c_str(), X_OK) == 0) return candidate;
  }
  return {};
}

SdccBuild BuildWithSdcc(const std::vector<std::string>& sources, const std::string& work_folder,
                        int code_address, bool with_library) {
  SdccBuild build;
  std::string objects;
  for (size_t k = 0; k < sources.size(); ++k) {
    const std::string object = work_folder + "/object" + std::to_string(k) + ".rel";
    if (!MakeObject(sources[k], object, build.messages)) return build;
    objects += " " + Quoted(object);
  }
  std::string linker, makebin;
  if (!Tool("sdldz80", linker, build.messages) || !Tool("makebin", makebin, build.messages)) return build;
  const std::string image = work_folder + "/linked";
  char area[64];
  std::snprintf(area, sizeof area, " -b _CODE=0x%04X", code_address);
  std::string library;
  if (with_library) library = " -k /usr/share/sdcc/lib/z80 -l z80";
  if (!RunCommand(Quoted(linker) + " -n -m -w" + area + library + " -i " + Quoted(image + ".ihx") + objects,
                  build.messages)) {
    return build;
  }
  // The linker writes no image at all when nothing was linked.
  build.is_ok = !std::filesystem::exists(image + ".ihx");
  if (build.is_ok) return build;
  if (!RunCommand(Quoted(makebin) + " -p " + Quoted(image + ".ihx") + " " + Quoted(image + ".bin"),
                  build.messages)) {
    return build;
  }
  build.binary = ReadFileBytes(image + ".bin");
  ReadSymbols(image + ".map", build.symbols);
  build.is_ok = true;
  return build;
}

bool CompilesWithSdcc(const std::vector<std::string>& lines, const std::string& work_folder,
                      std::string& messages) {
  std::filesystem::create_directories(work_folder + "/compiled");
  const std::string source = work_folder + "/compiled.c";
  WriteTextFile(source, lines);
  return MakeObject(source, work_folder + "/compiled/", messages);
}
