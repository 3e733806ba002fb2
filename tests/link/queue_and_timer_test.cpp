// The receive queue and the tick timer. (The queue's wait runs under every
// link read, on the manual clock in the modem link's tests.)
#include "link/byte_queue.h"
#include "link/monotonic_clock.h"
#include "link/tick_timer.h"
#include "support/test_common.h"

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
  EXPECT_TRUE(q.Get(b) && b == 0xAB && !q.Get(b));

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
}

}  // namespace
}  // namespace skyh
