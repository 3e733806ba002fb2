#pragma once
// Records and data files built byte by byte for the store's tests.
#include <ctime>

#include "core/log_file.h"
#include "core/time_util.h"
#include "data/record_store.h"
#include "records/scenario_list.h"
#include "support/record_bytes.h"
#include "support/test_common.h"

namespace skyh::test {

using Bytes = std::vector<uint8_t>;

struct Stamp {
  int year = 0;  // 0: no time stamp
  int month = 1, day = 1, hour = 0, minute = 0, second = 0;
};

// type, length, packed time, body, 0xFE, length.
inline Bytes MakeRecord(uint8_t type, const Stamp& s, const Bytes& body) {
  return MakeRecordBytes(type, s.year ? PackDateTime(s.year, s.month, s.day, s.hour, s.minute, s.second) : 0, body);
}

// A settings record carrying the version bytes at 7..12, then some settings.
inline Bytes MakeHeader() {
  return MakeRecord(0x7C, Stamp{2015, 3, 5, 10}, {0x81, 0, 1, 0, 2, 0x0E, '0', '1', '2', '3', '4', '5', '6', '7'});
}

// Types 0x1A ("MEAS") and 0x2B ("STAT"); any other type is unknown.
inline void LoadTestScenarios() {
  GetScenarioList().LoadText(
      "S:1,0x1A,MEAS,Measurement,0\nE:VAL_BYTE,7\nE:VAL_BYTE,8\nS:2,0x2B,STAT,Status,0\nE:VAL_BAT,7\n");
}

inline std::string Concat(const std::vector<Bytes>& parts) {
  std::string out;
  for (const Bytes& p : parts) out.append(p.begin(), p.end());
  return out;
}

inline bool AddBytes(RecordStore& store, const Bytes& bytes) {
  return store.AddCopy(bytes.data(), static_cast<uint16_t>(bytes.size()));
}

inline std::string RawOf(const CRecord& r) { return std::string(reinterpret_cast<const char*>(r.raw()), r.length()); }

// In store order.
inline std::vector<std::string> RawList(const RecordStore& store) {
  std::vector<std::string> out;
  out.reserve(size_t(store.Count()));
  for (int32_t i = 0; i < store.Count(); ++i) out.push_back(RawOf(*store.At(i)));
  return out;
}

// A log switched on for one test.
struct ScopedLog {
  explicit ScopedLog(const std::string& logPath) : path(logPath) {
    SetLog(new CLogFile(path, true));
    GetLog()->Start(true);
  }
  ~ScopedLog() { SetLog(nullptr); }
  std::string Text() const { return ReadFile(path); }
  const std::string path;
};

// "Now" fixed at a UTC moment, with the local zone set to UTC; every later
// reading moves it on by `step` seconds.
class TestClock {
 public:
  explicit TestClock(int64_t utcSeconds, int64_t step = 0) : tz("TZ", "UTC") {
    tzset();
    nowMs = utcSeconds * 1000;
    stepMs = step * 1000;
    SetNowFunctionForTesting([] { return (nowMs += stepMs) - stepMs; });
  }
  ~TestClock() { SetNowFunctionForTesting(nullptr); }

 private:
  static inline int64_t nowMs = 0, stepMs = 0;
  // Declared first so that it runs last, once TZ is restored.
  struct ZoneReload {
    ~ZoneReload() { tzset(); }
  } zoneReload;
  ScopedEnv tz;
};

}  // namespace skyh::test
