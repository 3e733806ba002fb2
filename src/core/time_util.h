#pragma once
// Calendar arithmetic. The instrument's clock runs on UTC, so its fields are
// converted with UTC arithmetic and come back unchanged whatever the local
// zone does; the real local time is only used where "now" names something.
#include <cstdint>

namespace skyh {

constexpr int64_t kInvalidTime = -1;

struct DateTimeFields {
  int year = 1970;   // full year
  int month = 1;     // 1..12
  int day = 1;       // 1..31
  int hour = 0;
  int minute = 0;
  int second = 0;
  int millisecond = 0;  // only filled by the "now" helpers
};

// Fields to seconds since 1970-01-01 UTC. Out-of-range fields carry into the
// next unit (month 13 is January of the next year, second 60 the next
// minute, day 0 the last day of the previous month). Gives kInvalidTime when
// the result lies outside 1970-01-01 .. 3000-12-31 23:59:59.
int64_t FieldsToTime(const DateTimeFields& f);
int64_t FieldsToTime(int year, int month, int day, int hour, int minute, int second);

// Seconds to fields (UTC). False for kInvalidTime or anything negative.
bool TimeToFields(int64_t t, DateTimeFields& out);

// Days since 1970-01-01 for a proleptic Gregorian date (any int range).
int64_t DaysFromCivil(int64_t year, int month, int day);

// The PC's current UTC time, in seconds and broken down with milliseconds.
int64_t NowUtc();
DateTimeFields NowUtcFields();

// The current local time, broken down: only for names that carry "now".
DateTimeFields NowLocalFields();

// Tests replace the clock behind NowUtc/NowUtcFields/NowLocalFields; a null
// function restores the system clock. The function gives milliseconds since
// 1970 in UTC; local fields use the process's time zone on top of it.
using NowFunction = int64_t (*)();
void SetNowFunctionForTesting(NowFunction f);

}  // namespace skyh
