#include "store_fixtures.h"

#include <ctime>

#include "core/time_util.h"
#include "records/scenario_list.h"
#include "support/record_bytes.h"

namespace skyh::test {

Bytes MakeRecord(uint8_t type, const Stamp& s, const Bytes& body) {
  return MakeRecordBytes(type, s.year ? PackDateTime(s.year, s.month, s.day, s.hour, s.minute, s.second) : 0, body);
}

Bytes MakeHeader(const Bytes& version) {
  Bytes body = version;
  for (int i = 0; i < 8; ++i) body.push_back(static_cast<uint8_t>(0x30 + i));
  return MakeRecord(0x7C, Stamp{2015, 3, 5, 10, 0, 0}, body);
}

void LoadTestScenarios() {
  GetScenarioList().LoadText(
      "S:1,0x1A,MEAS,Measurement,0\n"
      "E:VAL_BYTE,7\n"
      "E:VAL_BYTE,8\n"
      "S:2,0x2B,STAT,Status,0\n"
      "E:VAL_BAT,7\n");
}

std::string Concat(const std::vector<Bytes>& parts) {
  std::string out;
  for (const Bytes& p : parts) out.append(p.begin(), p.end());
  return out;
}

bool AddBytes(RecordStore& store, const Bytes& bytes) {
  return store.AddCopy(bytes.data(), static_cast<uint16_t>(bytes.size()));
}

std::string RawOf(const CRecord& r) { return std::string(reinterpret_cast<const char*>(r.raw()), r.length()); }

std::vector<std::string> RawList(const RecordStore& store) {
  std::vector<std::string> out;
  out.reserve(static_cast<size_t>(store.Count()));
  for (int32_t i = 0; i < store.Count(); ++i) out.push_back(RawOf(*store.At(i)));
  return out;
}

namespace {
int64_t g_nowMs = 0;
int64_t g_stepMs = 0;

int64_t TestNow() {
  int64_t now = g_nowMs;
  g_nowMs += g_stepMs;
  return now;
}
}  // namespace

TestClock::TestClock(int64_t utcSeconds) : tz("TZ", "UTC") {
  tzset();
  g_nowMs = utcSeconds * 1000;
  g_stepMs = 0;
  SetNowFunctionForTesting(&TestNow);
}

TestClock::~TestClock() { SetNowFunctionForTesting(nullptr); }

TestClock::ZoneReload::~ZoneReload() { tzset(); }

void TestClock::SetStep(int64_t seconds) { g_stepMs = seconds * 1000; }

}  // namespace skyh::test
