// The box's commands at their edges. (Repeated sequence numbers are met by
// the retrieval over damaged replies, settings writes by the settings
// sender's tests, every command by the link's tests.)
#include "control_box.h"

#include "support/test_common.h"
#include "wire_helpers.h"

namespace skyh::sim {
namespace {

using test::Bytes;
using test::OneReply;
using test::Request;

class BoxTest : public ::testing::Test {
 protected:
  void Make(const BoxOptions& o = {}) {
    box_ = std::make_unique<ControlBox>(o, [this] { return ms_; });
    box_->memory().SetSettings(test::Record(0x7C, 0, Bytes(30, 0)));
  }
  test::Reply Ask(uint8_t cmd, const Bytes& payload = {}) {
    box_->Receive(Request(seq_, cmd, payload));
    seq_ = seq_ == 0x7F ? 0x21 : seq_ + 1;
    return OneReply(box_->TakeOutput());
  }

  int64_t ms_ = 1000;
  std::unique_ptr<ControlBox> box_;
  uint8_t seq_ = 0x21;
};

TEST_F(BoxTest, WalksTheMemoryNewestFirstAndUnknownOrDamagedFramesGetNoAnswer) {
  Make();
  for (uint8_t i = 0; i < 3; ++i) box_->memory().Append(test::Record(0x11, test::Packed(2025, 1, 1, 10, i, 0), {i}));
  // Command, reply's command byte and record index (0xEE: none). Nothing to
  // step from before GetLastRecord; RepeatRecord sends the record stepped to
  // and never steps; past the oldest the walk stays there; a new walk starts
  // from the newest.
  const int walk[][3] = {{0x44, 0x44, 0xEE}, {0x43, 0xC3, 2}, {0x44, 0xC4, 1},    {0x46, 0xC6, 1},
                         {0x46, 0xC6, 1},    {0x44, 0xC4, 0}, {0x44, 0x44, 0xEE}, {0x44, 0x44, 0xEE},
                         {0x46, 0x46, 0xEE}, {0x43, 0xC3, 2}};
  for (const auto& step : walk) {
    const test::Reply r = Ask(static_cast<uint8_t>(step[0]));
    EXPECT_EQ(r.cmd, step[1]) << step[0];
    EXPECT_EQ(r.payload.size() > 7 ? r.payload[7] : 0xEE, step[2]) << step[0];
  }
  EXPECT_EQ(Ask(0x4B).cmd, 0x4B);
  EXPECT_EQ(box_->walkPosition(), -1);
  EXPECT_EQ(Ask(0x40).cmd, 0x40);

  box_->Receive(Request(0x60, 0x7A));
  EXPECT_TRUE(box_->TakeOutput().empty());
  Bytes damaged = Request(0x61, 0x43);
  damaged[damaged.size() - 2] ^= 0x01;
  box_->Receive(damaged);
  EXPECT_TRUE(box_->TakeOutput().empty());
  EXPECT_EQ(box_->counters().unknownCommands, 1);
  EXPECT_EQ(box_->counters().badChecksum, 1);
  EXPECT_EQ(box_->walkPosition(), -1);
}

TEST_F(BoxTest, EmulatedLineSpeedAndSlowAnswersFollowTheClock) {
  BoxOptions o;
  o.baud = 9600;  // 960 bytes a second each way
  o.faults.answerDelayMs = 200;
  Make(o);
  box_->Receive(Request(0x21, 0x3E));  // 10 bytes: about 10.4 ms on the line
  // Answer: 10 bytes in, 200 ms thinking, 16 bytes out.
  EXPECT_TRUE(box_->TakeOutput().empty());
  EXPECT_EQ(box_->NextOutputDueMs(), 1000 + 10 + 200 + 2);  // first byte at 1211.46 ms
  ms_ = 1000 + 10 + 200 + 8;
  const Bytes part = box_->TakeOutput();
  EXPECT_EQ(part.size(), 7u);  // 7.6 ms after the answer starts at 1210.4 ms: 7 whole bytes
  ms_ = 1000 + 10 + 200 + 20;
  const Bytes all = part + box_->TakeOutput();
  EXPECT_EQ(all.size(), 16u);
  EXPECT_EQ(test::OneReply(all).payload, (Bytes{2, 1, 0}));
  EXPECT_EQ(box_->NextOutputDueMs(), -1);
  ControlBox unmodelled;  // no line speed modelled: answers at once, whatever the host sets
  unmodelled.SetLine(1000, 11);
  unmodelled.Receive(Request(0x21, 0x3E));
  EXPECT_FALSE(unmodelled.TakeOutput().empty());
}

}  // namespace
}  // namespace skyh::sim
