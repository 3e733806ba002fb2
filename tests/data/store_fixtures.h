#pragma once
// Records and data files built byte by byte for the store's tests.
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "core/log_file.h"
#include "data/record_store.h"
#include "support/temp_dir.h"

namespace skyh::test {

using Bytes = std::vector<uint8_t>;

struct Stamp {
  int year = 0;  // 0: no time stamp
  int month = 1, day = 1, hour = 0, minute = 0, second = 0;
};

// type, length, packed time, body, 0xFE, length.
Bytes MakeRecord(uint8_t type, const Stamp& stamp, const Bytes& body);
// A settings record carrying the version bytes at 7..12 and some settings.
Bytes MakeHeader(const Bytes& version = {0x81, 0x00, 0x01, 0x00, 0x02, 0x0E});
// Types 0x1A ("MEAS") and 0x2B ("STAT"); any other type is unknown.
void LoadTestScenarios();

std::string Concat(const std::vector<Bytes>& parts);
bool AddBytes(RecordStore& store, const Bytes& bytes);
std::string RawOf(const CRecord& r);
std::vector<std::string> RawList(const RecordStore& store);  // in store order

// A log switched on for one test.
class ScopedLog {
 public:
  explicit ScopedLog(const std::string& logPath) : path(logPath) {
    SetLog(new CLogFile(path, true));
    GetLog()->Start(true);
  }
  ~ScopedLog() { SetLog(nullptr); }
  std::string Text() const { return ReadFile(path); }

 private:
  std::string path;
};

class ScopedWorkingDirectory {
 public:
  explicit ScopedWorkingDirectory(const std::string& folder) { std::filesystem::current_path(folder); }
  ~ScopedWorkingDirectory() { std::filesystem::current_path(previous); }

 private:
  std::filesystem::path previous = std::filesystem::current_path();
};

// "Now" fixed at a UTC moment, with the local zone set to UTC.
class TestClock {
 public:
  explicit TestClock(int64_t utcSeconds);
  ~TestClock();
  // Every later reading of "now" moves the clock on by this many seconds.
  static void SetStep(int64_t seconds);

 private:
  // Declared first so that it runs last, once TZ is restored.
  struct ZoneReload {
    ~ZoneReload();
  } zoneReload;
  ScopedEnv tz;
};

}  // namespace skyh::test
