// Which replies the engine accepts, and how waits end.
#include <gtest/gtest.h>

#include <vector>

#include "protocol/command_codes.h"
#include "support/memory_link.h"

namespace skyh {
namespace {

using test::BuildFrame;
using test::MemoryLink;
using test::WireFrame;
using Bytes = std::vector<uint8_t>;

Bytes Concat(Bytes a, const Bytes& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

TEST(ReplyWait, AcceptsFlaggedAndLowerCaseReplies) {
  MemoryLink link;
  link.SetResponder([](const WireFrame& f) {
    return BuildFrame(f.sequence, 0xC7, {0xAB, 0xCD, 0xEF}, /*lowerCase=*/true);
  });
  Bytes settings;
  ASSERT_EQ(link.GetSettings(settings), kComOk);
  EXPECT_EQ(settings, (Bytes{0xAB, 0xCD, 0xEF}));
  EXPECT_EQ(link.ReplyCommand(), 0xC7);
  EXPECT_EQ(link.ReplyLength(), 4);
  EXPECT_EQ(link.Frames().size(), 1u);
  // The reply's sequence number is not compared with the request's.
  link.SetResponder([](const WireFrame&) { return BuildFrame(0x50, kCmdGetSettings, {9}); });
  ASSERT_EQ(link.GetSettings(settings), kComOk);
  EXPECT_EQ(settings, (Bytes{9}));
}

TEST(ReplyWait, SkipsAFrameForAnotherCommandAndCountsEveryByte) {
  MemoryLink link;
  Bytes foreign = BuildFrame(0x21, kCmdGetDateTime, {1, 2, 3, 4, 5, 6});
  Bytes right = BuildFrame(0x21, kCmdGetSettings, {7, 8});
  link.SetResponder([&](const WireFrame&) { return foreign; });
  link.ReceiveAfter(500, right);
  link.ResetReceivedBytes();
  Bytes settings;
  ASSERT_EQ(link.GetSettings(settings), kComOk);
  EXPECT_EQ(settings, (Bytes{7, 8}));
  EXPECT_EQ(link.ReceivedBytes(), foreign.size() + right.size());
  // In one chunk, the right frame after a foreign one is still found.
  link.SetResponder([&](const WireFrame&) { return Concat(foreign, right); });
  ASSERT_EQ(link.GetSettings(settings), kComOk);
  EXPECT_EQ(settings, (Bytes{7, 8}));
  EXPECT_EQ(link.ReceivedBytes(), 2 * (foreign.size() + right.size()));
}

TEST(ReplyWait, EotEndsAReplyWithoutChecksum) {
  MemoryLink link;
  link.SetResponder([](const WireFrame&) { return Bytes{0x01, 0x30, 0x02, 0xCB, 0x04}; });
  uint64_t start = link.Manual().NowMs();
  EXPECT_EQ(link.EndSession(), kComOk);
  EXPECT_EQ(link.ReplyLength(), 1);
  EXPECT_EQ(link.ReplyCommand(), 0xCB);
  EXPECT_EQ(link.Manual().NowMs(), start) << "accepted at once";
  // Payload digits before EOT are kept.
  link.SetResponder([](const WireFrame&) { return Bytes{0x01, 0x30, 0x02, 0x47, '1', '2', 0x04}; });
  Bytes settings;
  ASSERT_EQ(link.GetSettings(settings), kComOk);
  EXPECT_EQ(settings, (Bytes{0x12}));
}

TEST(ReplyWait, EtxBeforeFourChecksumCharactersIsIgnored) {
  MemoryLink link;
  Bytes good = BuildFrame(0x21, kCmdGetSettings, {0x42});
  Bytes cut(good.begin(), good.end() - 3);  // ETB and two checksum characters
  cut.push_back(0x03);
  link.SetResponder([&](const WireFrame&) { return cut; });
  Bytes settings{1};
  uint64_t start = link.Manual().NowMs();
  EXPECT_EQ(link.GetSettings(settings), kComTimeout);
  EXPECT_EQ(settings, (Bytes{1})) << "untouched on failure";
  EXPECT_EQ(link.Frames().size(), 2u);
  EXPECT_GE(link.Manual().NowMs() - start, 2 * 2900u);

  // A correct ETX after the stray one completes the frame.
  Bytes late = cut;
  late.pop_back();
  late.push_back(0x03);
  late.insert(late.end(), good.end() - 3, good.end());
  link.SetResponder([&](const WireFrame&) { return late; });
  ASSERT_EQ(link.GetSettings(settings), kComOk);
  EXPECT_EQ(settings, (Bytes{0x42}));
}

TEST(ReplyWait, CorruptedChecksumDigitFailsEveryAttempt) {
  MemoryLink link;
  link.SetResponder([](const WireFrame& f) {
    Bytes r = BuildFrame(f.sequence, kCmdGetSettings, {1, 2, 3});
    r[r.size() - 2] = r[r.size() - 2] == '0' ? '1' : '0';
    return r;
  });
  uint64_t start = link.Manual().NowMs();
  Bytes settings;
  EXPECT_EQ(link.GetSettings(settings), kComChecksumError);
  ASSERT_EQ(link.Frames().size(), 2u);
  EXPECT_EQ(link.Frames()[0].sequence, link.Frames()[1].sequence);
  EXPECT_EQ(link.Manual().NowMs(), start) << "a checksum error ends the wait at once";
  EXPECT_TRUE(settings.empty());

  // A damaged payload digit is caught the same way.
  link.SetResponder([](const WireFrame& f) {
    Bytes r = BuildFrame(f.sequence, kCmdGetSettings, {1, 2, 3});
    r[5] = 'F';
    return r;
  });
  EXPECT_EQ(link.GetSettings(settings), kComChecksumError);
}

TEST(ReplyWait, SilentLinkTimesOutOnTheControllableClock) {
  MemoryLink link;
  uint64_t start = link.Manual().NowMs();
  Bytes record{5};
  EXPECT_EQ(link.GetLastRecord(record), kComTimeout);
  EXPECT_EQ(link.Frames().size(), 1u) << "no retry";
  uint64_t waited = link.Manual().NowMs() - start;
  EXPECT_GE(waited, 4900u);
  EXPECT_LE(waited, 5000u);
  EXPECT_EQ(record, (Bytes{5}));

  // Default time-out of the link when the command gives none.
  link.SetDefaultTimeout(10000);
  start = link.Manual().NowMs();
  EXPECT_EQ(link.SendCommand(kCmdGetSettings, nullptr, 0, 0, 0), kComTimeout);
  EXPECT_GE(link.Manual().NowMs() - start, 9900u);
  // A truncated frame is silence too.
  link.SetResponder([](const WireFrame& f) {
    Bytes r = BuildFrame(f.sequence, kCmdGetSettings, {1});
    r.pop_back();
    return r;
  });
  EXPECT_EQ(link.SendCommand(kCmdGetSettings, nullptr, 0, 100, 0), kComTimeout);
}

TEST(ReplyWait, ReplyLargerThanTheLargestRecordEndsByTimeOut) {
  MemoryLink link;
  Bytes huge(kMaxRecordBytes + 1, 0x3C);
  link.SetResponder([&](const WireFrame& f) { return BuildFrame(f.sequence, 0xC6, huge); });
  Bytes record;
  EXPECT_EQ(link.RepeatRecord(record), kComTimeout);
  EXPECT_TRUE(record.empty());
  EXPECT_EQ(link.Frames().size(), 2u);
  // The overflow drops that frame only: a good frame after it is read.
  Bytes small{1, 2};
  link.SetResponder([&](const WireFrame& f) {
    return Concat(BuildFrame(f.sequence, 0xC6, huge), BuildFrame(f.sequence, 0xC6, small));
  });
  EXPECT_EQ(link.RepeatRecord(record), kComOk);
  EXPECT_EQ(record, small);
}

}  // namespace
}  // namespace skyh
