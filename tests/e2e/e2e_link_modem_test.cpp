// The modem link against the simulated box behind its Hayes modem.
#include <gtest/gtest.h>

#include "link/ccom_modem.h"
#include "sim_pty_bridge.h"

namespace skyh {
namespace {

using test::SimPtyBridge;

sim::BoxOptions ModemBox(bool echo, sim::DialResult dial) {
  sim::BoxOptions options;
  options.modem.enabled = true;
  options.modem.echo = echo;
  options.modem.dialResult = dial;
  return options;
}

TEST(ModemLinkE2e, DialsThroughAnEchoingModemAndRunsTheProtocol) {
  for (bool echo : {true, false}) {
    SCOPED_TRACE(echo ? "echo" : "no echo");
    SimPtyBridge bridge(ModemBox(echo, sim::DialResult::Connect));
    bridge.WithBox([](sim::ControlBox& box) { test::FillMemory(box.memory(), 3); });
    CComModem link;
    link.SetPortName(bridge.Path());
    link.SetPhoneNumber("0612345678");
    ASSERT_TRUE(link.Open()) << link.GetLastErrorText();
    EXPECT_EQ(link.GetDescription(), bridge.Path() + ": Connected");
    bridge.WithBox([](sim::ControlBox& box) {
      EXPECT_TRUE(box.modem().connected());
      EXPECT_EQ(box.modem().dialCount(), 1);
    });

    std::vector<uint8_t> settings;
    EXPECT_EQ(link.GetSettings(settings), kComOk);
    std::vector<uint8_t> record;
    EXPECT_EQ(link.GetLastRecord(record), kComOk);
    bridge.WithBox([&](sim::ControlBox& box) {
      EXPECT_EQ(settings, box.memory().settings());
      EXPECT_EQ(record, box.memory().records().back());
    });
    EXPECT_TRUE(link.Close());
    EXPECT_EQ(link.GetDescription(), bridge.Path() + ": Disconnected");
  }
}

TEST(ModemLinkE2e, BusyEndsEachOfThreeDialsAndReportsTheReply) {
  SimPtyBridge bridge(ModemBox(true, sim::DialResult::Busy));
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
  bridge.WithBox([](sim::ControlBox& box) { EXPECT_EQ(box.modem().dialCount(), 3); });
}

TEST(ModemLinkE2e, ConnectsOnTheLastDialAfterTwoFailures) {
  sim::BoxOptions options = ModemBox(false, sim::DialResult::NoCarrier);
  options.modem.failingDials = 2;
  SimPtyBridge bridge(options);
  CComModem link;
  link.SetPortName(bridge.Path());
  link.SetPhoneNumber("5");
  ASSERT_TRUE(link.Open()) << link.GetLastErrorText();
  int64_t t = 0;
  EXPECT_EQ(link.GetDateTime(t), kComOk);
  bridge.WithBox([](sim::ControlBox& box) { EXPECT_EQ(box.modem().dialCount(), 3); });
}

}  // namespace
}  // namespace skyh
