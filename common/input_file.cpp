#include "common/input_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "common/large_buffer.h"

InputFile OpenInputFile(const std::string& path) {
  InputFile input;
  // O_NONBLOCK: opening a FIFO for reading would otherwise wait for a writer.
  const int fd = open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) {
    input.status = errno == ENOENT || errno == ENOTDIR ? InputStatus::kMissing : InputStatus::kCannotRead;
    return input;
  }
  struct stat info {};
  if (fstat(fd, &info) != 0) {
    close(fd);
    input.status = InputStatus::kCannotRead;
    return input;
  }
  if (!S_ISREG(info.st_mode)) {
    close(fd);
    input.status = InputStatus::kNotRegular;
    return input;
  }
  const int flags = fcntl(fd, F_GETFL);
  if (flags >= 0) fcntl(fd, F_SETFL, flags & ~O_NONBLOCK);
  input.file.reset(fdopen(fd, "rb"));
  if (!input.file) {
    close(fd);
    input.status = InputStatus::kCannotRead;
    return input;
  }
  input.size_bytes = static_cast<uint64_t>(info.st_size);
  input.status = InputStatus::kOk;
  return input;
}

InputBytes ReadInputFile(const std::string& path, uint64_t max_bytes) {
  InputBytes result;
  InputFile input = OpenInputFile(path);
  result.status = input.status;
  if (input.status != InputStatus::kOk) return result;
  if (input.size_bytes > max_bytes) {
    result.status = InputStatus::kTooLarge;
    return result;
  }
  // One byte more than fstat said, so that a file that grew since shows.
  ReserveLarge(result.bytes, static_cast<size_t>(input.size_bytes) + 1);
  result.bytes.resize(static_cast<size_t>(input.size_bytes) + 1);
  const size_t got = std::fread(result.bytes.data(), 1, result.bytes.size(), input.file.get());
  if (std::ferror(input.file.get()) != 0 || got > max_bytes) {
    result.status = got > max_bytes ? InputStatus::kTooLarge : InputStatus::kCannotRead;
    result.bytes.clear();
    return result;
  }
  result.bytes.resize(got);
  return result;
}

std::string InputFailureText(InputStatus status, const std::string& path) {
  switch (status) {
    case InputStatus::kOk:
      return "";
    case InputStatus::kMissing:
      return "Can not find " + path;
    case InputStatus::kNotRegular:
      return path + " is not a regular file";
    case InputStatus::kTooLarge:
      return path + " is too large";
    case InputStatus::kCannotRead:
      break;
  }
  return "Can not read " + path;
}

bool IsSameFile(const std::string& input_path, const std::string& output_path) {
  if (input_path == output_path) return true;
  struct stat input {};
  struct stat output {};
  if (stat(input_path.c_str(), &input) != 0 || stat(output_path.c_str(), &output) != 0) return false;
  return input.st_dev == output.st_dev && input.st_ino == output.st_ino;
}
