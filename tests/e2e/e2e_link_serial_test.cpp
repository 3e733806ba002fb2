// The serial link against the simulated control box on a pseudo-terminal.
#include <gtest/gtest.h>

#include "core/time_util.h"
#include "link/ccom_serial.h"
#include "sim_pty_bridge.h"

namespace skyh {
namespace {

using test::SimPtyBridge;

TEST(SerialLinkE2e, EveryCommandOverAPseudoTerminal) {
  SimPtyBridge bridge;
  bridge.WithBox([](sim::ControlBox& box) { test::FillMemory(box.memory(), 5); });
  CComSerial link;
  link.SetPortName(bridge.Path());
  ASSERT_TRUE(link.Open()) << link.GetLastErrorText();

  int64_t boxTime = 0;
  ASSERT_EQ(link.GetDateTime(boxTime), kComOk);
  EXPECT_LE(std::llabs(boxTime - NowUtc()), 5);
  const int64_t target = FieldsToTime(2031, 5, 6, 7, 8, 9);
  ASSERT_EQ(link.SetDateTime(target), kComOk);
  ASSERT_EQ(link.GetDateTime(boxTime), kComOk);
  EXPECT_LE(std::llabs(boxTime - target), 5);

  std::vector<uint8_t> settings;
  ASSERT_EQ(link.GetSettings(settings), kComOk);
  sim::Bytes boxSettings;
  bridge.WithBox([&](sim::ControlBox& box) { boxSettings = box.memory().settings(); });
  EXPECT_EQ(settings, boxSettings);

  std::vector<uint8_t> area(40, 0);
  area[4] = 0xA1;
  area[5] = 0xB2;
  area[6] = 0xC3;
  ASSERT_EQ(link.WriteSettings(area.data(), 4, 3), kComOk);
  bridge.WithBox([&](sim::ControlBox& box) { boxSettings = box.memory().settings(); });
  EXPECT_EQ(boxSettings[13 + 4], 0xA1);
  EXPECT_EQ(boxSettings[13 + 6], 0xC3);

  std::vector<uint8_t> record;
  std::vector<uint8_t> repeated;
  ASSERT_EQ(link.GetLastRecord(record), kComOk);
  ASSERT_EQ(link.RepeatRecord(repeated), kComOk);
  EXPECT_EQ(repeated, record);
  ASSERT_EQ(link.GetPreviousRecord(record), kComOk);
  EXPECT_NE(record, repeated);

  uint8_t major = 0, minor = 0, patch = 0;
  ASSERT_EQ(link.GetFirmwareVersion(major, minor, patch, 0), kComOk);
  EXPECT_EQ(major, 2);
  EXPECT_EQ(minor, 1);
  uint8_t mode = 9, bootVersion = 0;
  uint16_t blockSize = 0;
  std::vector<uint8_t> key;
  int32_t keyLength = 0;
  ASSERT_EQ(link.GetBootInfo(mode, blockSize, bootVersion, key, keyLength), kComOk);
  EXPECT_EQ(mode, 0);

  EXPECT_EQ(link.EndSession(), kComOk);
  EXPECT_EQ(link.ResetBoard(), kComOk);
  ASSERT_EQ(link.ClearFlash(), kComOk);
  bridge.WithBox([](sim::ControlBox& box) { EXPECT_EQ(box.memory().size(), 0u); });
  EXPECT_EQ(link.GetLastRecord(record), kComNoRecord);
  int commands = 0, retransmissions = -1;
  bridge.WithBox([&](sim::ControlBox& box) {
    commands = box.counters().commands;
    retransmissions = box.counters().retransmissions;
  });
  EXPECT_GE(commands, 15);
  EXPECT_EQ(retransmissions, 0);  // every reply came first time
  EXPECT_TRUE(link.Close());
}

TEST(SerialLinkE2e, WalksAThousandRecordsAcrossAReconnect) {
  SimPtyBridge bridge;
  sim::BoxMemory expected;
  test::FillMemory(expected, 1000);
  bridge.WithBox([&](sim::ControlBox& box) { box.memory() = expected; });
  CComSerial link;
  link.SetPortName(bridge.Path());
  ASSERT_TRUE(link.Open()) << link.GetLastErrorText();

  std::vector<std::vector<uint8_t>> got;
  std::vector<uint8_t> record;
  ASSERT_EQ(link.GetLastRecord(record), kComOk);
  got.push_back(record);
  ComResult result = kComOk;
  while ((result = link.GetPreviousRecord(record)) == kComOk) {
    got.push_back(record);
    if (got.size() == 500) {
      // A reconnection in the middle: close and open the same object.
      uint8_t sequenceBefore = link.Sequence();
      ASSERT_TRUE(link.Close());
      ASSERT_TRUE(link.Open()) << link.GetLastErrorText();
      EXPECT_EQ(link.Sequence(), sequenceBefore);
    }
  }
  EXPECT_EQ(result, kComNoRecord);
  ASSERT_EQ(got.size(), 1000u);
  for (size_t i = 0; i < got.size(); ++i) {
    ASSERT_EQ(got[i], expected.records()[999 - i]) << "record " << i;
  }
  bridge.WithBox([](sim::ControlBox& box) { EXPECT_EQ(box.counters().retransmissions, 0); });
}

}  // namespace
}  // namespace skyh
