#pragma once
// Time-stamped log lines appended to "SkyHarvester.log".
#include <atomic>
#include <mutex>
#include <string>

#include "core/format.h"

namespace skyh {

class CLogFile {
 public:
  CLogFile(std::string path, bool deleteExisting);
  ~CLogFile();
  CLogFile(const CLogFile&) = delete;
  CLogFile& operator=(const CLogFile&) = delete;

  // Switching on writes the start banner as an ordinary line.
  void Start(bool on);
  bool IsEnabled() const { return enabled.load() != 0; }
  const std::string& Path() const { return path; }

  // printf-style; callers end their texts with "\n".
  template <typename... Args>
  void Log(const char* format, const Args&... args) {
    if (!IsEnabled()) return;
    std::string text;
    try {
      text = Sprintf(format, args...);
    } catch (...) {
      text = format;  // a broken format never takes the caller down
    }
    LogText(text);
  }
  // Appends the text as given, with the time stamp in front.
  void LogText(const std::string& text);

  // "%02d/%02d/%04d,%02d:%02d:%02d:%03d: " of the current UTC time.
  static std::string TimeStamp();

 private:
  std::timed_mutex lock;
  std::atomic<int> enabled{0};
  int timestamps = 1;
  std::string path;
};

// The process-wide log: may be null (every caller checks).
CLogFile* GetLog();
// Installs the process-wide log (start-up); takes ownership. Null removes it.
void SetLog(CLogFile* log);

// Logs through the process-wide log when there is one.
template <typename... Args>
void LogLine(const char* format, const Args&... args) {
  if (CLogFile* log = GetLog()) log->Log(format, args...);
}

}  // namespace skyh
