#include <ctime>

#include "core/time_util.h"
#include "data/auto_schedule.h"
#include "support/test_common.h"

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

// Firing seconds of one UTC day, as seconds of the day.
std::vector<int> Firing(const CConfiguration& c, int64_t dayStart) {
  std::vector<int> out;
  for (int64_t t = dayStart; t < dayStart + 86400; ++t)
    if (ScheduleFires(c, t)) out.push_back(static_cast<int>(t - dayStart));
  return out;
}

TEST(AutoSchedule, FiringTimesOfADay) {
  const int64_t day = FieldsToTime(2026, 12, 6, 0, 0, 0);
  const int h = 3600;
  auto every = [](int start, int step) {
    std::vector<int> out;
    for (int t = start; t < 86400; t += step) out.push_back(t);
    return out;
  };
  EXPECT_EQ(Firing(Config(0, 0), day), every(0, h));
  EXPECT_EQ(Firing(Config(6, 18 * h), day), (std::vector<int>{6 * h, 18 * h}));
  EXPECT_EQ(Firing(Config(2, 5400), day), every(5400, 3 * h));
  EXPECT_EQ(Firing(Config(5, 5 * h), day), (std::vector<int>{5 * h, 13 * h, 21 * h}));
  {
    // Start times are UTC times of day whatever the local zone (here UTC+2).
    test::ScopedEnv tz("TZ", "XXX-2");
    tzset();
    EXPECT_EQ(Firing(Config(7, 9 * h), FieldsToTime(2024, 6, 1, 0, 0, 0)), std::vector<int>{9 * h});
  }
  tzset();

  // "Days" with N: only days whose number since 1970-01-01 is a multiple of N.
  CConfiguration every3 = Config(7, 2 * h, 3);
  const int64_t first = FieldsToTime(2026, 1, 1, 0, 0, 0) / 86400;
  for (int64_t d = first; d < first + 12; ++d)
    EXPECT_EQ(Firing(every3, d * 86400), d % 3 == 0 ? std::vector<int>{2 * h} : std::vector<int>{}) << d;
}

TEST(AutoSchedule, TicksStartOneRunAndCatchUpShortGapsOnly) {
  CConfiguration c = Config(0, 0);
  const int64_t noon = FieldsToTime(2026, 12, 6, 12, 0, 0);
  AutomaticScheduler s;
  s.OnTick(c, noon - 1);
  const auto first = s.OnTick(c, noon);
  EXPECT_TRUE(first.startRun && first.keepAwake);
  EXPECT_FALSE(s.OnTick(c, noon).startRun);  // a second tick in the same second

  // The window thread busy across 13:00:00 for two minutes: the run is not lost. A jump of more
  // than five minutes (a clock change) fires nothing, but landing on the exact second still does.
  for (auto [before, after, fires] :
       {std::tuple{noon + 3539, noon + 3660, true}, {noon + 3199, noon + 3601, false}, {noon - 10000, noon, true}}) {
    AutomaticScheduler gap;
    gap.OnTick(c, before);
    EXPECT_EQ(gap.OnTick(c, after).startRun, fires) << after - before;
  }

  // Power requests once a minute, without keeping awake when disabled.
  CConfiguration off = c;
  off.automaticEnabled = 0;
  AutomaticScheduler p;
  int requests = 0;
  for (int64_t t = noon + 1; t <= noon + 180; ++t) {
    auto tick = p.OnTick(off, t);
    EXPECT_FALSE(tick.startRun || tick.keepAwake);
    requests += tick.powerRequest;
  }
  EXPECT_EQ(requests, 3);
}

}  // namespace
}  // namespace skyh
