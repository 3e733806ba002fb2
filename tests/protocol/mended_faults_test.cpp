// Faults of the plain exchange rules that the engine avoids.
#include <gtest/gtest.h>

#include <vector>

#include "protocol/engine_test_util.h"

namespace skyh {
namespace {

using namespace test;

TEST(MendedFaults, LargestRecordIsRetrievedAndTheNextOneToo) {
  MemoryLink link;
  const Bytes largest = Pattern(kMaxRecordBytes, 3);
  const Bytes next = Pattern(200, 9);
  link.SetResponder([&](const WireFrame& f) {
    if (f.command == kCmdGetLastRecord) return BuildFrame(f.sequence, 0xC3, largest);
    return BuildFrame(f.sequence, 0xC4, next);
  });
  Bytes record;
  ASSERT_EQ(link.GetLastRecord(record), kComOk);
  EXPECT_EQ(record, largest);
  ASSERT_EQ(link.GetPreviousRecord(record), kComOk);
  EXPECT_EQ(record, next);
}

TEST(MendedFaults, BareEotOrChecksumWithoutCommandByteIsNoReply) {
  MemoryLink link;
  // A reply cut short, then SOH, sequence, STX and EOT with nothing decoded:
  // the command byte of the cut reply is still in the buffer.
  const Bytes bareEot = {0x01, 0x21, 0x02, 0xC3, '7', 0x01, 0x21, 0x02, 0x04};
  const Bytes good = BuildFrame(0x21, 0xC3, {0x7C, 0x01});
  Reply(link, Concat(bareEot, good));
  Bytes record;
  ASSERT_EQ(link.GetLastRecord(record), kComOk);
  EXPECT_EQ(record, (Bytes{0x7C, 0x01}));

  Reply(link, bareEot);
  record = {1};
  EXPECT_EQ(link.GetLastRecord(record), kComTimeout);
  EXPECT_EQ(record, (Bytes{1}));

  // STX, ETB and four characters: no command byte either.
  Reply(link, {0x01, 0x21, 0x02, 0x17, 'C', '3', '0', '0', 0x03});
  EXPECT_EQ(link.GetLastRecord(record), kComTimeout);
  EXPECT_EQ(record, (Bytes{1}));
}

TEST(MendedFaults, StreamOfForeignFramesCannotOutliveTheTimeOut) {
  MemoryLink link;
  const Bytes foreign = BuildFrame(0x30, kCmdGetDateTime, {1, 2, 3, 4, 5, 6});
  for (int i = 1; i <= 150; ++i) link.ReceiveAfter(200u * i, foreign);  // 30 s of chatter
  uint64_t start = link.Manual().NowMs();
  Bytes record;
  EXPECT_EQ(link.GetLastRecord(record), kComTimeout);
  EXPECT_LE(link.Manual().NowMs() - start, 5000u);
  EXPECT_GT(link.PendingDeliveries(), 100u);
}

TEST(MendedFaults, EchoOfTheRequestIsNotTheReply) {
  MemoryLink link;
  link.SetEcho(true);
  const Bytes settings = {0x7C, 0x10, 0x20};
  link.SetResponder([&](const WireFrame& f) {
    if (f.command == kCmdGetSettings) return BuildFrame(f.sequence, kCmdGetSettings, settings);
    if (f.command == kCmdGetPreviousRecord) return BuildFrame(f.sequence, 0xC4, {0x55});
    return BuildFrame(f.sequence, f.command, f.payload);  // a plain acknowledgement
  });
  Bytes got;
  ASSERT_EQ(link.GetSettings(got), kComOk);
  EXPECT_EQ(got, settings);
  ASSERT_EQ(link.GetPreviousRecord(got), kComOk);
  EXPECT_EQ(got, (Bytes{0x55}));
  // An acknowledgement equal to the request follows the echo.
  uint64_t start = link.Manual().NowMs();
  EXPECT_EQ(link.EndSession(), kComOk);
  EXPECT_EQ(link.Manual().NowMs(), start);
  EXPECT_EQ(link.Frames().size(), 3u);
  // The box falls silent: the echo alone is no answer.
  link.SetResponder(nullptr);
  EXPECT_EQ(link.EndSession(), kComTimeout);
  EXPECT_EQ(link.GetSettings(got), kComTimeout);
  EXPECT_EQ(got, (Bytes{0x55}));

  // Without echo, a lone acknowledgement equal to the request is the answer
  // once the wait is over, and at once after a reply has shown there is no echo.
  MemoryLink plain;
  plain.SetResponder([](const WireFrame& f) {
    if (f.command == kCmdGetDateTime) return BuildFrame(f.sequence, f.command, {25, 3, 7, 14, 5, 9});
    return BuildFrame(f.sequence, f.command, f.payload);
  });
  EXPECT_EQ(plain.ResetBoard(), kComOk);
  EXPECT_EQ(plain.Frames().size(), 1u);
  int64_t t = 0;
  ASSERT_EQ(plain.GetDateTime(t), kComOk);
  start = plain.Manual().NowMs();
  EXPECT_EQ(plain.EndSession(), kComOk);
  EXPECT_EQ(plain.Manual().NowMs(), start);
}

TEST(MendedFaults, LateReplyIsNotTakenForTheNextCommandsReply) {
  MemoryLink link;
  const Bytes r1 = Pattern(40, 1), r2 = Pattern(40, 2);
  int step = 0;
  link.SetResponder([&](const WireFrame& f) { return BuildFrame(f.sequence, 0xC4, ++step == 1 ? r1 : r2); });
  Bytes record;
  ASSERT_EQ(link.GetPreviousRecord(record), kComOk);
  EXPECT_EQ(record, r1);
  // The box's answer to an earlier retransmission arrives after all.
  link.Receive(BuildFrame(link.Frames().back().sequence, 0xC4, r1));
  ASSERT_EQ(link.GetPreviousRecord(record), kComOk);
  EXPECT_EQ(record, r2);
  EXPECT_EQ(link.QueuedReceiveBytes(), 0u);
}

TEST(MendedFaults, LateReplyStillAnswersTheRetryOnTheSameNumber) {
  MemoryLink link;
  const Bytes r1 = Pattern(30, 5);
  bool answered = false;
  // The box answers the first frame just after its time-out and ignores the retry.
  link.SetSilenceHook([&](MemoryLink& l) {
    if (!answered && l.Frames().size() == 1) {
      answered = true;
      l.Receive(BuildFrame(l.Frames()[0].sequence, 0xC6, r1));
    }
  });
  Bytes record;
  ASSERT_EQ(link.RepeatRecord(record), kComOk);
  EXPECT_EQ(record, r1);
  EXPECT_EQ(link.Frames().size(), 2u);
}

}  // namespace
}  // namespace skyh
