// Runs that read a file, change it and write it back (a tileset, a disk image,
// the level builder's run log) take turns through an exclusive advisory lock.
// The lock is held on a hidden lock file beside the target (".NAME.lock"),
// created when missing and never removed: a lock on the target itself would
// not survive the rename that replaces it, and a waiting run would then go on
// with the old, replaced file.
#pragma once

#include <string>

class TargetLock {
 public:
  // Waits until no other run holds the lock of target_path, then holds it
  // until destroyed. When the lock file can not be created (a read-only
  // folder) nothing is held: the run goes on, and its write there fails anyway.
  explicit TargetLock(const std::string& target_path);
  ~TargetLock();
  TargetLock(const TargetLock&) = delete;
  TargetLock& operator=(const TargetLock&) = delete;

  bool IsHeld() const { return fd_ >= 0; }

 private:
  int fd_ = -1;
};

// ".NAME.lock" in the folder of target_path.
std::string LockFilePath(const std::string& target_path);
