// quarn's step and pattern images: the input is used as the level's common
// image, then as the pattern files that a reload reads over a fixed level.
#include <FreeImage.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "fuzz/fuzz_support.h"
#include "level_builder/build_level.h"
#include "level_builder/run_log.h"

namespace {

constexpr int64_t kMaxFuzzPixels = int64_t{1} << 22;

std::string FuzzFolder() {
  static const std::string folder = [] {
    const std::string path = "/tmp/tarsel_fuzz_level_" + std::to_string(getpid());
    std::filesystem::create_directories(path);
    std::atexit([] {
      std::error_code ignored;
      std::filesystem::remove_all("/tmp/tarsel_fuzz_level_" + std::to_string(getpid()), ignored);
    });
    return path;
  }();
  return folder;
}

int32_t ReadLe32(const uint8_t* bytes) {
  return static_cast<int32_t>(bytes[0] | (bytes[1] << 8) | (bytes[2] << 16) |
                              (static_cast<uint32_t>(bytes[3]) << 24));
}

// A picture the size of a whole screen or two is plenty; larger headers only
// measure the memory of the machine.
bool IsModestBmp(const uint8_t* data, size_t size) {
  if (size < 26) return true;
  const int64_t width = ReadLe32(data + 18);
  const int64_t height = ReadLe32(data + 22);
  return std::abs(width) * std::abs(height) <= kMaxFuzzPixels;
}

void WriteBytes(const std::string& path, const uint8_t* data, size_t size) {
  std::FILE* file = std::fopen(path.c_str(), "wb");
  if (file == nullptr) return;
  if (size > 0) std::fwrite(data, 1, size, file);
  std::fclose(file);
}

// One block column five blocks tall, every block a different pen.
void WriteFixedLevel(const std::string& path) {
  FIBITMAP* image = FreeImage_Allocate(32, 160, 8);
  if (image == nullptr) return;
  for (int y = 0; y < 160; ++y) {
    BYTE* line = FreeImage_GetScanLine(image, y);
    for (int x = 0; x < 32; ++x) line[x] = static_cast<BYTE>(y / 32);
  }
  FreeImage_Save(FIF_BMP, image, path.c_str(), 0);
  FreeImage_Unload(image);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  SilenceConsole();
  if (!IsModestBmp(data, size)) return 0;
  const std::string folder = FuzzFolder();
  WriteBytes(folder + "/step.BMP", data, size);
  BuildLevel(folder + "/step", 0);
  CloseRunLog();

  static const bool has_fixed_level = [&] {
    WriteFixedLevel(folder + "/fixed.BMP");
    return true;
  }();
  (void)has_fixed_level;
  for (const char* group : {"A", "B", "C", "D"}) {
    const std::string pattern_folder = folder + "/fixed_group" + group;
    std::filesystem::create_directories(pattern_folder);
    for (const char* name :
         {"/pattern_00.bmp", "/pattern_01.bmp", "/pattern_02.bmp", "/pattern_03.bmp", "/pattern_04.bmp"}) {
      WriteBytes(pattern_folder + name, data, size);
    }
  }
  BuildLevel(folder + "/fixed", 2);
  CloseRunLog();
  return 0;
}
