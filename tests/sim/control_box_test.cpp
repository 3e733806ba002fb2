#include "control_box.h"

#include <gtest/gtest.h>

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
    settings_ = test::Record(0x7C, 0, Bytes(6 + 40, 0));
    for (size_t i = 0; i < 40; ++i) settings_[13 + i] = static_cast<uint8_t>(i);
    box_->memory().SetSettings(settings_);
  }
  void AddRecords(int n) {
    for (int i = 0; i < n; ++i)
      box_->memory().Append(test::Record(0x11, test::Packed(2025, 1, 1, 10, i, 0), Bytes{static_cast<uint8_t>(i)}));
  }
  test::Reply Ask(uint8_t cmd, const Bytes& payload = {}) {
    box_->Receive(Request(seq_, cmd, payload));
    seq_ = seq_ == 0x7F ? 0x21 : seq_ + 1;
    return OneReply(box_->TakeOutput());
  }
  uint8_t RecordIndex(const test::Reply& r) { return r.payload.size() > 7 ? r.payload[7] : 0xEE; }

  int64_t ms_ = 1000;
  std::unique_ptr<ControlBox> box_;
  Bytes settings_;
  uint8_t seq_ = 0x21;
};

TEST_F(BoxTest, WalksTheMemoryNewestFirstToItsEnd) {
  Make();
  AddRecords(3);
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
    EXPECT_EQ(RecordIndex(r), step[2]) << step[0];
  }
}

TEST_F(BoxTest, RepeatedSequenceNumberIsAnsweredAgainWithoutStepping) {
  Make();
  AddRecords(4);
  Ask(0x43);
  const Bytes step = Request(0x50, 0x44);
  box_->Receive(step);
  const Bytes first = box_->TakeOutput();
  box_->Receive(step);  // the host missed the answer and sends the same frame again
  const Bytes again = box_->TakeOutput();
  EXPECT_EQ(first, again);
  EXPECT_EQ(RecordIndex(OneReply(again)), 2);
  EXPECT_EQ(box_->counters().retransmissions, 1);
  // The same command with a new number steps.
  box_->Receive(Request(0x51, 0x44));
  EXPECT_EQ(RecordIndex(OneReply(box_->TakeOutput())), 1);
  // The same number for another command is no retransmission.
  box_->Receive(Request(0x51, 0x46));
  EXPECT_EQ(OneReply(box_->TakeOutput()).cmd, 0xC6);
}

TEST_F(BoxTest, WriteSettingsChangesExactlyItsBytesAndClearFlashEmpties) {
  Make();
  AddRecords(2);
  // Two pieces as the settings sender cuts them: offsets count from byte 13.
  Ask(0x48, {0x00, 0x00, 0xA0, 0xA1, 0xA2});
  Ask(0x48, {0x03, 0x00, 0xB3});
  // The last byte of the area is writable; one further is not, and nothing of
  // a piece that runs past the area is written.
  Ask(0x48, {39, 0x00, 0xC0});
  Ask(0x48, {39, 0x00, 0xD0, 0xD1});
  Ask(0x48, {0x00, 0x01, 0xD0});
  test::Reply r = Ask(0x48, {0x05});
  EXPECT_EQ(r.cmd, 0x48);
  Bytes expected = settings_;
  std::copy_n(Bytes{0xA0, 0xA1, 0xA2, 0xB3}.begin(), 4, expected.begin() + 13);
  expected[13 + 39] = 0xC0;
  EXPECT_EQ(box_->memory().settings(), expected);
  EXPECT_EQ(box_->counters().rejectedWrites, 3);

  EXPECT_EQ(Ask(0x4D, {0x00}).cmd, 0x4D);
  EXPECT_EQ(box_->memory().size(), 0u);
  r = Ask(0x43);
  EXPECT_TRUE(r.cmd == 0x43 && r.payload.empty());  // empty memory: no record
  EXPECT_EQ(Ask(0x47).payload, expected);  // the settings survive
}

TEST_F(BoxTest, SessionCommandsAnswerAndUnknownOrDamagedFramesGetNoAnswer) {
  Make();
  AddRecords(2);
  Ask(0x43);
  Ask(0x44);
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
  Bytes all = part;
  for (uint8_t b : box_->TakeOutput()) all.push_back(b);
  EXPECT_EQ(all.size(), 16u);
  EXPECT_EQ(test::OneReply(all).payload, (Bytes{2, 1, 0}));
  EXPECT_EQ(box_->NextOutputDueMs(), -1);
}

}  // namespace
}  // namespace skyh::sim
