#include "tests/test_support.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <iterator>
#include <random>
#include <sstream>
#include <utility>

#include "toolkit/source_image.h"

TempDir::TempDir() {
  std::string pattern = (std::filesystem::temp_directory_path() / "tarsel_test_XXXXXX").string();
  if (mkdtemp(pattern.data()) == nullptr) std::abort();
  path_ = pattern;
}

TempDir::~TempDir() {
  std::error_code ignored;
  std::filesystem::permissions(path_, std::filesystem::perms::owner_all, ignored);
  std::filesystem::remove_all(path_, ignored);
}

std::string TempDir::File(const std::string& name) const { return (path_ / name).string(); }

ConsoleCapture::ConsoleCapture() {
  previous_ = SetLineSink([this](std::string_view line) { lines_.emplace_back(line); });
}

ConsoleCapture::~ConsoleCapture() { SetLineSink(std::move(previous_)); }

ConsoleAnswers::ConsoleAnswers(std::vector<std::string> answers) : answers_(std::move(answers)) {
  previous_ = SetLineSource([this] {
    const size_t index = static_cast<size_t>(asked_++);
    return index < answers_.size() ? answers_[index] : std::string();
  });
}

ConsoleAnswers::~ConsoleAnswers() { SetLineSource(std::move(previous_)); }

std::vector<PaletteEntry> TestPalette() {
  std::vector<PaletteEntry> palette(256);
  for (int k = 0; k < 256; ++k) {
    const auto level = static_cast<uint8_t>((k * 16) & 0xFF);
    palette[k] = {level, level, static_cast<uint8_t>(255 - level)};
  }
  return palette;
}

bool WriteIndexedBmp(const std::string& path, int width, int height, const std::vector<uint8_t>& pens,
                     const std::vector<PaletteEntry>& palette) {
  ImagePtr image(FreeImage_Allocate(width, height, 8));
  if (!image) return false;
  RGBQUAD* entries = FreeImage_GetPalette(image.get());
  for (int k = 0; k < 256; ++k) {
    const PaletteEntry entry = k < static_cast<int>(palette.size()) ? palette[k] : PaletteEntry{};
    entries[k].rgbRed = entry.red;
    entries[k].rgbGreen = entry.green;
    entries[k].rgbBlue = entry.blue;
    entries[k].rgbReserved = 0;
  }
  for (int y = 0; y < height; ++y) {
    // FreeImage's first scan line is the bottom picture row.
    uint8_t* line = FreeImage_GetScanLine(image.get(), height - 1 - y);
    for (int x = 0; x < width; ++x) line[x] = pens[static_cast<size_t>(y) * width + x];
  }
  return FreeImage_Save(FIF_BMP, image.get(), path.c_str(), 0) != 0;
}

bool WriteBmpOfDepth(const std::string& path, int width, int height, int bits_per_pixel) {
  ImagePtr image(FreeImage_Allocate(width, height, bits_per_pixel));
  if (!image) return false;
  if (bits_per_pixel <= 8) {
    RGBQUAD* entries = FreeImage_GetPalette(image.get());
    for (int k = 0; k < (1 << bits_per_pixel); ++k) {
      entries[k].rgbRed = entries[k].rgbGreen = entries[k].rgbBlue = static_cast<BYTE>(k * 255 / ((1 << bits_per_pixel) - 1));
    }
  }
  const unsigned pitch = FreeImage_GetPitch(image.get());
  for (int y = 0; y < height; ++y) {
    uint8_t* line = FreeImage_GetScanLine(image.get(), y);
    for (unsigned i = 0; i < pitch; ++i) line[i] = static_cast<uint8_t>(i * 7 + y * 3);
  }
  return FreeImage_Save(FIF_BMP, image.get(), path.c_str(), 0) != 0;
}

