// What the engine puts on the wire, and the commands' payloads and replies
// (frames the simulated box checks on its own are left to the tests over it).
#include "core/time_util.h"
#include "protocol/engine_test_util.h"
#include "support/test_common.h"

namespace skyh {
namespace {

using namespace test;

TEST(FrameSend, SequenceNumbersRetriesWriteFailuresAndRawFrames) {
  MemoryLink link;
  LearnNoEcho(link);  // takes 0x21
  AnswerWith(link, {});
  for (int i = 0; i < 95; ++i) ASSERT_EQ(link.EndSession(), ComResult::kOk);
  EXPECT_EQ(link.Frames()[0].sequence, 0x22);
  EXPECT_EQ(link.Frames()[93].sequence, 0x7F);
  EXPECT_EQ(link.Frames()[94].sequence, 0x21);

  // Silent: four attempts of one frame, then the number advances once.
  MemoryLink silent;
  EXPECT_EQ(silent.SendCommand(kCmdGetSettings, nullptr, 0, 0, 3), ComResult::kTimeout);
  ASSERT_EQ(silent.Frames().size(), 4u);
  for (const Bytes& w : silent.Writes()) EXPECT_EQ(w, silent.Writes()[0]);
  EXPECT_EQ(silent.Sequence(), 0x22);

  // A failed write: at once, no retry, no advance; on the first or a later attempt.
  for (int from : {0, 1}) {
    MemoryLink broken;
    broken.FailWritesFrom(from);
    const uint64_t start = broken.Manual().NowMs();
    EXPECT_EQ(broken.SendCommand(kCmdGetSettings, nullptr, 0, 0, 5), ComResult::kWriteFailed);
    EXPECT_TRUE(broken.Writes().size() == size_t(from) && broken.Sequence() == 0x21);
    EXPECT_TRUE(from != 0 || broken.Manual().NowMs() == start) << "no wait";
  }

  MemoryLink boot;
  AnswerWith(boot, {1, 4}, kCmdGetFirmwareVersion);
  EXPECT_EQ(boot.SendBootloaderWake(), ComResult::kOk);
  const uint8_t data[] = {0x55, 0x04, 0x05, 0x10};
  EXPECT_EQ(boot.SendRawFrame(data, sizeof data), ComResult::kOk);
  EXPECT_TRUE(boot.Writes().empty());
  uint8_t major, minor, patch;
  ASSERT_EQ(boot.GetFirmwareVersion(major, minor, patch, 0), ComResult::kOk);
  ASSERT_EQ(boot.Writes().size(), 1u) << "raw frames and command in one write";
  // Wake, then the data escaped (sum 0x6E, check byte 0x92), then the command.
  const Bytes expected = {0x55, 0x55, 0x00, 0x00, 0x00, 0x04, 0x55, 0x55, 0x05, 0x55, 0x05,
                          0x04, 0x05, 0x05, 0x10, 0x92, 0x04, 0x01};
  const Bytes& w = boot.Writes()[0];
  EXPECT_EQ(Bytes(w.begin(), w.begin() + std::min(w.size(), expected.size())), expected);
}

TEST(CommandSet, FirmwareVersionDateTimeAndBootInfoReplies) {
  MemoryLink link;
  uint8_t major = 0, minor = 0, patch = 0;
  auto version = [&] { return major * 0x10000 + minor * 0x100 + patch; };
  AnswerWith(link, {0x01, 0x04});
  ASSERT_EQ(link.GetFirmwareVersion(major, minor, patch, 0), ComResult::kOk);
  EXPECT_EQ(version(), 0x0104FF);
  link.SetResponder(nullptr);
  const uint64_t start = link.Manual().NowMs();
  EXPECT_EQ(link.GetFirmwareVersion(major, minor, patch, 100), ComResult::kTimeout);
  EXPECT_LE(link.Manual().NowMs() - start, 200u) << "the caller's 100 ms per attempt";
  EXPECT_EQ(version(), 0xFFFFFF) << "failure leaves 0xFF";
  AnswerWith(link, {0x07});
  EXPECT_EQ(link.GetFirmwareVersion(major, minor, patch, 0), ComResult::kChecksumError);
  // An empty reply equals the request: never a version, only an echo.
  AnswerWith(link, {}, kCmdGetFirmwareVersion);
  EXPECT_EQ(link.GetFirmwareVersion(major, minor, patch, 0), ComResult::kTimeout);
  EXPECT_EQ(version(), 0xFFFFFF);

  EXPECT_EQ(link.SetDateTime(kInvalidTime), ComResult::kWriteFailed);
  // Short or impossible dates are errors and leave the time; more than six
  // bytes: the first six count.
  for (const Bytes& date :
       {Bytes{25, 3, 7, 14, 5}, Bytes{25, 13, 7, 14, 5, 9}, Bytes{25, 2, 29, 0, 0, 0}, Bytes{25, 4, 31, 0, 0, 0},
        Bytes{25, 3, 0, 0, 0, 0}, Bytes{25, 3, 7, 24, 0, 0}, Bytes{25, 3, 7, 14, 60, 0}, Bytes{25, 3, 7, 14, 5, 60}}) {
    AnswerWith(link, date);
    int64_t kept = 12345;
    EXPECT_EQ(link.GetDateTime(kept), ComResult::kChecksumError) << ::testing::PrintToString(date);
    EXPECT_EQ(kept, 12345);
  }
  AnswerWith(link, {24, 2, 29, 23, 59, 59, 0xAA});
  int64_t got = 0;
  ASSERT_EQ(link.GetDateTime(got), ComResult::kOk);
  EXPECT_EQ(got, FieldsToTime(2024, 2, 29, 23, 59, 59));

  // Boot information of each length.
  uint8_t mode, bootVersion;
  uint16_t blockSize;
  Bytes key{9};
  int32_t keyLength;
  AnswerWith(link, {0x01, 0x00, 0x08, 0x03, 0xA1, 0xA2, 0xA3});
  ASSERT_EQ(link.GetBootInfo(mode, blockSize, bootVersion, key, keyLength), ComResult::kOk);
  EXPECT_EQ(mode * 0x1000000 + blockSize * 0x100 + bootVersion, 0x01080003);
  EXPECT_TRUE(keyLength == 3 && key == (Bytes{0xA1, 0xA2, 0xA3}));
  // Too short for a key: no key rather than a negative length; bytes past
  // the reply read as zero.
  AnswerWith(link, {0x01, 0x00});
  ASSERT_EQ(link.GetBootInfo(mode, blockSize, bootVersion, key, keyLength), ComResult::kOk);
  EXPECT_TRUE(keyLength == 0 && key.empty() && bootVersion == 0);
}

}  // namespace
}  // namespace skyh
