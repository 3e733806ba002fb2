// Command codes, payloads, time-outs, retries and reply handling.
#include <gtest/gtest.h>

#include <vector>

#include "core/time_util.h"
#include "protocol/command_codes.h"
#include "support/memory_link.h"

namespace skyh {
namespace {

using test::BuildFrame;
using test::MemoryLink;
using test::WireFrame;
using Bytes = std::vector<uint8_t>;

// Answers every request with `payload` under the request's own command.
void AnswerWith(MemoryLink& link, Bytes payload) {
  link.SetResponder([payload](const WireFrame& f) {
    return BuildFrame(f.sequence, static_cast<uint8_t>(f.command | 0x80), payload);
  });
}

TEST(CommandSet, FirmwareVersionOfTwoOrThreeBytes) {
  MemoryLink link;
  uint8_t major = 0, minor = 0, patch = 0;
  AnswerWith(link, {0x01, 0x04});
  ASSERT_EQ(link.GetFirmwareVersion(major, minor, patch, 0), kComOk);
  EXPECT_EQ(major, 1);
  EXPECT_EQ(minor, 4);
  EXPECT_EQ(patch, 0xFF);
  AnswerWith(link, {0x01, 0x04, 0x02});
  ASSERT_EQ(link.GetFirmwareVersion(major, minor, patch, 0), kComOk);
  EXPECT_EQ(patch, 2);
  EXPECT_EQ(link.Frames().back().command, kCmdGetFirmwareVersion);

  // Failure leaves 0xFF everywhere, after the caller's 100 ms per attempt.
  link.SetResponder(nullptr);
  uint64_t start = link.Manual().NowMs();
  EXPECT_EQ(link.GetFirmwareVersion(major, minor, patch, 100), kComTimeout);
  EXPECT_EQ(major, 0xFF);
  EXPECT_EQ(minor, 0xFF);
  EXPECT_EQ(patch, 0xFF);
  EXPECT_LE(link.Manual().NowMs() - start, 200u);
}

TEST(CommandSet, DateTimeBothWays) {
  MemoryLink link;
  AnswerWith(link, {});
  const int64_t t = FieldsToTime(2025, 3, 7, 14, 5, 9);
  ASSERT_EQ(link.SetDateTime(t), kComOk);
  const WireFrame& sent = link.Frames().back();
  EXPECT_EQ(sent.command, kCmdSetDateTime);
  EXPECT_EQ(Bytes(sent.bytes.begin() + 4, sent.bytes.end() - 6),
            (Bytes{'1', '9', '0', '3', '0', '7', '0', 'E', '0', '5', '0', '9'}));
  EXPECT_EQ(link.SetDateTime(kInvalidTime), kComWriteFailed);

  AnswerWith(link, {0x19, 0x03, 0x07, 0x0E, 0x05, 0x09});
  int64_t got = 0;
  ASSERT_EQ(link.GetDateTime(got), kComOk);
  EXPECT_EQ(got, t);
  EXPECT_EQ(link.Frames().back().command, kCmdGetDateTime);

  link.SetResponder(nullptr);
  got = 123;
  EXPECT_EQ(link.GetDateTime(got), kComTimeout);
  EXPECT_EQ(got, 123);
}

TEST(CommandSet, SettingsReadAndWrite) {
  MemoryLink link;
  AnswerWith(link, {0x7C, 1, 2, 3});
  Bytes settings;
  ASSERT_EQ(link.GetSettings(settings), kComOk);
  EXPECT_EQ(settings, (Bytes{0x7C, 1, 2, 3}));

  Bytes record(0x0203, 0);
  record[0x0200] = 0xAA;
  record[0x0201] = 0xBB;
  record[0x0202] = 0xCC;
  AnswerWith(link, {});
  ASSERT_EQ(link.WriteSettings(record.data(), 0x0200, 3), kComOk);
  EXPECT_EQ(link.Frames().back().command, kCmdWriteSettings);
  EXPECT_EQ(link.Frames().back().payload, (Bytes{0x00, 0x02, 0xAA, 0xBB, 0xCC}));
}

TEST(CommandSet, BootInfo) {
  MemoryLink link;
  uint8_t mode = 7, version = 0;
  uint16_t blockSize = 7;
  Bytes key{9};
  int32_t keyLength = -5;
  AnswerWith(link, {0x00});
  ASSERT_EQ(link.GetBootInfo(mode, blockSize, version, key, keyLength), kComOk);
  EXPECT_EQ(mode, 0);
  EXPECT_EQ(blockSize, 0);
  EXPECT_EQ(keyLength, 0);

  AnswerWith(link, {0x01, 0x00, 0x08, 0x03, 0xA1, 0xA2, 0xA3});
  ASSERT_EQ(link.GetBootInfo(mode, blockSize, version, key, keyLength), kComOk);
  EXPECT_EQ(mode, 1);
  EXPECT_EQ(blockSize, 0x0800);
  EXPECT_EQ(version, 3);
  EXPECT_EQ(keyLength, 3);
  EXPECT_EQ(key, (Bytes{0xA1, 0xA2, 0xA3}));

  // Too short for a key: no key rather than a negative length.
  AnswerWith(link, {0x01, 0x00});
  ASSERT_EQ(link.GetBootInfo(mode, blockSize, version, key, keyLength), kComOk);
  EXPECT_EQ(keyLength, 0);
  EXPECT_TRUE(key.empty());
  EXPECT_EQ(version, 0) << "bytes past the reply read as zero";

  link.SetResponder(nullptr);
  keyLength = 77;
  EXPECT_EQ(link.GetBootInfo(mode, blockSize, version, key, keyLength), kComTimeout);
  EXPECT_EQ(mode, 0);
  EXPECT_EQ(blockSize, 0);
  EXPECT_EQ(keyLength, 77);
}

// Code, payload, time-out and attempts of each command on a silent link.
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
  Bytes out;
  static Bytes* sink = &out;
  const Case cases[] = {
      {"GetLastRecord", [](MemoryLink& l) { return l.GetLastRecord(*sink); }, 0x43, {}, 5000, 1},
      {"RepeatRecord", [](MemoryLink& l) { return l.RepeatRecord(*sink); }, 0x46, {}, 3000, 2},
      {"GetSettings", [](MemoryLink& l) { return l.GetSettings(*sink); }, 0x47, {}, 3000, 2},
      {"EndSession", [](MemoryLink& l) { return l.EndSession(); }, 0x4B, {}, 3000, 2},
      {"ResetBoard", [](MemoryLink& l) { return l.ResetBoard(); }, 0x40, {}, 3000, 2},
      {"ClearFlash", [](MemoryLink& l) { return l.ClearFlash(); }, 0x4D, {0x00}, 3000, 2},
      {"EraseCode", [](MemoryLink& l) { return l.EraseCode(); }, 0x22, {}, 20000, 2},
      {"WriteCode", [](MemoryLink& l) { return l.WriteCode(kCode, 4); }, 0x23, {0x00, 0x01, 0x00, 0xEE}, 3000, 6},
      {"WriteChecksum", [](MemoryLink& l) { return l.WriteChecksum(); }, 0x28, {}, 3000, 2},
      {"VerifyApplication", [](MemoryLink& l) { return l.VerifyApplication(); }, 0x26, {}, 20000, 2},
      {"VerifyBootBlock", [](MemoryLink& l) { return l.VerifyBootBlock(); }, 0x29, {}, 10000, 2},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    MemoryLink link;
    uint64_t start = link.Manual().NowMs();
    EXPECT_EQ(c.run(link), kComTimeout);
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