std::vector<uint8_t> RandomPens(int width, int height, uint32_t seed, int pen_limit) {
  std::mt19937 generator(seed);
  std::uniform_int_distribution<int> pen(0, pen_limit - 1);
  std::vector<uint8_t> pens(static_cast<size_t>(width) * height);
  for (uint8_t& p : pens) p = static_cast<uint8_t>(pen(generator));
  return pens;
}

std::vector<uint8_t> ReadFileBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

bool WriteFileBytes(const std::string& path, const std::vector<uint8_t>& bytes) {
  std::ofstream out(path, std::ios::binary);
  out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  return static_cast<bool>(out);
}

std::vector<std::string> ReadTextLines(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::vector<std::string> lines;
  std::string line;
  while (std::getline(in, line)) lines.push_back(line);
  return lines;
}

int CountEntries(const std::filesystem::path& folder) {
  int count = 0;
  for (const auto& entry : std::filesystem::directory_iterator(folder)) {
    const std::string name = entry.path().filename().string();
    const bool is_lock = name.size() > 6 && name.front() == '.' && name.ends_with(".lock");
    if (!is_lock) ++count;
  }
  return count;
}

void PlantBadLock(const std::filesystem::path& folder, const std::string& lock_name, BadLock kind) {
  const std::filesystem::path lock = folder / lock_name;
  std::filesystem::remove_all(lock);
  switch (kind) {
    case BadLock::kLink:
      std::filesystem::create_symlink("victim", lock);
      break;
    case BadLock::kFolder:
      std::filesystem::create_directory(lock);
      break;
    case BadLock::kUnwritable:
      WriteFileBytes(lock.string(), {});
      std::filesystem::permissions(lock, std::filesystem::perms::owner_read |
                                             std::filesystem::perms::group_read |
                                             std::filesystem::perms::others_read);
      break;
  }
}

namespace {

std::vector<std::string> SplitLines(const std::string& text) {
  std::vector<std::string> lines;
  std::string line;
  std::istringstream in(text);
  while (std::getline(in, line)) lines.push_back(line);
  return lines;
}

}  // namespace

namespace {

// In a forked child: runs program with args in folder cwd, never returning.
[[noreturn]] void ExecInFolder(const std::string& program, const std::vector<std::string>& args,
                               const std::filesystem::path& cwd) {
  if (chdir(cwd.c_str()) != 0) _exit(126);
  std::vector<char*> argv;
  argv.push_back(const_cast<char*>(program.c_str()));
  for (const std::string& arg : args) argv.push_back(const_cast<char*>(arg.c_str()));
  argv.push_back(nullptr);
  execv(program.c_str(), argv.data());
  _exit(127);
}

}  // namespace

std::string RequiredTool(const std::string& name) {
  const char* path = std::getenv("PATH");
  std::stringstream folders(path != nullptr ? path : "/usr/bin");
  std::string folder;
  while (std::getline(folders, folder, ':')) {
    const std::filesystem::path candidate = std::filesystem::path(folder) / name;
    if (access(candidate.c_str(), X_OK) == 0) return candidate.string();
  }
  ADD_FAILURE() << name << " is not installed: scripts/install_deps.sh installs what the tests need";
  return "";
}

RunResult RunProgram(const std::string& program, const std::vector<std::string>& args,
                     const std::filesystem::path& cwd, const std::string& stdin_text) {
  RunResult result;
  // A child that ends without reading its input must not take the test with it.
  signal(SIGPIPE, SIG_IGN);
  int to_child[2];
  int from_child[2];
  if (pipe(to_child) != 0 || pipe(from_child) != 0) return result;
  const pid_t pid = fork();
  if (pid == 0) {
    dup2(to_child[0], STDIN_FILENO);
    dup2(from_child[1], STDOUT_FILENO);
    close(to_child[1]);
    close(from_child[0]);
    ExecInFolder(program, args, cwd);
  }
  close(to_child[0]);
  close(from_child[1]);
  if (!stdin_text.empty() && write(to_child[1], stdin_text.data(), stdin_text.size()) < 0) {
    // The child may have ended without reading; its output still tells.
  }
  close(to_child[1]);
  char buffer[4096];
  ssize_t got;
  while ((got = read(from_child[0], buffer, sizeof buffer)) > 0) result.raw_output.append(buffer, got);
  close(from_child[0]);
  int status = 0;
  waitpid(pid, &status, 0);
  result.exit_code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  result.lines = SplitLines(result.raw_output);
  return result;
}

