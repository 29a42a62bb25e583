#include "common/line_output.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <iostream>

namespace {

LineSink& CurrentSink() {
  static LineSink sink;
  return sink;
}

// New files get the permissions a plain fopen would give them: mkstemp makes
// them private (0600), which would surprise a user sharing a build folder.
mode_t CreationMode() {
  const mode_t mask = umask(0);
  umask(mask);
  return static_cast<mode_t>(0666 & ~mask);
}

LineSource& CurrentSource() {
  static LineSource source;
  return source;
}

}  // namespace

void PrintLine(std::string_view text) {
  if (CurrentSink()) {
    CurrentSink()(text);
    return;
  }
  std::cout << text << '\n' << std::flush;
}

LineSink SetLineSink(LineSink sink) {
  LineSink previous = std::move(CurrentSink());
  CurrentSink() = std::move(sink);
  return previous;
}

LineSource SetLineSource(LineSource source) {
  LineSource previous = std::move(CurrentSource());
  CurrentSource() = std::move(source);
  return previous;
}

std::string ReadConsoleLine() {
  if (CurrentSource()) return CurrentSource()();
  std::string line;
  std::getline(std::cin, line);
  return line;
}

std::string WriteFailureText(WriteStatus status, const std::string& path) {
  switch (status) {
    case WriteStatus::kOk:
      return "";
    case WriteStatus::kCannotCreate:
      return "Can not create " + path;
    case WriteStatus::kCannotWrite:
      break;
  }
  return "Can not write " + path;
}

AsideFile::AsideFile(std::string path) : path_(std::move(path)) {
  std::string pattern = path_ + ".XXXXXX";
  const int fd = mkstemp(pattern.data());
  if (fd < 0) return;
  temp_path_ = pattern;
  if (fchmod(fd, CreationMode()) != 0 || (file_ = fdopen(fd, "wb")) == nullptr) {
    close(fd);
    std::remove(temp_path_.c_str());
    temp_path_.clear();
  }
}

AsideFile::~AsideFile() { Discard(); }

void AsideFile::Discard() {
  if (file_ != nullptr) {
    std::fclose(file_);
    file_ = nullptr;
  }
  if (!temp_path_.empty()) {
    std::remove(temp_path_.c_str());
    temp_path_.clear();
  }
}

void AsideFile::Write(std::span<const uint8_t> bytes) {
  if (file_ == nullptr || has_failed_ || bytes.empty()) return;
  if (std::fwrite(bytes.data(), 1, bytes.size(), file_) != bytes.size()) has_failed_ = true;
}

void AsideFile::Write(std::string_view text) {
  Write(std::span<const uint8_t>(reinterpret_cast<const uint8_t*>(text.data()), text.size()));
}

void AsideFile::WriteLine(std::string_view line) {
  Write(line);
  Write(kLineEnd);
}

WriteStatus AsideFile::Commit() {
  if (file_ == nullptr) return WriteStatus::kCannotCreate;
  const bool is_flushed = std::fflush(file_) == 0;
  const bool is_closed = std::fclose(file_) == 0;
  file_ = nullptr;
  if (has_failed_ || !is_flushed || !is_closed || std::rename(temp_path_.c_str(), path_.c_str()) != 0) {
    Discard();
    return WriteStatus::kCannotWrite;
  }
  temp_path_.clear();
  return WriteStatus::kOk;
}

WriteStatus WriteBinaryFile(const std::string& path, std::span<const uint8_t> bytes) {
  AsideFile file(path);
  file.Write(bytes);
  return file.Commit();
}

WriteStatus WriteTextFile(const std::string& path, const std::vector<std::string>& lines) {
  AsideFile file(path);
  for (const std::string& line : lines) file.WriteLine(line);
  return file.Commit();
}

void AppendLe16(std::vector<uint8_t>& out, uint16_t value) {
  out.push_back(static_cast<uint8_t>(value & 0xFF));
  out.push_back(static_cast<uint8_t>(value >> 8));
}

void AppendLe32(std::vector<uint8_t>& out, uint32_t value) {
  AppendLe16(out, static_cast<uint16_t>(value & 0xFFFF));
  AppendLe16(out, static_cast<uint16_t>(value >> 16));
}
