// What the engine puts on the wire: frames, checksum, sequence numbers,
// attempts, queue-full flushes and raw boot-loader frames.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "protocol/command_codes.h"
#include "protocol/crc16.h"
#include "support/memory_link.h"

namespace skyh {
namespace {

using test::BuildFrame;
using test::MemoryLink;
using test::WireFrame;
using Bytes = std::vector<uint8_t>;

MemoryLink::Responder Answer(uint8_t command, Bytes payload = {}) {
  return [command, payload](const WireFrame& f) { return BuildFrame(f.sequence, command, payload); };
}

TEST(Crc16Arc, CheckValueAndContinuation) {
  const char* text = "123456789";
  const auto* bytes = reinterpret_cast<const uint8_t*>(text);
  EXPECT_EQ(Crc16Arc(bytes, 9), 0xBB3D);
  EXPECT_EQ(Crc16Arc(bytes + 4, 5, Crc16Arc(bytes, 4)), 0xBB3D);
  uint16_t crc = 0;
  for (int i = 0; i < 9; ++i) crc = Crc16ArcByte(crc, bytes[i]);
  EXPECT_EQ(crc, 0xBB3D);
  EXPECT_EQ(Crc16Arc(bytes, 0, 0x1234), 0x1234);
}

TEST(FrameSend, ExampleFramesByteForByte) {
  MemoryLink link;
  // The reply example: command 0x3E, sequence 0x21, payload 01 04 02.
  const Bytes reply = {0x01, 0x21, 0x02, 0x3E, 0x30, 0x31, 0x30, 0x34,
                       0x30, 0x32, 0x17, 0x42, 0x46, 0x33, 0x38, 0x03};
  EXPECT_EQ(BuildFrame(0x21, 0x3E, {0x01, 0x04, 0x02}), reply) << "the test encoder itself";
  link.SetResponder(Answer(kCmdGetBootInfo, {0x00}));
  uint8_t mode = 9, version = 0;
  uint16_t blockSize = 9;
  Bytes key;
  int32_t keyLength = -1;
  ASSERT_EQ(link.GetBootInfo(mode, blockSize, version, key, keyLength), kComOk);
  ASSERT_EQ(link.Writes().size(), 1u);
  EXPECT_EQ(link.Writes()[0], (Bytes{0x01, 0x21, 0x02, 0x49, 0x17, 0x44, 0x39, 0x41, 0x36, 0x03}));

  link.SetResponder([&](const WireFrame&) { return reply; });
  uint8_t major, minor, patch;
  ASSERT_EQ(link.GetFirmwareVersion(major, minor, patch, 0), kComOk);
  EXPECT_EQ(major, 1);
  EXPECT_EQ(minor, 4);
  EXPECT_EQ(patch, 2);
}

TEST(FrameSend, SequenceRunsFrom21To7FAndWraps) {
  MemoryLink link;
  link.SetResponder(Answer(kCmdEndSession));
  EXPECT_EQ(link.Sequence(), 0x21);
  for (int i = 0; i < 0x7F - 0x21 + 2; ++i) ASSERT_EQ(link.EndSession(), kComOk);
  ASSERT_EQ(link.Frames().size(), 96u);
  EXPECT_EQ(link.Frames()[0].sequence, 0x21);
  EXPECT_EQ(link.Frames()[94].sequence, 0x7F);
  EXPECT_EQ(link.Frames()[95].sequence, 0x21);
  for (const WireFrame& f : link.Frames()) EXPECT_TRUE(f.checksumOk);
}

TEST(FrameSend, RetriesShareOneSequenceNumberAndAdvanceItOnce) {
  MemoryLink link;  // silent
  EXPECT_EQ(link.SendCommand(kCmdGetSettings, nullptr, 0, 0, 3), kComTimeout);
  ASSERT_EQ(link.Frames().size(), 4u);
  for (const WireFrame& f : link.Frames()) {
    EXPECT_EQ(f.sequence, 0x21);
    EXPECT_EQ(f.command, kCmdGetSettings);
    EXPECT_EQ(f.bytes, link.Frames()[0].bytes);
  }
  EXPECT_EQ(link.Sequence(), 0x22);

  // Success on the second attempt stops there.
  int calls = 0;
  link.SetResponder([&](const WireFrame& f) {
    return ++calls == 2 ? BuildFrame(f.sequence, kCmdGetSettings, {1}) : Bytes{};
  });
  link.ClearRecord();
  EXPECT_EQ(link.SendCommand(kCmdGetSettings, nullptr, 0, 0, 3), kComOk);
  EXPECT_EQ(link.Frames().size(), 2u);
  EXPECT_EQ(link.Sequence(), 0x23);
}

TEST(FrameSend, FailedWriteGivesFourAtOnceWithoutRetryOrAdvance) {
  MemoryLink link;
  link.FailWritesFrom(0);
  uint64_t start = link.Manual().NowMs();
  EXPECT_EQ(link.SendCommand(kCmdGetSettings, nullptr, 0, 0, 5), kComWriteFailed);
  EXPECT_EQ(link.Sequence(), 0x21);
  EXPECT_EQ(link.Manual().NowMs(), start) << "no wait for a reply";
  std::vector<uint8_t> record;
  EXPECT_EQ(link.GetPreviousRecord(record), kComWriteFailed);
  EXPECT_EQ(link.Sequence(), 0x21);
  EXPECT_TRUE(link.Writes().empty());

  // Second attempt's write fails: still 4, still not advanced.
  MemoryLink second;
  second.FailWritesFrom(1);
  EXPECT_EQ(second.SendCommand(kCmdGetSettings, nullptr, 0, 0, 5), kComWriteFailed);
  EXPECT_EQ(second.Writes().size(), 1u);
  EXPECT_EQ(second.Sequence(), 0x21);
}

TEST(FrameSend, LongFrameLeavesInAFullQueueWriteAndTheRest) {
  MemoryLink link;
  link.SetResponder(Answer(kCmdWriteCode));
  Bytes payload(2048 + 3, 0xFF);
  payload[0] = 0x01;
  payload[1] = 0x20;
  payload[2] = 0x00;
  payload[100] = 0x5A;
  ASSERT_EQ(link.WriteCode(payload.data(), static_cast<uint16_t>(payload.size())), kComOk);
  ASSERT_EQ(link.Writes().size(), 2u);
  EXPECT_EQ(link.Writes()[0].size(), 4096u);
  EXPECT_EQ(link.Writes()[1].size(), 16u);
  ASSERT_EQ(link.Frames().size(), 1u);
  EXPECT_TRUE(link.Frames()[0].checksumOk);
  EXPECT_EQ(link.Frames()[0].payload, payload);
}

TEST(FrameSend, FailedForcedWriteCutsThePayloadAndTheFrameEndsNormally) {
  MemoryLink link;
  link.SetResponder(Answer(kCmdWriteCode));
  link.FailOnlyWrite(0);  // the write forced by the full queue
  Bytes payload(2051, 0x11);
  EXPECT_EQ(link.WriteCode(payload.data(), static_cast<uint16_t>(payload.size())), kComOk);
  // First attempt: only ETB, checksum and ETX follow the lost block; the box
  // cannot answer that, and the retry goes through whole.
  ASSERT_EQ(link.Writes().size(), 3u);
  ASSERT_EQ(link.Writes()[0].size(), 6u);
  EXPECT_EQ(link.Writes()[0][0], 0x17);
  EXPECT_EQ(link.Writes()[0][5], 0x03);
  EXPECT_EQ(link.Writes()[1].size(), 4096u);
  EXPECT_EQ(link.Writes()[2].size(), 16u);
  ASSERT_EQ(link.Frames().size(), 1u);
  EXPECT_EQ(link.Frames()[0].payload, payload);
}

TEST(FrameSend, RawFramesWaitInFrontOfTheNextCommand) {
  MemoryLink link;
  link.SetResponder(Answer(kCmdGetFirmwareVersion, {1, 4}));
  EXPECT_EQ(link.SendBootloaderWake(), kComOk);
  EXPECT_TRUE(link.Writes().empty()) << "nothing written yet";
  const uint8_t data[] = {0x55, 0x04, 0x05, 0x10};
  EXPECT_EQ(link.SendRawFrame(data, sizeof data), kComOk);
  uint8_t major, minor, patch;
  ASSERT_EQ(link.GetFirmwareVersion(major, minor, patch, 0), kComOk);
  ASSERT_EQ(link.Writes().size(), 1u) << "raw frames and command in one write";
  const Bytes& w = link.Writes()[0];
  const Bytes wake = {0x55, 0x55, 0x00, 0x00, 0x00, 0x04};
  ASSERT_GE(w.size(), 6u);
  EXPECT_EQ(Bytes(w.begin(), w.begin() + 6), wake);
  // sum 0x55+0x04+0x05+0x10 = 0x6E, check byte 0x92
  const Bytes escaped = {0x55, 0x55, 0x05, 0x55, 0x05, 0x04, 0x05, 0x05, 0x10, 0x92, 0x04};
  EXPECT_EQ(Bytes(w.begin() + 6, w.begin() + 6 + escaped.size()), escaped);
  EXPECT_EQ(w[6 + escaped.size()], 0x01) << "then the command frame";

  // A check byte that needs escaping is escaped: data 0xFB sums to a check of 0x05.
  MemoryLink other;
  const uint8_t fb[] = {0xFB};
  other.SendRawFrame(fb, 1);
  other.FlushTx();
  EXPECT_EQ(other.AllWritten(), (Bytes{0x55, 0x55, 0xFB, 0x05, 0x05, 0x04}));
}

TEST(FrameSend, HexTextIsCheckedAndQueued) {
  MemoryLink link;
  EXPECT_TRUE(link.SendHexText("1A"));
  EXPECT_TRUE(link.FlushTx());
  EXPECT_EQ(link.AllWritten(), (Bytes{'1', 'A'}));
  EXPECT_TRUE(link.FlushTx()) << "nothing queued: nothing to write";
  EXPECT_EQ(link.Writes().size(), 1u);
}

}  // namespace
}  // namespace skyh
