// Fuzz targets hand their input to the operations as a file, as a user would.
#pragma once

#include <FreeImage.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>

#include "common/image_io/bitmap.h"
#include "common/image_io/picture_file.h"
#include "common/line_output.h"

// FreeImage started once for the whole fuzzing run.
inline void StartImageLibrary() { static const ImageLibrary library(ImageDiagnostics::kConsole); }

// A file in the temp folder holding the fuzz input; removed when done.
class FuzzInputFile {
 public:
  FuzzInputFile(const uint8_t* data, size_t size, const std::string& suffix) {
    path_ = "/tmp/tarsel_fuzz_" + std::to_string(getpid()) + suffix;
    std::FILE* file = std::fopen(path_.c_str(), "wb");
    if (file != nullptr) {
      if (size > 0) std::fwrite(data, 1, size, file);
      std::fclose(file);
    }
  }
  ~FuzzInputFile() { std::remove(path_.c_str()); }
  const std::string& path() const { return path_; }

 private:
  std::string path_;
};

// Console lines are dropped while fuzzing.
inline void SilenceConsole() {
  static const bool is_silenced = [] {
    SetLineSink([](std::string_view) {});
    return true;
  }();
  (void)is_silenced;
}
