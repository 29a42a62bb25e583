// Opening and reading the files the programs take as input. Every input goes
// through here so that none can block the run (a FIFO given as a picture, a
// device), none is followed into a folder, and none is read without a bound.
#pragma once

#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "common/refusal.h"

struct FileCloser {
  void operator()(std::FILE* file) const { std::fclose(file); }
};
// Every FILE the programs open is held by one of these.
using FilePtr = std::unique_ptr<std::FILE, FileCloser>;

// An input open for reading at its start.
struct InputFile {
  FilePtr file;
  uint64_t size_bytes = 0;
};

// Opens path for reading when it is a regular file. The open never blocks:
// it is made non-blocking, checked with fstat, and only then read. Refused
// with "Can not find PATH" (kMissing), "PATH is not a regular file"
// (kNotRegular) or "Can not read PATH" (kCannotRead).
Checked<InputFile> OpenInputFile(const std::string& path);

// The whole of the regular file at path, refused as OpenInputFile does, or
// with "PATH is too large" (kTooLarge) when it is longer than max_bytes.
Checked<std::vector<uint8_t>> ReadInputFile(const std::string& path, uint64_t max_bytes);

// The texts of those refusals, for a caller that finds the same fault itself.
std::string NotRegularText(const std::string& path);
std::string CannotReadText(const std::string& path);
std::string TooLargeText(const std::string& path);

// True when writing to output_path would replace the file at input_path: the
// same path as typed, or, when both exist, the same file (device and inode,
// through links and other spellings of the path).
bool IsSameFile(const std::string& input_path, const std::string& output_path);
