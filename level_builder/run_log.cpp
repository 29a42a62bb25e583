#include "level_builder/run_log.h"

#include <cstdio>
#include <memory>
#include <string>

#include "common/line_output.h"

namespace {

constexpr const char* kRunLogPath = "out.txt";
constexpr std::string_view kPrefix = "LogLine : ";

struct FileCloser {
  void operator()(std::FILE* file) const { std::fclose(file); }
};

struct RunLog {
  bool is_started = false;
  bool has_failed = false;
  std::unique_ptr<std::FILE, FileCloser> file;
};

RunLog& CurrentRunLog() {
  static RunLog log;
  return log;
}

void StartRunLog(RunLog& log) {
  log.is_started = true;
  log.has_failed = false;
  log.file.reset(std::fopen(kRunLogPath, "wb"));
  if (!log.file) PrintLine(std::string(kPrefix) + WriteFailureText(WriteStatus::kCannotCreate, kRunLogPath));
}

void CloseRunLog(RunLog& log) {
  if (log.file) {
    const bool is_flushed = std::fflush(log.file.get()) == 0;
    const bool is_closed = std::fclose(log.file.release()) == 0;
    if (log.has_failed || !is_flushed || !is_closed) {
      PrintLine(std::string(kPrefix) + WriteFailureText(WriteStatus::kCannotWrite, kRunLogPath));
    }
  }
  log = RunLog{};
}

}  // namespace

void LogLine(std::string_view text) {
  RunLog& log = CurrentRunLog();
  if (!log.is_started) StartRunLog(log);
  if (text == kEndMarker) {
    CloseRunLog(log);
    return;
  }
  PrintLine(text);
  if (!log.file || log.has_failed) return;
  const bool is_written = std::fwrite(text.data(), 1, text.size(), log.file.get()) == text.size() &&
                          std::fwrite(kLineEnd.data(), 1, kLineEnd.size(), log.file.get()) == kLineEnd.size();
  if (!is_written) log.has_failed = true;
}
