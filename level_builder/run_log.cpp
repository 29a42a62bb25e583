#include "level_builder/run_log.h"

#include <sys/stat.h>

#include <memory>
#include <string>

#include "common/line_output.h"

namespace {

constexpr std::string_view kPrefix = "LogLine : ";

struct RunLog {
  bool is_started = false;
  std::unique_ptr<AsideFile> file;  // none when the log can not be created
};

RunLog& CurrentRunLog() {
  static RunLog log;
  return log;
}

// A folder in the log's place is known at the start: the log is then not
// written at all, and the run says so before its first line.
bool IsFolder(const char* path) {
  struct stat info {};
  return lstat(path, &info) == 0 && S_ISDIR(info.st_mode);
}

void StartRunLog(RunLog& log) {
  log.is_started = true;
  if (!IsFolder(kRunLogPath)) log.file = std::make_unique<AsideFile>(kRunLogPath);
  if (!log.file || !log.file->IsOpen()) {
    log.file.reset();
    PrintLine(std::string(kPrefix) + CannotCreateText(kRunLogPath));
  }
}

}  // namespace

void LogLine(std::string_view text) {
  RunLog& log = CurrentRunLog();
  if (!log.is_started) StartRunLog(log);
  PrintLine(text);
  if (log.file) log.file->WriteLine(text);
}

void CloseRunLog() {
  RunLog& log = CurrentRunLog();
  if (!log.is_started) StartRunLog(log);
  if (log.file) {
    if (const Refusal refused = log.file->Commit()) PrintLine(std::string(kPrefix) + *refused);
  }
  log = RunLog{};
}
