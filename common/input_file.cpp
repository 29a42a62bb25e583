#include "common/input_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "common/large_buffer.h"

namespace {

Checked<InputFile> Refuse(RefusalKind kind, const std::string& path) {
  switch (kind) {
    case RefusalKind::kMissing:
      return Checked<InputFile>::Refused("Can not find " + path, kind);
    case RefusalKind::kNotRegular:
      return Checked<InputFile>::Refused(NotRegularText(path), kind);
    default:
      return Checked<InputFile>::Refused(CannotReadText(path), RefusalKind::kCannotRead);
  }
}

}  // namespace

std::string NotRegularText(const std::string& path) { return path + " is not a regular file"; }
std::string CannotReadText(const std::string& path) { return "Can not read " + path; }
std::string TooLargeText(const std::string& path) { return path + " is too large"; }

Checked<InputFile> OpenInputFile(const std::string& path) {
  // O_NONBLOCK: opening a FIFO for reading would otherwise wait for a writer.
  const int fd = open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0)
    return Refuse(errno == ENOENT || errno == ENOTDIR ? RefusalKind::kMissing : RefusalKind::kCannotRead,
                  path);
  struct stat info {};
  const bool is_stat = fstat(fd, &info) == 0;
  if (!is_stat || !S_ISREG(info.st_mode)) {
    close(fd);
    return Refuse(is_stat ? RefusalKind::kNotRegular : RefusalKind::kCannotRead, path);
  }
  const int flags = fcntl(fd, F_GETFL);
  if (flags >= 0) fcntl(fd, F_SETFL, flags & ~O_NONBLOCK);
  InputFile input;
  input.file.reset(fdopen(fd, "rb"));
  if (!input.file) {
    close(fd);
    return Refuse(RefusalKind::kCannotRead, path);
  }
  input.size_bytes = static_cast<uint64_t>(info.st_size);
  return input;
}

Checked<std::vector<uint8_t>> ReadInputFile(const std::string& path, uint64_t max_bytes) {
  using Bytes = Checked<std::vector<uint8_t>>;
  const Checked<InputFile> input = OpenInputFile(path);
  if (!input) return Bytes::Refused(input);
  const Bytes too_large = Bytes::Refused(TooLargeText(path), RefusalKind::kTooLarge);
  if (input->size_bytes > max_bytes) return too_large;
  // One byte more than fstat said, so that a file that grew since shows.
  std::vector<uint8_t> bytes;
  ReserveLarge(bytes, static_cast<size_t>(input->size_bytes) + 1);
  bytes.resize(static_cast<size_t>(input->size_bytes) + 1);
  const size_t got = std::fread(bytes.data(), 1, bytes.size(), input->file.get());
  if (got > max_bytes) return too_large;
  if (std::ferror(input->file.get()) != 0)
    return Bytes::Refused(CannotReadText(path), RefusalKind::kCannotRead);
  bytes.resize(got);
  return bytes;
}

bool IsSameFile(const std::string& input_path, const std::string& output_path) {
  if (input_path == output_path) return true;
  struct stat input {};
  struct stat output {};
  if (stat(input_path.c_str(), &input) != 0 || stat(output_path.c_str(), &output) != 0) return false;
  return input.st_dev == output.st_dev && input.st_ino == output.st_ino;
}
