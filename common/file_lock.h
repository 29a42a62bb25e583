// Runs that read a file, change it and write it back (a tileset, a disk image,
// the level builder's run log) take turns through an exclusive advisory lock.
// The lock is held on a hidden lock file beside the target (".NAME.lock"),
// created when missing and never removed: a lock on the target itself would
// not survive the rename that replaces it, and a waiting run would then go on
// with the old, replaced file.
#pragma once

#include <string>

#include "common/refusal.h"

// A lock held until destroyed (closing the lock file releases it). Moved, the
// lock goes with it.
class TargetLock {
 public:
  TargetLock(TargetLock&& other) noexcept;
  TargetLock& operator=(TargetLock&& other) noexcept;
  ~TargetLock();
  TargetLock(const TargetLock&) = delete;
  TargetLock& operator=(const TargetLock&) = delete;

 private:
  friend Checked<TargetLock> TakeTargetLock(const std::string& target_path);
  explicit TargetLock(int fd) : fd_(fd) {}
  int fd_ = -1;
};

// Waits until no other run holds the lock of target_path, then holds it.
// Refused, with nothing created, when target_path names no file ("", ".",
// "..", a name ending in '/'), and refused when the lock file can not be
// taken: a symbolic link or anything but a regular file under its name (never
// followed), or a file this run can not open for writing (a read-only folder
// or lock file). Going on without the lock would let two runs each replace
// the target with their own changes, one run's lost. A target whose folder
// does not exist gets a lock that holds nothing: there is nothing to lose,
// and its write fails anyway.
Checked<TargetLock> TakeTargetLock(const std::string& target_path);

// ".NAME.lock" in the folder of target_path; for a NAME too long for that, a
// name cut short and told apart by a hash of the whole NAME, the same in
// every run.
std::string LockFilePath(const std::string& target_path);
