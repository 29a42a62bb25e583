// Console lines, the one-line console reader, and the file writers of both
// programs. Every console line and every output file goes through here.
#pragma once

#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

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

enum class WriteStatus { kOk, kCannotCreate, kCannotWrite };

// "Can not create <path>" or "Can not write <path>": the tail of the one line
// an operation prints after its own prefix when an output fails.
std::string WriteFailureText(WriteStatus status, const std::string& path);

// An output file written aside (a temporary file in the target's folder) and
// moved over the target only by Commit, so that a failure at any point leaves
// the previous file, if any, untouched. Destroying an uncommitted file removes
// the temporary file.
class AsideFile {
 public:
  explicit AsideFile(std::string path);
  ~AsideFile();
  AsideFile(const AsideFile&) = delete;
  AsideFile& operator=(const AsideFile&) = delete;

  // False when the temporary file could not be created (missing folder,
  // read-only place); writing then does nothing and Commit reports kCannotCreate.
  bool IsOpen() const { return file_ != nullptr; }
  void Write(std::span<const uint8_t> bytes);
  void Write(std::string_view text);
  void WriteLine(std::string_view line);
  // Flushes, closes and renames over the target. Any error seen while writing
  // (a full disk, say) is reported here and the target is left as it was.
  WriteStatus Commit();

 private:
  void Discard();

  std::string path_;
  std::string temp_path_;
  std::FILE* file_ = nullptr;
  bool has_failed_ = false;
};

// Whole-file conveniences over AsideFile.
WriteStatus WriteBinaryFile(const std::string& path, std::span<const uint8_t> bytes);
WriteStatus WriteTextFile(const std::string& path, const std::vector<std::string>& lines);

// Little-endian helpers for binary layouts.
void AppendLe16(std::vector<uint8_t>& out, uint16_t value);
void AppendLe32(std::vector<uint8_t>& out, uint32_t value);
