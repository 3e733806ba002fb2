#include "core/log_file.h"

#include <cstdio>
#include <memory>

#include "core/time_util.h"

namespace skyh {
namespace {
std::unique_ptr<CLogFile> g_log;
}

CLogFile::CLogFile(std::string p, bool deleteExisting) : path(std::move(p)) {
  if (deleteExisting) (void)std::remove(path.c_str());  // often there is none
}

CLogFile::~CLogFile() { enabled.store(0); }

void CLogFile::Start(bool on) {
  enabled.store(on ? 1 : 0);
  if (on) Log("******* Log Started: %s*******\n", path);
}

std::string CLogFile::TimeStamp() {
  DateTimeFields f = NowUtcFields();
  return Sprintf("%02d/%02d/%04d,%02d:%02d:%02d:%03d: ", f.day, f.month, f.year, f.hour, f.minute, f.second,
                 f.millisecond);
}

void CLogFile::LogText(const std::string& text) {
  if (!IsEnabled()) return;
  std::unique_lock<std::timed_mutex> guard(lock, std::defer_lock);
  if (!guard.try_lock_for(std::chrono::milliseconds(10000))) return;
  std::string line = timestamps ? TimeStamp() + text : text;
  FILE* f = std::fopen(path.c_str(), "a");
  if (!f) return;
  // A log line that cannot be written has nowhere else to go.
  (void)std::fwrite(line.data(), 1, line.size(), f);
  (void)std::fclose(f);
}

CLogFile* GetLog() { return g_log.get(); }

void SetLog(CLogFile* log) { g_log.reset(log); }

}  // namespace skyh
