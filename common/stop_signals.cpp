#include "common/stop_signals.h"

#include <stdio.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>

namespace {

// Groups are two files today; the slack covers an operation that keeps a few
// outputs open at once.
constexpr int kEntryCount = 16;
constexpr int kStopSignals[] = {SIGINT, SIGTERM, SIGHUP};

// An entry with a target is a restore; one with only a first path a removal.
struct StopEntry {
  std::atomic<const char*> first{nullptr};
  std::atomic<const char*> target{nullptr};
  std::atomic<bool> is_used{false};
};
static_assert(std::atomic<const char*>::is_always_lock_free);
static_assert(std::atomic<bool>::is_always_lock_free);

StopEntry g_entries[kEntryCount];

extern "C" void OnStopSignal(int signal_number) {
  const int saved_errno = errno;
  // Targets first: their backups are what a user would otherwise have to find.
  for (StopEntry& entry : g_entries) {
    const char* target = entry.target.load();
    if (!entry.is_used.load() || target == nullptr) continue;
    const char* backup = entry.first.load();
    if (backup != nullptr) {
      // A backup still linked to the target (its rename had not happened)
      // makes this rename do nothing: the unlink then drops the extra name.
      rename(backup, target);
      unlink(backup);
    } else {
      unlink(target);
    }
  }
  for (StopEntry& entry : g_entries) {
    const char* path = entry.first.load();
    if (entry.is_used.load() && entry.target.load() == nullptr && path != nullptr) unlink(path);
  }
  signal(signal_number, SIG_DFL);
  raise(signal_number);
  errno = saved_errno;
}

int Register(const char* first, const char* target) {
  for (int k = 0; k < kEntryCount; ++k) {
    StopEntry& entry = g_entries[k];
    if (entry.is_used.load()) continue;
    entry.first.store(first);
    entry.target.store(target);
    entry.is_used.store(true);
    return k;
  }
  return -1;
}

}  // namespace

void RemoveTemporaryFilesOnSignals() {
  for (const int signal_number : kStopSignals) {
    struct sigaction previous {};
    if (sigaction(signal_number, nullptr, &previous) != 0 || previous.sa_handler == SIG_IGN) continue;
    struct sigaction action {};
    action.sa_handler = OnStopSignal;
    sigemptyset(&action.sa_mask);
    for (const int other : kStopSignals) sigaddset(&action.sa_mask, other);
    sigaction(signal_number, &action, nullptr);
  }
}

StopSignalBlock::StopSignalBlock() {
  sigset_t blocked;
  sigemptyset(&blocked);
  for (const int signal_number : kStopSignals) sigaddset(&blocked, signal_number);
  sigprocmask(SIG_BLOCK, &blocked, &previous_);
}

StopSignalBlock::~StopSignalBlock() { sigprocmask(SIG_SETMASK, &previous_, nullptr); }

int RegisterTemporaryFile(const char* path) { return Register(path, nullptr); }

int RegisterTargetRestore(const char* backup, const char* target) { return Register(backup, target); }

void UnregisterStopEntry(int entry) {
  if (entry < 0 || entry >= kEntryCount) return;
  g_entries[entry].is_used.store(false);
  g_entries[entry].first.store(nullptr);
  g_entries[entry].target.store(nullptr);
}
