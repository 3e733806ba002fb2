// What the engine puts on the wire, and each command's payload, time-out and attempts.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/time_util.h"
#include "protocol/crc16.h"
#include "protocol/engine_test_util.h"

namespace skyh {
namespace {

using namespace test;

// GetBootInfo's outputs, set to nonsense before each call.
struct BootInfo {
  uint8_t mode = 7, version = 7;
  uint16_t blockSize = 7;
  Bytes key{9};
  int32_t keyLength = -5;
  ComResult Get(MemoryLink& link) { return link.GetBootInfo(mode, blockSize, version, key, keyLength); }
};

TEST(FrameSend, CrcAndExampleFramesByteForByte) {
  const auto* digits = reinterpret_cast<const uint8_t*>("123456789");
  EXPECT_EQ(Crc16Arc(digits, 9), 0xBB3D);
  EXPECT_EQ(Crc16Arc(digits + 4, 5, Crc16Arc(digits, 4)), 0xBB3D);

  MemoryLink link;
  AnswerWith(link, {0x00});
  BootInfo info;
  ASSERT_EQ(info.Get(link), ComResult::kOk);
  ASSERT_EQ(link.Writes().size(), 1u);
  EXPECT_EQ(link.Writes()[0], (Bytes{0x01, 0x21, 0x02, 0x49, 0x17, 0x44, 0x39, 0x41, 0x36, 0x03}));

  const Bytes reply = {0x01, 0x21, 0x02, 0x3E, 0x30, 0x31, 0x30, 0x34,
                       0x30, 0x32, 0x17, 0x42, 0x46, 0x33, 0x38, 0x03};
  EXPECT_EQ(BuildFrame(0x21, 0x3E, {0x01, 0x04, 0x02}), reply) << "the test encoder itself";
  Reply(link, reply);
  uint8_t major, minor, patch;
  ASSERT_EQ(link.GetFirmwareVersion(major, minor, patch, 0), ComResult::kOk);
  EXPECT_EQ(patch, 2);
}

TEST(FrameSend, SequenceNumbersRetriesAndWriteFailures) {
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
  // Success on the second attempt stops there.
  int calls = 0;
  silent.SetResponder([&](const WireFrame& f) {
    return ++calls == 2 ? BuildFrame(f.sequence, kCmdGetSettings, {1}) : Bytes{};
  });
  silent.ClearRecord();
  EXPECT_EQ(silent.SendCommand(kCmdGetSettings, nullptr, 0, 0, 3), ComResult::kOk);
  EXPECT_EQ(silent.Frames().size(), 2u);
  EXPECT_EQ(silent.Sequence(), 0x23);

  // A failed write: 4 at once, no retry, no advance; on the first or a later attempt.
  MemoryLink broken;
  broken.FailWritesFrom(0);
  uint64_t start = broken.Manual().NowMs();
  EXPECT_EQ(broken.SendCommand(kCmdGetSettings, nullptr, 0, 0, 5), ComResult::kWriteFailed);
  EXPECT_EQ(broken.Manual().NowMs(), start);
  Bytes record;
  EXPECT_EQ(broken.GetPreviousRecord(record), ComResult::kWriteFailed);
  EXPECT_EQ(broken.Sequence(), 0x21);
  MemoryLink second;
  second.FailWritesFrom(1);
  EXPECT_EQ(second.SendCommand(kCmdGetSettings, nullptr, 0, 0, 5), ComResult::kWriteFailed);
  EXPECT_EQ(second.Writes().size(), 1u);
  EXPECT_EQ(second.Sequence(), 0x21);
}

TEST(FrameSend, LongFrameLeavesInAFullQueueWriteAndTheRest) {
  MemoryLink link;
  LearnNoEcho(link);
  AnswerWith(link, {}, kCmdWriteCode);
  Bytes payload(2051, 0xFF);
  payload[100] = 0x5A;
  ASSERT_EQ(link.WriteCode(payload.data(), static_cast<uint16_t>(payload.size())), ComResult::kOk);
  ASSERT_EQ(link.Writes().size(), 2u);
  EXPECT_EQ(link.Writes()[0].size(), 4096u);
  EXPECT_EQ(link.Writes()[1].size(), 16u);
  ASSERT_EQ(link.Frames().size(), 1u);
  EXPECT_TRUE(link.Frames()[0].checksumOk);
  EXPECT_EQ(link.Frames()[0].payload, payload);
}

TEST(FrameSend, RawFramesWaitInFrontOfTheNextCommand) {
  MemoryLink link;
  AnswerWith(link, {1, 4}, kCmdGetFirmwareVersion);
  EXPECT_EQ(link.SendBootloaderWake(), ComResult::kOk);
  const uint8_t data[] = {0x55, 0x04, 0x05, 0x10};
  EXPECT_EQ(link.SendRawFrame(data, sizeof data), ComResult::kOk);
  EXPECT_TRUE(link.Writes().empty());
  uint8_t major, minor, patch;
  ASSERT_EQ(link.GetFirmwareVersion(major, minor, patch, 0), ComResult::kOk);
  ASSERT_EQ(link.Writes().size(), 1u) << "raw frames and command in one write";
  // Wake, then the data escaped (sum 0x6E, check byte 0x92), then the command.
  const Bytes expected = {0x55, 0x55, 0x00, 0x00, 0x00, 0x04, 0x55, 0x55, 0x05, 0x55, 0x05,
                          0x04, 0x05, 0x05, 0x10, 0x92, 0x04, 0x01};
  const Bytes& w = link.Writes()[0];
  ASSERT_GE(w.size(), expected.size());
  EXPECT_EQ(Bytes(w.begin(), w.begin() + expected.size()), expected);

  // A check byte that needs escaping is escaped (0xFB gives 0x05).
  MemoryLink other;
  const uint8_t fb[] = {0xFB};
  other.SendRawFrame(fb, 1);
  other.FlushTx();
  EXPECT_EQ(other.AllWritten(), (Bytes{0x55, 0x55, 0xFB, 0x05, 0x05, 0x04}));
}

TEST(CommandSet, FirmwareVersionDateTimeAndWriteSettingsPayloads) {
  MemoryLink link;
  uint8_t major = 0, minor = 0, patch = 0;
  AnswerWith(link, {0x01, 0x04});
  ASSERT_EQ(link.GetFirmwareVersion(major, minor, patch, 0), ComResult::kOk);
  EXPECT_EQ(major * 0x10000 + minor * 0x100 + patch, 0x0104FF);
  AnswerWith(link, {0x01, 0x04, 0x02});
  ASSERT_EQ(link.GetFirmwareVersion(major, minor, patch, 0), ComResult::kOk);
  EXPECT_EQ(patch, 2);
  link.SetResponder(nullptr);
  uint64_t start = link.Manual().NowMs();
  EXPECT_EQ(link.GetFirmwareVersion(major, minor, patch, 100), ComResult::kTimeout);
  EXPECT_LE(link.Manual().NowMs() - start, 200u) << "the caller's 100 ms per attempt";
  EXPECT_EQ(major * 0x10000 + minor * 0x100 + patch, 0xFFFFFF) << "failure leaves 0xFF";

  AnswerWith(link, {});
  const int64_t t = FieldsToTime(2025, 3, 7, 14, 5, 9);
  ASSERT_EQ(link.SetDateTime(t), ComResult::kOk);
  const Bytes& sent = link.Writes().back();
  EXPECT_EQ(std::string(sent.begin() + 4, sent.end() - 6), "1903070E0509");
  EXPECT_EQ(link.SetDateTime(kInvalidTime), ComResult::kWriteFailed);
  AnswerWith(link, {0x19, 0x03, 0x07, 0x0E, 0x05, 0x09});
  int64_t got = 0;
  ASSERT_EQ(link.GetDateTime(got), ComResult::kOk);
  EXPECT_EQ(got, t);

  Bytes record(0x0200, 0);
  record.insert(record.end(), {0xAA, 0xBB, 0xCC});
  AnswerWith(link, {});
  ASSERT_EQ(link.WriteSettings(record.data(), 0x0200, 3), ComResult::kOk);
  EXPECT_EQ(link.Frames().back().command, kCmdWriteSettings);
  EXPECT_EQ(link.Frames().back().payload, (Bytes{0x00, 0x02, 0xAA, 0xBB, 0xCC}));
}

TEST(CommandSet, ShortOrImpossibleDateAndShortVersionAreErrors) {
  MemoryLink link;
  const int64_t kept = 12345;
  for (const Bytes& date : {Bytes{25, 3, 7, 14, 5}, Bytes{25}, Bytes{25, 13, 7, 14, 5, 9}, Bytes{25, 2, 29, 0, 0, 0},
                            Bytes{25, 4, 31, 0, 0, 0}, Bytes{25, 3, 0, 0, 0, 0}, Bytes{25, 3, 7, 24, 0, 0},
                            Bytes{25, 3, 7, 14, 60, 0}, Bytes{25, 3, 7, 14, 5, 60}}) {
    SCOPED_TRACE(::testing::PrintToString(date));
    AnswerWith(link, date);
    int64_t t = kept;
    EXPECT_EQ(link.GetDateTime(t), ComResult::kChecksumError);
    EXPECT_EQ(t, kept) << "untouched on error";
  }
  // Leap day, and more than six bytes: the first six count.
  AnswerWith(link, {24, 2, 29, 23, 59, 59, 0xAA});
  int64_t t = 0;
  ASSERT_EQ(link.GetDateTime(t), ComResult::kOk);
  EXPECT_EQ(t, FieldsToTime(2024, 2, 29, 23, 59, 59));

  uint8_t major = 0, minor = 0, patch = 0;
  AnswerWith(link, {0x07});
  EXPECT_EQ(link.GetFirmwareVersion(major, minor, patch, 0), ComResult::kChecksumError);
  EXPECT_EQ(major * 0x10000 + minor * 0x100 + patch, 0xFFFFFF);
  // An empty reply equals the request: never a version, only an echo.
  AnswerWith(link, {}, kCmdGetFirmwareVersion);
  EXPECT_EQ(link.GetFirmwareVersion(major, minor, patch, 0), ComResult::kTimeout);
  EXPECT_EQ(major * 0x10000 + minor * 0x100 + patch, 0xFFFFFF);
}

TEST(CommandSet, BootInfoOfEachLength) {
  MemoryLink link;
  BootInfo zero, full, shortKey;
  AnswerWith(link, {0x00});
  ASSERT_EQ(zero.Get(link), ComResult::kOk);
  EXPECT_EQ(zero.mode, 0);
  EXPECT_EQ(zero.blockSize, 0);
  EXPECT_EQ(zero.keyLength, 0);

  AnswerWith(link, {0x01, 0x00, 0x08, 0x03, 0xA1, 0xA2, 0xA3});
  ASSERT_EQ(full.Get(link), ComResult::kOk);
  EXPECT_EQ(full.mode, 1);
  EXPECT_EQ(full.blockSize, 0x0800);
  EXPECT_EQ(full.version, 3);
  EXPECT_EQ(full.keyLength, 3);
  EXPECT_EQ(full.key, (Bytes{0xA1, 0xA2, 0xA3}));

  // Too short for a key: no key rather than a negative length.
  AnswerWith(link, {0x01, 0x00});
  ASSERT_EQ(shortKey.Get(link), ComResult::kOk);
  EXPECT_EQ(shortKey.keyLength, 0);
  EXPECT_TRUE(shortKey.key.empty());
  EXPECT_EQ(shortKey.version, 0) << "bytes past the reply read as zero";
}

// Code, payload, time-out and attempts on a silent link (GetLastRecord's and
// GetSettings' are checked with the replies).
TEST(CommandSet, CodesTimeOutsAndAttempts) {
  struct Case {
    const char* name;
    ComResult (*run)(MemoryLink&);
    uint8_t code;
    Bytes payload;
    uint32_t timeoutMs;
    size_t attempts;
  };
  static const uint8_t kCode[4] = {0x00, 0x01, 0x00, 0xEE};
  static Bytes out;
  const Case cases[] = {
      {"RepeatRecord", [](MemoryLink& l) { return l.RepeatRecord(out); }, 0x46, {}, 3000, 2},
      {"EndSession", [](MemoryLink& l) { return l.EndSession(); }, 0x4B, {}, 3000, 2},
      {"ResetBoard", [](MemoryLink& l) { return l.ResetBoard(); }, 0x40, {}, 3000, 2},
      {"WriteChecksum", [](MemoryLink& l) { return l.WriteChecksum(); }, 0x28, {}, 3000, 2},
      {"ClearFlash", [](MemoryLink& l) { return l.ClearFlash(); }, 0x4D, {0x00}, 3000, 2},
      {"EraseCode", [](MemoryLink& l) { return l.EraseCode(); }, 0x22, {}, 20000, 2},
      {"WriteCode", [](MemoryLink& l) { return l.WriteCode(kCode, 4); }, 0x23, {0x00, 0x01, 0x00, 0xEE}, 3000, 6},
      {"VerifyApplication", [](MemoryLink& l) { return l.VerifyApplication(); }, 0x26, {}, 20000, 2},
      {"VerifyBootBlock", [](MemoryLink& l) { return l.VerifyBootBlock(); }, 0x29, {}, 10000, 2},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    MemoryLink link;
    LearnNoEcho(link);
    uint64_t start = link.Manual().NowMs();
    EXPECT_EQ(c.run(link), ComResult::kTimeout);
    ASSERT_EQ(link.Frames().size(), c.attempts);
    EXPECT_EQ(link.Frames()[0].command, c.code);
    EXPECT_EQ(link.Frames()[0].payload, c.payload);
    uint64_t perAttempt = (link.Manual().NowMs() - start) / c.attempts;
    EXPECT_LE(perAttempt, c.timeoutMs);
    EXPECT_GE(perAttempt, c.timeoutMs - 100);
  }
}

}  // namespace
}  // namespace skyh
