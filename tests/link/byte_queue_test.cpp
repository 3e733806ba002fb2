#include "link/byte_queue.h"

#include <gtest/gtest.h>

#include <thread>

#include "link/monotonic_clock.h"

namespace skyh {
namespace {

TEST(ByteQueue, FillsUpReportsFullOnceAndDropsWhatFollows) {
  ByteQueue q;
  EXPECT_EQ(q.Capacity(), 4096);
  for (int i = 0; i < 4095; ++i) ASSERT_TRUE(q.Put(static_cast<uint8_t>(i)));
  EXPECT_EQ(q.Count(), 4095);
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
  EXPECT_EQ(q.Count(), 0);
}

TEST(ByteQueue, CountsAndKeepsOrderAcrossTheWrap) {
  ByteQueue q;
  uint8_t b = 0;
  for (int i = 0; i < 4090; ++i) q.Put(1);
  for (int i = 0; i < 4090; ++i) q.Get(b);
  EXPECT_EQ(q.Count(), 0);
  for (int i = 0; i < 10; ++i) q.Put(static_cast<uint8_t>(100 + i));
  EXPECT_EQ(q.Count(), 10) << "write index has wrapped below the read index";
  uint8_t block[16] = {};
  EXPECT_EQ(q.GetBlock(block, 4), 4);
  EXPECT_EQ(block[0], 100);
  EXPECT_EQ(block[3], 103);
  EXPECT_EQ(q.Count(), 6);
  EXPECT_EQ(q.GetBlock(block, 16), 6);
  EXPECT_EQ(block[5], 109);
  EXPECT_EQ(q.Count(), 0);

  // A full queue emptied by GetBlock is no longer full.
  for (int i = 0; i < 4096; ++i) q.Put(2);
  uint8_t big[4096];
  EXPECT_EQ(q.GetBlock(big, sizeof big), 4096);
  EXPECT_EQ(q.Count(), 0);
  EXPECT_FALSE(q.Get(b));

  q.Put(7);
  q.Clear();
  EXPECT_EQ(q.Count(), 0);
}

TEST(ByteQueue, WaitForDataOnAManualClock) {
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
  EXPECT_EQ(q.Count(), 0);
  EXPECT_FALSE(q.WaitForData(250, clock));
  EXPECT_EQ(clock.NowMs() - start, 500u);
}

TEST(ByteQueue, WaitForDataWakesOnAPutFromAnotherThread) {
  ByteQueue q;
  SystemClock clock;
  std::thread producer([&q] { q.Put(42); });
  // Generous limit: the wait ends with the Put, not with the time-out.
  bool woke = q.WaitForData(60000, clock);
  producer.join();
  EXPECT_TRUE(woke);
  uint8_t b = 0;
  EXPECT_TRUE(q.Get(b));
  EXPECT_EQ(b, 42);
}

}  // namespace
}  // namespace skyh
