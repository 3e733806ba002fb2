// The receive queue and the tick timer.
#include <gtest/gtest.h>

#include <thread>

#include "link/byte_queue.h"
#include "link/monotonic_clock.h"
#include "link/tick_timer.h"

namespace skyh {
namespace {

TEST(ByteQueue, FillsUpReportsFullOnceAndDropsWhatFollows) {
  ByteQueue q;
  for (int i = 0; i < 4095; ++i) ASSERT_TRUE(q.Put(static_cast<uint8_t>(i)));
  EXPECT_FALSE(q.Put(0xAB)) << "the byte that fills the queue";
  EXPECT_EQ(q.Count(), 4096);
  EXPECT_TRUE(q.Put(0xCD)) << "already full: dropped";
  EXPECT_EQ(q.Count(), 4096);
  uint8_t b = 0;
  for (int i = 0; i < 4095; ++i) {
    ASSERT_TRUE(q.Get(b));
    ASSERT_EQ(b, static_cast<uint8_t>(i));
  }
  ASSERT_TRUE(q.Get(b));
  EXPECT_EQ(b, 0xAB);
  EXPECT_FALSE(q.Get(b));

  // Across the wrap, in blocks.
  for (int i = 0; i < 4090; ++i) q.Put(1);
  for (int i = 0; i < 4090; ++i) q.Get(b);
  for (int i = 0; i < 10; ++i) q.Put(static_cast<uint8_t>(100 + i));
  EXPECT_EQ(q.Count(), 10) << "write index has wrapped below the read index";
  uint8_t block[16] = {};
  EXPECT_EQ(q.GetBlock(block, 4), 4);
  EXPECT_EQ(block[3], 103);
  EXPECT_EQ(q.GetBlock(block, 16), 6);
  EXPECT_EQ(block[5], 109);
  // A full queue emptied by GetBlock is no longer full.
  for (int i = 0; i < 4096; ++i) q.Put(2);
  uint8_t big[4096];
  EXPECT_EQ(q.GetBlock(big, sizeof big), 4096);
  EXPECT_EQ(q.Count(), 0);
  EXPECT_FALSE(q.Get(b));
}

TEST(ByteQueue, WaitForDataOnAManualClockAndFromAnotherThread) {
  ManualClock clock;
  ByteQueue q;
  uint64_t start = clock.NowMs();
  EXPECT_FALSE(q.WaitForData(250, clock));
  EXPECT_EQ(clock.NowMs() - start, 250u) << "silence passes the whole time-out";
  q.Put(5);
  EXPECT_TRUE(q.WaitForData(250, clock));
  EXPECT_EQ(clock.NowMs() - start, 250u) << "bytes queued: no wait";
  uint8_t b;
  q.Get(b);
  // The signal of that Put is still pending: one wait returns true with
  // nothing queued, the next one waits.
  EXPECT_TRUE(q.WaitForData(250, clock));
  EXPECT_FALSE(q.WaitForData(250, clock));
  EXPECT_EQ(clock.NowMs() - start, 500u);

  SystemClock real;
  std::thread producer([&q] { q.Put(42); });
  bool woke = q.WaitForData(60000, real);  // ends with the Put, not the time-out
  producer.join();
  EXPECT_TRUE(woke);
}

TEST(TickTimer, CountsWholeTicksFromTheFirstAndRestartsAtExpiry) {
  ManualClock clock;
  TickTimer timer(clock);
  EXPECT_EQ(timer.ElapsedMs(), 100u);
  clock.Advance(99);
  EXPECT_EQ(timer.ElapsedMs(), 100u);
  clock.Advance(2800);  // 29 ticks: 2900 ms counted
  EXPECT_EQ(timer.ElapsedMs(), 2900u);
  EXPECT_FALSE(timer.Expired(3000));
  clock.Advance(1);  // the 30th tick
  EXPECT_TRUE(timer.Expired(3000));
  EXPECT_EQ(timer.ElapsedMs(), 0u) << "count restarts at the expiry";
  clock.Advance(2999);
  EXPECT_FALSE(timer.Expired(3000));
  clock.Advance(1);
  EXPECT_TRUE(timer.Expired(3000));

  // The default clock is the process-wide one, which tests may replace.
  SetClockForTesting(&clock);
  TickTimer fromDefault;
  clock.Advance(5000);
  bool expired = fromDefault.Expired(5000);
  SetClockForTesting(nullptr);
  EXPECT_TRUE(expired);
}

}  // namespace
}  // namespace skyh
