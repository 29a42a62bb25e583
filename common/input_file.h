// Opening and reading the files the programs take as input. Every input goes
// through here so that none can block the run (a FIFO given as a picture, a
// device), none is followed into a folder, and none is read without a bound.
#pragma once

#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

struct FileCloser {
  void operator()(std::FILE* file) const { std::fclose(file); }
};
// Every FILE the programs open is held by one of these.
using FilePtr = std::unique_ptr<std::FILE, FileCloser>;

enum class InputStatus {
  kOk,
  kMissing,     // no file of that name
  kNotRegular,  // a folder, a FIFO, a device: refused without waiting on it
  kCannotRead,  // there, but it can not be opened or read
  kTooLarge,    // longer than the caller's bound
};

struct InputFile {
  InputStatus status = InputStatus::kMissing;
  FilePtr file;  // open for reading at its start when kOk
  uint64_t size_bytes = 0;
};

// Opens path for reading when it is a regular file. The open never blocks:
// it is made non-blocking, checked with fstat, and only then read.
InputFile OpenInputFile(const std::string& path);

struct InputBytes {
  InputStatus status = InputStatus::kMissing;
  std::vector<uint8_t> bytes;
};

// The whole of the regular file at path, refused (kTooLarge) when it is longer
// than max_bytes.
InputBytes ReadInputFile(const std::string& path, uint64_t max_bytes);

// "Can not read PATH", or "PATH is not a regular file" and the like: the tail
// of the line an operation prints for an input that is not kOk.
std::string InputFailureText(InputStatus status, const std::string& path);

// True when writing to output_path would replace the file at input_path: the
// same path as typed, or, when both exist, the same file (device and inode,
// through links and other spellings of the path).
bool IsSameFile(const std::string& input_path, const std::string& output_path);
