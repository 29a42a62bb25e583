// Console lines, the one-line console reader, and the file writers of both
// programs. Every console line and every output file goes through here.
#pragma once

#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "common/refusal.h"

// Prints text as one console line. Goes to standard output unless a sink is set.
void PrintLine(std::string_view text);

// Replaces the console with sink (tests capture lines this way); an empty sink
// restores standard output. Returns the sink that was in place.
using LineSink = std::function<void(std::string_view)>;
LineSink SetLineSink(LineSink sink);

// Reads one line from the console (standard input), without its line end.
// End of input gives an empty line.
std::string ReadConsoleLine();

// Replaces the console's input with source (tests answer questions this way);
// an empty source restores standard input. Returns the source that was in place.
using LineSource = std::function<std::string()>;
LineSource SetLineSource(LineSource source);

// The line end of every text file the programs write.
inline constexpr std::string_view kLineEnd = "\n";

// "Can not create PATH" (no file could be made there) and "Can not write
// PATH" (made, but not written whole or not put in place): the refusals of
// the writers below, the tail of the one line an operation prints after its
// own prefix when an output fails.
std::string CannotCreateText(const std::string& path);
std::string CannotWriteText(const std::string& path);

// How hard a replacement works to survive a power cut. kSynced is for files
// that hold work gathered over many runs (a tileset): the new contents reach
// the disk before they replace the old, and the rename reaches it after.
// Files a rerun makes again stay kPlain and pay nothing.
enum class Durability { kPlain, kSynced };

// Temporary files are named ".PROGRAM-XXXXXX" in the target's folder: short,
// so that a target of 255 bytes still gets one, and telling whose they are.
// The program's own name is used until a main sets it.
void SetTemporaryFilePrefix(std::string_view program_name);

// An output file written aside (a temporary file in the target's folder) and
// moved over the target only by Commit, so that a failure at any point leaves
// the previous file, if any, untouched. Destroying an uncommitted file removes
// the temporary file, and so does a stop signal once
// RemoveTemporaryFilesOnSignals (common/stop_signals.h) is in place. A
// replaced regular file keeps its permissions; a symbolic link at the target
// is replaced by the file, never followed.
class AsideFile {
 public:
  explicit AsideFile(std::string path, Durability durability = Durability::kPlain);
  ~AsideFile();
  AsideFile(const AsideFile&) = delete;
  AsideFile& operator=(const AsideFile&) = delete;

  // False when the temporary file could not be created (missing folder,
  // read-only place); writing then does nothing and Commit refuses with
  // CannotCreateText.
  bool IsOpen() const { return file_ != nullptr; }
  void Write(std::span<const uint8_t> bytes);
  void Write(std::string_view text);
  void WriteLine(std::string_view line);
  // The length the file will have, when known before the first byte: the
  // filesystem then allocates its blocks at once instead of reserving them
  // page by page as the writes come, a good part of the cost of writing tens
  // of megabytes. The file's length stays what is written. Nothing happens
  // where the filesystem can not.
  void Reserve(uint64_t bytes);
  // Flushes, closes and renames over the target. Any error seen while writing
  // (a full disk, say) is reported here, as CannotWriteText, and the target
  // is left as it was.
  Refusal Commit();

  const std::string& path() const { return path_; }
  // The temporary file, for a library that writes a file only by its name
  // (libdsk): it writes there instead of through Write, then Commit puts the
  // file in place. Empty when not open.
  const std::string& temp_path() const { return temp_path_; }

 private:
  friend struct AsideGroupAccess;
  // Flushes, syncs when asked and closes, leaving the temporary file complete
  // and ready to be renamed; on failure it is removed.
  Refusal Close();
  // Renames the closed temporary file over the target.
  bool MoveIntoPlace();
  void Discard();

  std::string path_;
  std::string temp_path_;
  Durability durability_ = Durability::kPlain;
  std::FILE* file_ = nullptr;
  bool has_failed_ = false;
  int stop_entry_ = -1;
};

// Puts every file of files in place, or none of them: all are closed first,
// then renamed in order. Each target replaced meanwhile is kept aside as
// "TARGET.PROGRAM-old" (a target too long for that under a short name of its
// own, ".PROGRAM-old-XXXXXX") until the last rename succeeds; when a rename fails, or
// a stop signal comes in between, the targets already replaced are put back.
// Only a SIGKILL can leave a group half replaced, and the old file is then
// beside it under that name. The refusal names the file of the group that
// failed.
Refusal CommitTogether(std::span<AsideFile* const> files);

// For tests: called with the index of each file of a group just before it is
// renamed (a test raises a signal there). Null removes the hook.
using GroupReplaceHook = void (*)(size_t index);
void SetGroupReplaceHook(GroupReplaceHook hook);

// Whole-file conveniences over AsideFile.
Refusal WriteBinaryFile(const std::string& path, std::span<const uint8_t> bytes,
                        Durability durability = Durability::kPlain);
Refusal WriteTextFile(const std::string& path, const std::vector<std::string>& lines);

// Little-endian helpers for binary layouts.
void AppendLe16(std::vector<uint8_t>& out, uint16_t value);
void AppendLe32(std::vector<uint8_t>& out, uint32_t value);
inline uint16_t ReadLe16(const uint8_t* bytes) { return static_cast<uint16_t>(bytes[0] | bytes[1] << 8); }
inline void WriteLe16(uint8_t* bytes, uint16_t value) {
  bytes[0] = static_cast<uint8_t>(value & 0xFF);
  bytes[1] = static_cast<uint8_t>(value >> 8);
}
inline uint32_t ReadLe32(const uint8_t* bytes) {
  return static_cast<uint32_t>(ReadLe16(bytes)) | static_cast<uint32_t>(ReadLe16(bytes + 2)) << 16;
}
inline void WriteLe32(uint8_t* bytes, uint32_t value) {
  WriteLe16(bytes, static_cast<uint16_t>(value & 0xFFFF));
  WriteLe16(bytes + 2, static_cast<uint16_t>(value >> 16));
}
