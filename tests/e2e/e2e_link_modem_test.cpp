// The modem link against the simulated box behind its Hayes modem.
#include <gtest/gtest.h>

#include "link/ccom_modem.h"
#include "sim_pty_bridge.h"
#include "support/cli_run.h"
#include "support/temp_dir.h"

namespace skyh {
namespace {

using test::SimPtyBridge;

sim::BoxOptions ModemBox(bool echo, sim::DialResult dial, int failingDials = -1) {
  sim::BoxOptions options;
  options.modem.enabled = true;
  options.modem.echo = echo;
  options.modem.dialResult = dial;
  options.modem.failingDials = failingDials;
  return options;
}

TEST(ModemLinkE2e, DialsWithAndWithoutEchoRunsTheProtocolAndRedialsAfterClose) {
  for (bool echo : {true, false}) {
    SCOPED_TRACE(echo ? "echo" : "no echo");
    // Without echo the first two dials find no carrier: the third connects.
    SimPtyBridge bridge(ModemBox(echo, sim::DialResult::NoCarrier, echo ? 0 : 2),
                        [](sim::ControlBox& box) { test::FillMemory(box.memory(), 3); });
    ASSERT_TRUE(bridge.ok());
    auto box = [&bridge] { return bridge.Box(); };
    CComModem link;
    link.SetPortName(bridge.Path());
    link.SetPhoneNumber(CleanPhoneNumber("+33 612 345 678"));  // as the configuration dialog keeps it
    ASSERT_TRUE(link.Open()) << link.GetLastErrorText();
    EXPECT_EQ(link.GetDescription(), bridge.Path() + ": Connected");
    EXPECT_TRUE(box()->modem().connected());
    EXPECT_EQ(box()->modem().dialCount(), echo ? 1 : 3);

    std::vector<uint8_t> settings, record;
    EXPECT_EQ(link.GetSettings(settings), ComResult::kOk);
    EXPECT_EQ(settings, box()->memory().settings());
    EXPECT_EQ(link.GetLastRecord(record), ComResult::kOk);
    EXPECT_EQ(record, box()->memory().records().back());
    EXPECT_TRUE(link.Close());
    EXPECT_EQ(link.GetDescription(), bridge.Path() + ": Disconnected");
    // Reconnecting redials: the modem hung up when the line closed.
    ASSERT_TRUE(link.Open()) << link.GetLastErrorText();
    EXPECT_EQ(link.GetLastRecord(record), ComResult::kOk);
    EXPECT_EQ(box()->modem().dialCount(), echo ? 2 : 4);
  }
}

TEST(ModemLinkE2e, BusyEndsEachOfThreeDialsAndReportsTheReply) {
  SimPtyBridge bridge(ModemBox(true, sim::DialResult::Busy));
  ASSERT_TRUE(bridge.ok());
  CComModem link;
  link.SetPortName(bridge.Path());
  link.SetPhoneNumber("0612345678");
  EXPECT_FALSE(link.Open());
  const std::string error = link.GetLastErrorText();
  const std::string head = "Error no reply from: \"0612345678\": \n\"";
  EXPECT_EQ(error.substr(0, head.size()), head);
  const std::string tail = "BUSY|0D||0A|\"";
  ASSERT_GE(error.size(), tail.size());
  EXPECT_EQ(error.substr(error.size() - tail.size()), tail);
  EXPECT_EQ(error.find('\r'), std::string::npos);
  EXPECT_FALSE(link.IsConnected());
  EXPECT_FALSE(link.Port().IsOpen());
  EXPECT_EQ(bridge.Box()->modem().dialCount(), 3);
}

TEST(ModemLinkE2e, ANumberCarryingACommandNeverReachesTheModem) {
  SimPtyBridge bridge(ModemBox(true, sim::DialResult::Connect));
  ASSERT_TRUE(bridge.ok());
  test::TempDir home;
  test::WriteCliIni(home, "[communication]\ntype=2\nport=" + bridge.Path() + "\nphone_number=0612345678\n");

  test::CliRun bad = test::RunCli(home, "time get --phone '12;ATH'");
  EXPECT_NE(bad.exitCode, 0);
  EXPECT_NE(bad.err.find("Error Phone number \"12;ATH\" is invalid"), std::string::npos) << bad.err;
  EXPECT_EQ(bridge.Box()->modem().dialCount(), 0);

  test::CliRun good = test::RunCli(home, "time get --phone '+33,612345678'");
  EXPECT_EQ(good.exitCode, 0) << good.err;
  EXPECT_EQ(bridge.Box()->modem().dialCount(), 1);
}

}  // namespace
}  // namespace skyh
