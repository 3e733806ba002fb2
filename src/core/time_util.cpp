#include "core/time_util.h"

#include <atomic>
#include <chrono>
#include <ctime>

namespace skyh {
namespace {

std::atomic<NowFunction> g_now{nullptr};

int64_t FloorDiv(int64_t a, int64_t b) {
  int64_t q = a / b;
  if ((a % b != 0) && ((a < 0) != (b < 0))) --q;
  return q;
}

void CivilFromDays(int64_t z, int64_t& y, int& m, int& d) {
  z += 719468;
  const int64_t era = FloorDiv(z, 146097);
  const int64_t doe = z - era * 146097;
  const int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  y = yoe + era * 400;
  const int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const int64_t mp = (5 * doy + 2) / 153;
  d = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
  m = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
  if (m <= 2) ++y;
}

int64_t NowMillis() {
  if (NowFunction f = g_now.load()) return f();
  using namespace std::chrono;
  return duration_cast<milliseconds>(system_clock::now().time_since_epoch()).count();
}

constexpr int64_t kLastRepresentable = 32535215999;  // 3000-12-31 23:59:59

}  // namespace

int64_t DaysFromCivil(int64_t y, int m, int d) {
  y -= m <= 2;
  const int64_t era = FloorDiv(y, 400);
  const int64_t yoe = y - era * 400;
  const int64_t doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  const int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + doe - 719468;
}

int64_t FieldsToTime(const DateTimeFields& f) {
  int64_t month0 = int64_t(f.month) - 1;
  int64_t year = int64_t(f.year) + FloorDiv(month0, 12);
  month0 -= FloorDiv(month0, 12) * 12;
  int64_t days = DaysFromCivil(year, static_cast<int>(month0 + 1), 1) + (int64_t(f.day) - 1);
  int64_t t = days * 86400 + int64_t(f.hour) * 3600 + int64_t(f.minute) * 60 + int64_t(f.second);
  if (t < 0 || t > kLastRepresentable) return kInvalidTime;
  return t;
}

int64_t FieldsToTime(int year, int month, int day, int hour, int minute, int second) {
  DateTimeFields f;
  f.year = year;
  f.month = month;
  f.day = day;
  f.hour = hour;
  f.minute = minute;
  f.second = second;
  return FieldsToTime(f);
}

bool TimeToFields(int64_t t, DateTimeFields& out) {
  if (t < 0) return false;
  int64_t days = t / 86400;
  int64_t rest = t % 86400;
  int64_t y;
  CivilFromDays(days, y, out.month, out.day);
  out.year = static_cast<int>(y);
  out.hour = static_cast<int>(rest / 3600);
  out.minute = static_cast<int>((rest / 60) % 60);
  out.second = static_cast<int>(rest % 60);
  out.millisecond = 0;
  return true;
}

int64_t NowUtc() { return FloorDiv(NowMillis(), 1000); }

DateTimeFields NowUtcFields() {
  int64_t ms = NowMillis();
  DateTimeFields f;
  TimeToFields(FloorDiv(ms, 1000), f);
  f.millisecond = static_cast<int>(ms - FloorDiv(ms, 1000) * 1000);
  return f;
}

DateTimeFields NowLocalFields() {
  int64_t ms = NowMillis();
  std::time_t secs = static_cast<std::time_t>(FloorDiv(ms, 1000));
  std::tm tm{};
  localtime_r(&secs, &tm);
  DateTimeFields f;
  f.year = tm.tm_year + 1900;
  f.month = tm.tm_mon + 1;
  f.day = tm.tm_mday;
  f.hour = tm.tm_hour;
  f.minute = tm.tm_min;
  f.second = tm.tm_sec;
  f.millisecond = static_cast<int>(ms - FloorDiv(ms, 1000) * 1000);
  return f;
}

void SetNowFunctionForTesting(NowFunction f) { g_now.store(f); }

}  // namespace skyh
