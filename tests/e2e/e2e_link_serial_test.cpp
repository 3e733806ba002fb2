// The serial link against the simulated control box on a pseudo-terminal.
#include <gtest/gtest.h>

#include "core/time_util.h"
#include "link/ccom_serial.h"
#include "sim_pty_bridge.h"

namespace skyh {
namespace {

using test::SimPtyBridge;

// The command-line tests run every command over this link; here: one frame
// per command and no retransmission on a clean line, the raw exchanges the
// tool does not make, and an empty memory.
TEST(SerialLinkE2e, EveryCommandOverAPseudoTerminal) {
  SimPtyBridge bridge({}, [](sim::ControlBox& box) { test::FillMemory(box.memory(), 5); });
  ASSERT_TRUE(bridge.ok());
  auto box = [&bridge] { return bridge.Box(); };
  CComSerial link;
  link.SetPortName(bridge.Path());
  ASSERT_TRUE(link.Open()) << link.GetLastErrorText();

  int64_t boxTime = 0;
  ASSERT_EQ(link.GetDateTime(boxTime), ComResult::kOk);
  EXPECT_LE(std::llabs(boxTime - NowUtc()), 5);
  std::vector<uint8_t> area(40, 0);
  area[4] = 0xA1;
  area[6] = 0xC3;
  ASSERT_EQ(link.WriteSettings(area.data(), 4, 3), ComResult::kOk);
  EXPECT_EQ(box()->memory().settings()[13 + 4], 0xA1);  // offsets from the settings area
  EXPECT_EQ(box()->memory().settings()[13 + 6], 0xC3);

  std::vector<uint8_t> record, repeated;
  ASSERT_EQ(link.GetLastRecord(record), ComResult::kOk);
  EXPECT_EQ(record, box()->memory().records()[4]);
  ASSERT_EQ(link.RepeatRecord(repeated), ComResult::kOk);
  EXPECT_EQ(repeated, record);
  ASSERT_EQ(link.GetPreviousRecord(record), ComResult::kOk);
  EXPECT_EQ(record, box()->memory().records()[3]);
  uint8_t major = 0, minor = 0, patch = 0;
  ASSERT_EQ(link.GetFirmwareVersion(major, minor, patch, 0), ComResult::kOk);
  EXPECT_EQ(major * 10 + minor, 21);

  ASSERT_EQ(link.ClearFlash(), ComResult::kOk);
  EXPECT_EQ(link.GetLastRecord(record), ComResult::kOk);  // an empty memory answers no bytes
  EXPECT_TRUE(record.empty());
  EXPECT_EQ(box()->counters().commands, 8);  // one frame per command
  EXPECT_EQ(box()->counters().retransmissions, 0);
  EXPECT_TRUE(link.Close());
}

TEST(SerialLinkE2e, WalksAThousandRecordsAcrossAReconnect) {
  SimPtyBridge bridge({}, [](sim::ControlBox& box) { test::FillMemory(box.memory(), 1000); });
  ASSERT_TRUE(bridge.ok());
  const auto expected = bridge.Box()->memory().records();
  CComSerial link;
  link.SetPortName(bridge.Path());
  ASSERT_TRUE(link.Open()) << link.GetLastErrorText();

  std::vector<std::vector<uint8_t>> got(1);
  ComResult result = link.GetLastRecord(got[0]);
  ASSERT_EQ(result, ComResult::kOk);
  std::vector<uint8_t> record;
  while ((result = link.GetPreviousRecord(record)) == ComResult::kOk) {
    got.push_back(record);
    if (got.size() == 500) {
      const uint8_t sequenceBefore = link.Sequence();
      ASSERT_TRUE(link.Close());
      ASSERT_TRUE(link.Open()) << link.GetLastErrorText();
      EXPECT_EQ(link.Sequence(), sequenceBefore);  // runs on across the reconnect
    }
  }
  EXPECT_EQ(result, ComResult::kNoRecord);
  ASSERT_EQ(got.size(), 1000u);
  for (size_t i = 0; i < got.size(); ++i) ASSERT_EQ(got[i], expected[999 - i]) << "record " << i;
  EXPECT_EQ(bridge.Box()->counters().retransmissions, 0);
}

}  // namespace
}  // namespace skyh
