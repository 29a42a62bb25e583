#include "common/file_lock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>

std::string LockFilePath(const std::string& target_path) {
  const size_t slash = target_path.find_last_of('/');
  const std::string folder = slash == std::string::npos ? "" : target_path.substr(0, slash + 1);
  const std::string name = slash == std::string::npos ? target_path : target_path.substr(slash + 1);
  return folder + "." + name + ".lock";
}

TargetLock::TargetLock(const std::string& target_path) {
  // O_NOFOLLOW: a link planted under the lock's name is not followed.
  const int fd = open(LockFilePath(target_path).c_str(), O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0666);
  if (fd < 0) return;
  int result = 0;
  do {
    result = flock(fd, LOCK_EX);
  } while (result != 0 && errno == EINTR);
  if (result != 0) {
    close(fd);
    return;
  }
  fd_ = fd;
}

TargetLock::~TargetLock() {
  if (fd_ >= 0) close(fd_);  // closing releases the lock
}
