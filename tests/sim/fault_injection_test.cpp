// The box's injected faults on the test's clock. (Corrupted and dropped
// replies from seeded draws are repaired by the retrieval's tests.)
#include "control_box.h"
#include "support/test_common.h"
#include "wire_helpers.h"

namespace skyh::sim {
namespace {

using test::Bytes;
using test::Request;

// A box on the test's clock, its line `baud` fast (0: instantaneous).
ControlBox MakeBox(const FaultOptions& faults, int64_t& ms, int baud = 0) {
  BoxOptions o;
  o.faults = faults;
  o.baud = baud;
  ControlBox box(
      o, [&ms] { return ms; }, [] { return int64_t{1700000000}; });
  box.memory().SetSettings(test::Record(0x7C, 0, Bytes(30, 0)));
  return box;
}

TEST(FaultInjection, EchoAndLateRepliesFollowTheClock) {
  int64_t ms = 0;
  FaultOptions f;
  f.echoRequests = true;
  f.lateProbability = 1.0;
  f.lateDelayMs = 3500;
  ControlBox box = MakeBox(f, ms);
  const Bytes req = Request(0x21, 0x3E);
  box.Receive(req);
  EXPECT_EQ(box.TakeOutput(), req);  // the adapter's echo comes at once
  ms = 3499;
  EXPECT_TRUE(box.TakeOutput().empty());
  ms = 3500;
  EXPECT_EQ(test::OneReply(box.TakeOutput()).cmd, 0x3E);
}

TEST(FaultInjection, LineDropsOnceWhenReplyNIsWhollyOut) {
  int64_t ms = 0;
  FaultOptions f;
  f.hangUpAfterReplies = 2;
  ControlBox box = MakeBox(f, ms, 10000);  // one byte a millisecond
  box.Receive(Request(0x21, 0x3E));
  ms = 1000;
  EXPECT_EQ(test::Replies(box.TakeOutput()).size(), 1u);
  EXPECT_FALSE(box.TakeHangUp());
  box.Receive(Request(0x22, 0x3E));
  const int64_t lastByte = box.NextOutputDueMs() + 15;  // a 16-byte frame
  ms = lastByte - 1;
  Bytes out = box.TakeOutput();
  EXPECT_FALSE(box.TakeHangUp());  // its last byte is still on the way
  ms = lastByte;
  EXPECT_EQ(test::OneReply(out + box.TakeOutput()).seq, 0x22);
  EXPECT_TRUE(box.TakeHangUp());
  EXPECT_FALSE(box.TakeHangUp());
  box.Reopen();
  for (uint8_t seq = 0x23; seq < 0x28; ++seq) box.Receive(Request(seq, 0x3E));
  ms += 100000;
  EXPECT_EQ(test::Replies(box.TakeOutput()).size(), 5u);
  EXPECT_FALSE(box.TakeHangUp());
}

}  // namespace
}  // namespace skyh::sim
