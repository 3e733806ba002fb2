// Reading from a link whose receive thread fills a ByteQueue, and dropping
// what nobody waits for.
#include "link/ccom.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "link/monotonic_clock.h"

namespace skyh {
namespace {

class QueueLink : public CCom {
 public:
  QueueLink() { SetClock(&clock); }
  bool Write(const uint8_t*, uint16_t) override { return true; }
  uint16_t Read(uint8_t* buffer, uint32_t timeoutMs) override {
    ++reads;
    return ReadFromQueue(rx, buffer, timeoutMs);
  }
  bool Open() override { return true; }
  bool Close() override { return true; }
  uint32_t GetDefaultTimeout() override { return 3000; }
  std::string GetDescription() override { return {}; }

  ManualClock clock;
  ByteQueue rx;
  int reads = 0;
};

TEST(CComRead, WaitsOnlyWhenNothingIsQueued) {
  QueueLink link;
  uint8_t buffer[kLinkChunkBytes];
  uint64_t start = link.clock.NowMs();
  EXPECT_EQ(link.Read(buffer, 700), 0);
  EXPECT_EQ(link.clock.NowMs() - start, 700u);

  for (uint8_t b : {1, 2, 3}) link.rx.Put(b);
  EXPECT_EQ(link.Read(buffer, 700), 3);
  EXPECT_EQ(link.clock.NowMs() - start, 700u) << "queued bytes come at once";
  EXPECT_EQ(buffer[0], 1);
  EXPECT_EQ(buffer[2], 3);
  // The signal of those bytes is left over: no bytes, no wait, then a wait.
  EXPECT_EQ(link.Read(buffer, 700), 0);
  EXPECT_EQ(link.clock.NowMs() - start, 700u);
  EXPECT_EQ(link.Read(buffer, 700), 0);
  EXPECT_EQ(link.clock.NowMs() - start, 1400u);
}

TEST(CComRead, HandsBackAtMostOneChunkAndDiscardsTheRest) {
  QueueLink link;
  link.rx.Allocate(8192);
  for (int i = 0; i < 6000; ++i) link.rx.Put(static_cast<uint8_t>(i));
  uint8_t buffer[kLinkChunkBytes];
  EXPECT_EQ(link.Read(buffer, 0), kLinkChunkBytes);
  EXPECT_EQ(link.rx.Count(), 6000 - kLinkChunkBytes);

  link.reads = 0;
  link.DiscardReceived();
  EXPECT_EQ(link.rx.Count(), 0);
  EXPECT_EQ(link.reads, 2) << "one Read with bytes, one that finds none";
  uint64_t before = link.clock.NowMs();
  link.DiscardReceived();
  EXPECT_EQ(link.clock.NowMs(), before) << "discarding never waits";
}

}  // namespace
}  // namespace skyh