pid_t StartProgram(const std::string& program, const std::vector<std::string>& args,
                   const std::filesystem::path& cwd) {
  const pid_t pid = fork();
  if (pid == 0) {
    const int null = open("/dev/null", O_RDWR);
    dup2(null, STDIN_FILENO);
    dup2(null, STDOUT_FILENO);
    ExecInFolder(program, args, cwd);
  }
  return pid;
}

namespace {

// The command that runs program with args as nobody when this is root.
std::pair<std::string, std::vector<std::string>> Unprivileged(const std::string& program,
                                                              const std::vector<std::string>& args) {
  if (geteuid() != 0) return {program, args};
  std::vector<std::string> command = {"setpriv", "--reuid=65534", "--regid=65534", "--clear-groups", program};
  command.insert(command.end(), args.begin(), args.end());
  return {"/usr/bin/env", command};
}

}  // namespace

RunResult RunProgramUnprivileged(const std::string& program, const std::vector<std::string>& args,
                                 const std::filesystem::path& cwd) {
  const auto [command, command_args] = Unprivileged(program, args);
  return RunProgram(command, command_args, cwd);
}

pid_t StartProgramUnprivileged(const std::string& program, const std::vector<std::string>& args,
                               const std::filesystem::path& cwd) {
  const auto [command, command_args] = Unprivileged(program, args);
  return StartProgram(command, command_args, cwd);
}

TwoRuns RunTwoUnprivileged(const std::string& program, const std::vector<std::string>& first_args,
                           const std::vector<std::string>& second_args, const std::filesystem::path& cwd) {
  TwoRuns runs;
  const pid_t first = StartProgramUnprivileged(program, first_args, cwd);
  runs.second = RunProgramUnprivileged(program, second_args, cwd);
  const int status = WaitForProgram(first);
  if (WIFEXITED(status)) runs.first_exit_code = WEXITSTATUS(status);
  return runs;
}

int WaitForProgram(pid_t pid) {
  int status = 0;
  waitpid(pid, &status, 0);
  return status;
}

RunResult RunProgramWithin(int limit_seconds, const std::string& program,
                           const std::vector<std::string>& args, const std::filesystem::path& cwd) {
  std::vector<std::string> timed = {"-s", "KILL", std::to_string(limit_seconds), program};
  timed.insert(timed.end(), args.begin(), args.end());
  RunResult run = RunProgram("/usr/bin/timeout", timed, cwd);
  if (run.exit_code == 128 + SIGKILL) run.exit_code = -1;
  return run;
}

std::vector<std::string> GravikStartupLines() {
  return {"", "*********************", "*** Tarsel toolkit ***", "*********************",
          FreeImage_GetCopyrightMessage(), ""};
}

std::vector<std::string> AfterStartup(const RunResult& run) {
  const size_t skip = GravikStartupLines().size();
  if (run.lines.size() < skip) return {};
  return std::vector<std::string>(run.lines.begin() + static_cast<ptrdiff_t>(skip), run.lines.end());
}

Picture PictureOfBitmap(FIBITMAP* image) {
  Picture view;
  view.width = static_cast<int>(FreeImage_GetWidth(image));
  view.height = static_cast<int>(FreeImage_GetHeight(image));
  view.stride = -static_cast<ptrdiff_t>(FreeImage_GetPitch(image));
  view.top_row = view.height > 0 ? FreeImage_GetScanLine(image, view.height - 1) : FreeImage_GetBits(image);
  return view;
}
