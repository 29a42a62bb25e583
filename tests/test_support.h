// Helpers for the tests: a scratch folder, console capture, picture builders
// and a runner for the real programs.
#pragma once

#include <FreeImage.h>
#include <sys/types.h>

#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "common/image_io/bitmap.h"
#include "common/line_output.h"
#include "common/picture.h"

// A top-down view of an 8-bit bitmap's pens (the bitmap must outlive it).
Picture PictureOfBitmap(FIBITMAP* image);

// A fresh folder under the system temp folder, removed with everything in it.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  const std::filesystem::path& path() const { return path_; }
  // path() / name as text.
  std::string File(const std::string& name) const;

 private:
  std::filesystem::path path_;
};

// Collects every PrintLine of its lifetime instead of printing it.
class ConsoleCapture {
 public:
  ConsoleCapture();
  ~ConsoleCapture();
  ConsoleCapture(const ConsoleCapture&) = delete;
  ConsoleCapture& operator=(const ConsoleCapture&) = delete;

  const std::vector<std::string>& lines() const { return lines_; }

 private:
  std::vector<std::string> lines_;
  LineSink previous_;
};

// Answers console questions with the given lines, in order (then empty lines),
// and counts how many were asked.
class ConsoleAnswers {
 public:
  explicit ConsoleAnswers(std::vector<std::string> answers);
  ~ConsoleAnswers();
  ConsoleAnswers(const ConsoleAnswers&) = delete;
  ConsoleAnswers& operator=(const ConsoleAnswers&) = delete;

  int questions_asked() const { return asked_; }

 private:
  std::vector<std::string> answers_;
  int asked_ = 0;
  LineSource previous_;
};

struct PaletteEntry {
  uint8_t red = 0;
  uint8_t green = 0;
  uint8_t blue = 0;
};

// A grey ramp with pen k at level k * 16 (pens 16 and up wrap): the palette of
// every test picture that does not ask for another one.
std::vector<PaletteEntry> TestPalette();

// Writes an 8-bit palettised BMP through FreeImage. pens holds width * height
// pens, row 0 the top row. A palette shorter than 256 entries is padded with black.
bool WriteIndexedBmp(const std::string& path, int width, int height, const std::vector<uint8_t>& pens,
                     const std::vector<PaletteEntry>& palette = TestPalette());

// Writes a BMP of another depth (24 bits, or 4 bits with a grey palette) filled
// with a pattern; for loader refusals.
bool WriteBmpOfDepth(const std::string& path, int width, int height, int bits_per_pixel);

// Pens of width * height pixels, row-major from the top, from a fixed seed.
std::vector<uint8_t> RandomPens(int width, int height, uint32_t seed, int pen_limit = 256);

std::vector<uint8_t> ReadFileBytes(const std::string& path);
bool WriteFileBytes(const std::string& path, const std::vector<uint8_t>& bytes);
std::vector<std::string> ReadTextLines(const std::string& path);

// Number of entries in a folder (to check that a refusal created nothing). The
// hidden lock files that runs leave beside what they change are not counted.
int CountEntries(const std::filesystem::path& folder);

// What a run finds under a lock file's name when the lock can not be taken:
// a symbolic link to "victim", a folder, a file no one may write.
enum class BadLock { kLink, kFolder, kUnwritable };
void PlantBadLock(const std::filesystem::path& folder, const std::string& lock_name, BadLock kind);

struct RunResult {
  int exit_code = -1;
  std::vector<std::string> lines;  // standard output split at line ends
  std::string raw_output;          // standard output as written
};

// The full path of a program on PATH. A test that needs a tool (ImageMagick's
// convert, cpmtools, strace) asks for it here: when it is not installed the
// test fails, naming the tool (scripts/install_deps.sh installs them all),
// and the path is empty.
std::string RequiredTool(const std::string& name);

// Runs program with args in folder cwd, feeding stdin_text to its standard input.
RunResult RunProgram(const std::string& program, const std::vector<std::string>& args,
                     const std::filesystem::path& cwd, const std::string& stdin_text = "");

// Starts program with args in folder cwd without waiting for it (its output
// is dropped; standard input is empty). Returns its process id.
pid_t StartProgram(const std::string& program, const std::vector<std::string>& args,
                   const std::filesystem::path& cwd);

// RunProgram and StartProgram as the user nobody when the tests run as root
// (root opens any file for writing, whatever its permissions), through
// setpriv found on PATH; as this user otherwise. The folder and the files the
// run must change have to be open to that user.
RunResult RunProgramUnprivileged(const std::string& program, const std::vector<std::string>& args,
                                 const std::filesystem::path& cwd);
pid_t StartProgramUnprivileged(const std::string& program, const std::vector<std::string>& args,
                               const std::filesystem::path& cwd);

// Two runs of program at once, as with StartProgramUnprivileged: the first
// started, the second run while it goes; the first's exit code (-1 when it
// did not exit) and the second's result.
struct TwoRuns {
  int first_exit_code = -1;
  RunResult second;
};
TwoRuns RunTwoUnprivileged(const std::string& program, const std::vector<std::string>& first_args,
                           const std::vector<std::string>& second_args, const std::filesystem::path& cwd);

// Waits for a started program; returns its wait status (WIFSIGNALED and so on).
int WaitForProgram(pid_t pid);

// Runs program like RunProgram, killed if it has not ended within
// limit_seconds (exit code -1 then): for runs that must not hang, whose
// fault would otherwise hang the test.
RunResult RunProgramWithin(int limit_seconds, const std::string& program,
                           const std::vector<std::string>& args, const std::filesystem::path& cwd);

// The lines a gravik run prints before its operation: banner, notice, blank.
std::vector<std::string> GravikStartupLines();

// The lines of run that follow the start-up lines.
std::vector<std::string> AfterStartup(const RunResult& run);
