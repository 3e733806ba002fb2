#include <gtest/gtest.h>

#include <vector>

#include "core/time_util.h"
#include "data/auto_schedule.h"

namespace skyh {
namespace {

CConfiguration Config(int period, int startSeconds, int days = 1) {
  CConfiguration c;
  c.automaticEnabled = 1;
  c.retrievalPeriod = static_cast<uint8_t>(period);
  c.periodDays = static_cast<uint8_t>(days);
  c.SetStartSeconds(startSeconds);
  return c;
}

// Firing seconds of one UTC day, as "HH:MM:SS".
std::vector<std::string> FiringTimes(const CConfiguration& c, int64_t dayStart) {
  std::vector<std::string> out;
  for (int64_t t = dayStart; t < dayStart + 86400; ++t) {
    if (ScheduleFires(c, t)) {
      int64_t s = t % 86400;
      char buf[16];
      std::snprintf(buf, sizeof buf, "%02d:%02d:%02d", int(s / 3600), int(s / 60 % 60), int(s % 60));
      out.push_back(buf);
    }
  }
  return out;
}

TEST(AutoSchedule, FiringTimesOfADay) {
  const int64_t day = FieldsToTime(2026, 12, 6, 0, 0, 0);
  std::vector<std::string> hourly;
  for (int h = 0; h < 24; ++h) hourly.push_back((h < 10 ? "0" : "") + std::to_string(h) + ":00:00");
  EXPECT_EQ(FiringTimes(Config(0, 0), day), hourly);
  EXPECT_EQ(FiringTimes(Config(6, 18 * 3600), day), (std::vector<std::string>{"06:00:00", "18:00:00"}));
  auto threeHours = FiringTimes(Config(2, 5400), day);
  ASSERT_EQ(threeHours.size(), 8u);
  EXPECT_EQ(threeHours.front(), "01:30:00");
  EXPECT_EQ(threeHours.back(), "22:30:00");
  EXPECT_EQ(FiringTimes(Config(5, 5 * 3600), day), (std::vector<std::string>{"05:00:00", "13:00:00", "21:00:00"}));

  CConfiguration off = Config(0, 0);
  off.automaticEnabled = 0;
  EXPECT_TRUE(FiringTimes(off, day).empty());

  // UTC times of day: the local zone (UTC+2 or anything else) plays no part.
  EXPECT_EQ(FiringTimes(Config(7, 9 * 3600), FieldsToTime(2024, 6, 1, 0, 0, 0)),
            std::vector<std::string>{"09:00:00"});
}

TEST(AutoSchedule, EveryNDaysMeansEveryNDays) {
  CConfiguration c = Config(7, 2 * 3600, 3);
  std::vector<int64_t> runDays;
  const int64_t first = FieldsToTime(2026, 1, 1, 0, 0, 0) / 86400;
  for (int64_t d = first; d < first + 12; ++d) {
    if (!FiringTimes(c, d * 86400).empty()) {
      EXPECT_EQ(FiringTimes(c, d * 86400), std::vector<std::string>{"02:00:00"});
      runDays.push_back(d);
    }
  }
  ASSERT_EQ(runDays.size(), 4u);
  for (size_t i = 0; i < runDays.size(); ++i) {
    EXPECT_EQ(runDays[i] % 3, 0);
    if (i) EXPECT_EQ(runDays[i] - runDays[i - 1], 3);
  }
}

TEST(AutoSchedule, TicksStartOneRunAndCatchUpShortGapsOnly) {
  CConfiguration c = Config(0, 0);
  const int64_t noon = FieldsToTime(2026, 12, 6, 12, 0, 0);
  AutomaticScheduler s;
  EXPECT_FALSE(s.OnTick(c, noon - 1).startRun);
  auto first = s.OnTick(c, noon);
  EXPECT_TRUE(first.startRun);
  EXPECT_TRUE(first.powerRequest);
  EXPECT_TRUE(first.keepAwake);
  // A second tick in the same second does nothing.
  auto again = s.OnTick(c, noon);
  EXPECT_FALSE(again.startRun);
  EXPECT_FALSE(again.newSecond);

  // The window thread was busy across 13:00:00 for two minutes: the run is not lost.
  AutomaticScheduler busy;
  busy.OnTick(c, noon + 3599 - 60);
  EXPECT_TRUE(busy.OnTick(c, noon + 3600 + 60).startRun);

  // A jump of more than five minutes (a clock change) fires nothing.
  AutomaticScheduler jump;
  jump.OnTick(c, noon + 3599 - 400);
  EXPECT_FALSE(jump.OnTick(c, noon + 3601).startRun);
  // But landing on the exact second still fires.
  AutomaticScheduler exact;
  exact.OnTick(c, noon - 10000);
  EXPECT_TRUE(exact.OnTick(c, noon).startRun);

  // Power requests once a minute, withdrawn when disabled.
  CConfiguration off = c;
  off.automaticEnabled = 0;
  AutomaticScheduler p;
  int requests = 0;
  for (int64_t t = noon + 1; t <= noon + 180; ++t) {
    auto tick = p.OnTick(off, t);
    EXPECT_FALSE(tick.startRun);
    if (tick.powerRequest) {
      ++requests;
      EXPECT_FALSE(tick.keepAwake);
    }
  }
  EXPECT_EQ(requests, 3);
}

}  // namespace
}  // namespace skyh
