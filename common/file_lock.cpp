#include "common/file_lock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdint>
#include <utility>

#include "common/file_path.h"
#include "common/input_file.h"
#include "common/number_text.h"

namespace {

constexpr char kLockSuffix[] = ".lock";

// FNV-1a over the name: only told apart, never trusted.
uint64_t NameHash(const std::string& name) {
  uint64_t hash = 0xCBF29CE484222325ULL;
  for (const char c : name) hash = (hash ^ static_cast<uint8_t>(c)) * 0x100000001B3ULL;
  return hash;
}

// The lock file, opened for writing (flock itself would do with reading; the
// writable open is the proof that this run may change what is there), never
// through a link, never blocking on a FIFO or a device. -1 with errno set;
// EISDIR also for anything there that is not a regular file.
int OpenLockFile(const std::string& lock_path) {
  const int fd =
      open(lock_path.c_str(), O_RDWR | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC, 0666);
  if (fd < 0) return -1;
  struct stat info {};
  if (fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
    close(fd);
    errno = EISDIR;
    return -1;
  }
  return fd;
}

std::string CannotLockText(const std::string& target_path, const std::string& lock_path, int error) {
  const std::string head = "Can not lock " + target_path + ": ";
  if (error == ELOOP) return head + lock_path + " is a symbolic link";
  if (error == EISDIR) return head + lock_path + " is not a regular file";
  return head + "can not open " + lock_path + " for writing";
}

}  // namespace

std::string LockFilePath(const std::string& target_path) {
  const std::string name = NameOf(target_path);
  const std::string folder = FolderOf(target_path);
  std::string lock_name = "." + name + kLockSuffix;
  if (lock_name.size() > NAME_MAX) {
    constexpr size_t kHashDigits = 16;
    const size_t kept = NAME_MAX - 1 - 1 - kHashDigits - (sizeof kLockSuffix - 1);
    lock_name = "." + name.substr(0, kept) + "-" + Hex(NameHash(name), kHashDigits) + kLockSuffix;
  }
  return folder + lock_name;
}

Checked<TargetLock> TakeTargetLock(const std::string& target_path) {
  const std::string name = NameOf(target_path);
  if (name.empty() || name == "." || name == "..") {
    return Checked<TargetLock>::Refused(NotRegularText(target_path));
  }
  const std::string lock_path = LockFilePath(target_path);
  TargetLock lock(OpenLockFile(lock_path));
  // No folder there: no file to lose either, and the run's own reading and
  // writing say so in their words.
  if (lock.fd_ < 0 && errno == ENOENT) return lock;
  if (lock.fd_ < 0) return Checked<TargetLock>::Refused(CannotLockText(target_path, lock_path, errno));
  int result = 0;
  do {
    result = flock(lock.fd_, LOCK_EX);
  } while (result != 0 && errno == EINTR);
  if (result != 0) return Checked<TargetLock>::Refused("Can not lock " + target_path + ": " + lock_path);
  return lock;
}

TargetLock::TargetLock(TargetLock&& other) noexcept : fd_(std::exchange(other.fd_, -1)) {}

TargetLock& TargetLock::operator=(TargetLock&& other) noexcept {
  if (this != &other) {
    if (fd_ >= 0) close(fd_);
    fd_ = std::exchange(other.fd_, -1);
  }
  return *this;
}

TargetLock::~TargetLock() {
  if (fd_ >= 0) close(fd_);  // closing releases the lock
}
