#include "link/tick_timer.h"

#include <gtest/gtest.h>

#include "link/monotonic_clock.h"

namespace skyh {
namespace {

TEST(TickTimer, CountsWholeTicksWithTheFirstAtOnce) {
  ManualClock clock;
  TickTimer timer(clock);
  EXPECT_EQ(timer.ElapsedMs(), 100u);
  clock.Advance(99);
  EXPECT_EQ(timer.ElapsedMs(), 100u);
  clock.Advance(1);
  EXPECT_EQ(timer.ElapsedMs(), 200u);
  clock.Advance(2750);
  EXPECT_EQ(timer.ElapsedMs(), 2900u);
}

TEST(TickTimer, ExpiresAtTheTickThatReachesTheLimitAndStartsAgain) {
  ManualClock clock;
  TickTimer timer(clock);
  clock.Advance(2899);  // 29 ticks: 2900 ms counted
  EXPECT_FALSE(timer.Expired(3000));
  clock.Advance(1);  // the 30th tick
  EXPECT_TRUE(timer.Expired(3000));
  EXPECT_EQ(timer.ElapsedMs(), 0u) << "count restarts at the expiry";
  EXPECT_FALSE(timer.Expired(3000));
  clock.Advance(2999);
  EXPECT_FALSE(timer.Expired(3000));
  clock.Advance(1);
  EXPECT_TRUE(timer.Expired(3000));
}

TEST(TickTimer, FollowsTheProcessWideTestClock) {
  ManualClock clock;
  SetClockForTesting(&clock);
  TickTimer timer;
  clock.Advance(5000);
  bool expired = timer.Expired(5000);
  SetClockForTesting(nullptr);
  EXPECT_TRUE(expired);
  EXPECT_NE(&CurrentClock(), static_cast<MonotonicClock*>(&clock));
}

}  // namespace
}  // namespace skyh
