#include "common/line_output.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <ctime>
#include <iostream>
#include <optional>

#include "common/file_path.h"
#include "common/stop_signals.h"

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

std::string& TemporaryPrefix() {
  static std::string prefix = program_invocation_short_name;
  return prefix;
}

GroupReplaceHook& CurrentReplaceHook() {
  static GroupReplaceHook hook = nullptr;
  return hook;
}

// A regular file being replaced keeps its permissions (a script made
// executable stays so), without set-user-ID and the like, which the new
// contents have not earned; anything else gets those of a new file.
mode_t ModeFor(const std::string& target) {
  struct stat info {};
  if (lstat(target.c_str(), &info) == 0 && S_ISREG(info.st_mode)) return info.st_mode & 0777;
  return CreationMode();
}

// The rename is an entry in the folder: it reaches the disk with the folder.
// A filesystem that can not sync a folder has nothing more to offer.
void SyncFolder(const std::string& target) {
  const std::string folder = FolderOf(target);
  const int fd = open(folder.empty() ? "." : folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return;
  fsync(fd);
  close(fd);
}

// Puts temp in target's place. A plain rename that replaces a file makes ext4
// (and filesystems like it) push the new file's data to the disk first, so
// that a crash right after can not leave an empty file there: for a sound
// list of 30 MB that costs more than writing it. An output that a rerun makes
// again need not pay for that, so where a regular file or a link is being
// replaced, the two names are swapped in one step (as atomic as the rename)
// and the old contents, now under the temporary name, are removed. Where the
// swap is not offered (no file there yet, other filesystems) or the old
// contents will not go, a plain rename, with its own outcome.
bool ReplaceWithoutFlush(const std::string& temp, const std::string& target) {
  struct stat info {};
  const bool is_swappable = lstat(target.c_str(), &info) == 0 && (S_ISREG(info.st_mode) || S_ISLNK(info.st_mode));
  if (is_swappable && renameat2(AT_FDCWD, temp.c_str(), AT_FDCWD, target.c_str(), RENAME_EXCHANGE) == 0) {
    if (unlink(temp.c_str()) == 0) return true;
    // Something other than the file looked at was swapped in meanwhile: swap
    // it back and let the rename decide.
    renameat2(AT_FDCWD, temp.c_str(), AT_FDCWD, target.c_str(), RENAME_EXCHANGE);
  }
  return std::rename(temp.c_str(), target.c_str()) == 0;
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

void SetTemporaryFilePrefix(std::string_view program_name) { TemporaryPrefix() = std::string(program_name); }

std::string CannotCreateText(const std::string& path) { return "Can not create " + path; }

std::string CannotWriteText(const std::string& path) { return "Can not write " + path; }

AsideFile::AsideFile(std::string path, Durability durability)
    : path_(std::move(path)), durability_(durability) {
  std::string pattern = FolderOf(path_) + "." + TemporaryPrefix() + "-XXXXXX";
  // The file and its registry entry come into being together for the handler.
  const StopSignalBlock block;
  const int fd = mkstemp(pattern.data());
  if (fd < 0) return;
  temp_path_ = pattern;
  stop_entry_ = RegisterTemporaryFile(temp_path_.c_str());
  if (fchmod(fd, ModeFor(path_)) != 0 || (file_ = fdopen(fd, "wb")) == nullptr) {
    close(fd);
    Discard();
  }
}

AsideFile::~AsideFile() { Discard(); }

void AsideFile::Discard() {
  if (file_ != nullptr) {
    std::fclose(file_);
    file_ = nullptr;
  }
  const StopSignalBlock block;
  if (!temp_path_.empty()) {
    std::remove(temp_path_.c_str());
    UnregisterStopEntry(stop_entry_);
    stop_entry_ = -1;
    temp_path_.clear();
  }
}

void AsideFile::Write(std::span<const uint8_t> bytes) {
  if (file_ == nullptr || has_failed_ || bytes.empty()) return;
  if (std::fwrite(bytes.data(), 1, bytes.size(), file_) != bytes.size()) has_failed_ = true;
}

void AsideFile::Reserve(uint64_t bytes) {
  if (file_ == nullptr || bytes == 0 || bytes > static_cast<uint64_t>(INT64_MAX)) return;
  // Kept to the written length, so that a file left shorter never shows
  // bytes that were not written.
  (void)fallocate(fileno(file_), FALLOC_FL_KEEP_SIZE, 0, static_cast<off_t>(bytes));
}

void AsideFile::Write(std::string_view text) {
  Write(std::span<const uint8_t>(reinterpret_cast<const uint8_t*>(text.data()), text.size()));
}

void AsideFile::WriteLine(std::string_view line) {
  Write(line);
  Write(kLineEnd);
}

Refusal AsideFile::Close() {
  if (file_ == nullptr) return temp_path_.empty() ? Refusal(CannotCreateText(path_)) : std::nullopt;
  const bool is_flushed = std::fflush(file_) == 0;
  const bool is_synced = durability_ == Durability::kPlain || fsync(fileno(file_)) == 0;
  const bool is_closed = std::fclose(file_) == 0;
  file_ = nullptr;
  if (has_failed_ || !is_flushed || !is_synced || !is_closed) {
    Discard();
    return CannotWriteText(path_);
  }
  return std::nullopt;
}

bool AsideFile::MoveIntoPlace() {
  {
    // The rename and the end of the registry entry happen as one for the handler.
    const StopSignalBlock block;
    // A synced file's data is on the disk already: the rename's push is free.
    const bool is_replaced = durability_ == Durability::kSynced
                                 ? std::rename(temp_path_.c_str(), path_.c_str()) == 0
                                 : ReplaceWithoutFlush(temp_path_, path_);
    if (!is_replaced) return false;
    UnregisterStopEntry(stop_entry_);
    stop_entry_ = -1;
    temp_path_.clear();
  }
  if (durability_ == Durability::kSynced) SyncFolder(path_);
  return true;
}

Refusal AsideFile::Commit() {
  if (Refusal closed = Close()) return closed;
  if (!MoveIntoPlace()) {
    Discard();
    return CannotWriteText(path_);
  }
  return std::nullopt;
}

// The group's access to the steps of Commit.
struct AsideGroupAccess {
  static Refusal Close(AsideFile& file) { return file.Close(); }
  static bool MoveIntoPlace(AsideFile& file) { return file.MoveIntoPlace(); }
  static void Discard(AsideFile& file) { file.Discard(); }
};

namespace {

// A target being replaced within a group, and where its previous file waits.
struct GroupTarget {
  std::string backup_path;  // empty when there was no previous file
  int stop_entry = -1;
};

bool Exists(const std::string& path) {
  struct stat info {};
  return lstat(path.c_str(), &info) == 0;
}

// Puts a second name on the previous file of target: a link, so that the
// target itself never goes missing, or on filesystems without links (FAT on
// a memory card) the file itself moved by rename. Never over a file already
// at backup: false then, with errno EEXIST.
bool KeepAs(const std::string& target, const std::string& backup) {
  if (link(target.c_str(), backup.c_str()) == 0) return true;
  if (errno == EEXIST) return false;
  if (renameat2(AT_FDCWD, target.c_str(), AT_FDCWD, backup.c_str(), RENAME_NOREPLACE) == 0) return true;
  if (errno != EINVAL) return false;  // EINVAL: no RENAME_NOREPLACE on this filesystem
  if (Exists(backup)) {
    errno = EEXIST;
    return false;
  }
  return std::rename(target.c_str(), backup.c_str()) == 0;
}

// Six letters or digits, different at each call and from run to run.
std::string UniqueSuffix() {
  static constexpr char kLetters[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
  static uint64_t counter = 0;
  timespec now{};
  clock_gettime(CLOCK_REALTIME, &now);
  uint64_t mixed = (static_cast<uint64_t>(now.tv_nsec) ^ static_cast<uint64_t>(now.tv_sec) << 30) +
                   static_cast<uint64_t>(getpid()) * 0x9E3779B97F4A7C15ULL +
                   ++counter * 0xBF58476D1CE4E5B9ULL;
  std::string suffix;
  for (int k = 0; k < 6; ++k, mixed /= 62) suffix += kLetters[mixed % 62];
  return suffix;
}

// A target too long for "TARGET.PROGRAM-old" keeps its previous file under a
// short name of its own, ".PROGRAM-old-XXXXXX" beside it, as the temporary
// files do: one name cut to fit would be the same for every long target of a
// group, and the second kept would take the first one's place.
std::optional<std::string> KeepUnderShortName(const std::string& target) {
  for (int attempt = 0; attempt < 100; ++attempt) {
    const std::string backup = FolderOf(target) + "." + TemporaryPrefix() + "-old-" + UniqueSuffix();
    if (KeepAs(target, backup)) return backup;
    if (errno != EEXIST) break;
  }
  return std::nullopt;
}

// Keeps the previous file of target as "TARGET.PROGRAM-old", a name a user
// recognises, or under a short name of its own when that one is too long.
// Only a file or a link is kept: a folder in the target's place fails the
// group as it would fail a single rename. Returns the backup's path, "" when
// there was nothing to keep, or none.
std::optional<std::string> KeepPrevious(const std::string& target) {
  struct stat info {};
  if (lstat(target.c_str(), &info) != 0) return std::string();
  if (!S_ISREG(info.st_mode) && !S_ISLNK(info.st_mode)) return std::nullopt;
  const std::string backup = target + "." + TemporaryPrefix() + "-old";
  if (NameOf(backup).size() > NAME_MAX) return KeepUnderShortName(target);
  std::remove(backup.c_str());  // one left by a killed run: the target is newer
  if (KeepAs(target, backup)) return backup;
  return std::nullopt;
}

// Undoes the replacement of one target: its previous file goes back, or the
// new file goes when there was none.
void PutBack(const std::string& target, GroupTarget& kept) {
  const StopSignalBlock block;
  if (kept.backup_path.empty()) {
    std::remove(target.c_str());
  } else {
    std::rename(kept.backup_path.c_str(), target.c_str());
    std::remove(kept.backup_path.c_str());  // still there when it was a link to the target
  }
  UnregisterStopEntry(kept.stop_entry);
  kept.stop_entry = -1;
}

// Replaces one target of a group, its previous file kept and registered to
// be put back on a stop. False when nothing changed.
bool ReplaceKeepingPrevious(AsideFile& file, size_t index, GroupTarget& kept) {
  const std::string& target = file.path();
  {
    const StopSignalBlock block;
    const std::optional<std::string> backup = KeepPrevious(target);
    if (!backup) return false;
    kept.backup_path = *backup;
    kept.stop_entry =
        RegisterTargetRestore(kept.backup_path.empty() ? nullptr : kept.backup_path.c_str(), target.c_str());
  }
  if (CurrentReplaceHook() != nullptr) CurrentReplaceHook()(index);
  if (AsideGroupAccess::MoveIntoPlace(file)) return true;
  // The failed rename left the target as it was, unless the previous file
  // had to be moved away rather than linked.
  const StopSignalBlock block;
  if (!kept.backup_path.empty()) {
    if (!Exists(target)) std::rename(kept.backup_path.c_str(), target.c_str());
    std::remove(kept.backup_path.c_str());
  }
  UnregisterStopEntry(kept.stop_entry);
  kept.stop_entry = -1;
  return false;
}

}  // namespace

Refusal CommitTogether(std::span<AsideFile* const> files) {
  for (AsideFile* closing : files) {
    if (Refusal closed = AsideGroupAccess::Close(*closing)) {
      for (AsideFile* file : files) AsideGroupAccess::Discard(*file);
      return closed;
    }
  }
  std::vector<GroupTarget> kept(files.size());
  for (size_t k = 0; k < files.size(); ++k) {
    if (ReplaceKeepingPrevious(*files[k], k, kept[k])) continue;
    for (size_t done = 0; done < k; ++done) PutBack(files[done]->path(), kept[done]);
    for (AsideFile* file : files) AsideGroupAccess::Discard(*file);
    return CannotWriteText(files[k]->path());
  }
  const StopSignalBlock block;
  for (GroupTarget& target : kept) {
    if (!target.backup_path.empty()) std::remove(target.backup_path.c_str());
    UnregisterStopEntry(target.stop_entry);
  }
  return std::nullopt;
}

void SetGroupReplaceHook(GroupReplaceHook hook) { CurrentReplaceHook() = hook; }

Refusal WriteBinaryFile(const std::string& path, std::span<const uint8_t> bytes, Durability durability) {
  AsideFile file(path, durability);
  file.Write(bytes);
  return file.Commit();
}

Refusal WriteTextFile(const std::string& path, const std::vector<std::string>& lines) {
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
