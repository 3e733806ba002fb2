// The serial and the modem link against the simulated control box on a
// pseudo-terminal, directly and over rfc2217:// through a port server written
// by others (python3-serial's), which leaves some requests unanswered and
// sends modem-state notifications in the middle of the data.
#include <fcntl.h>
#include <poll.h>
#include <sys/wait.h>
#include <unistd.h>

#include "link/ccom_modem.h"
#include "link/ccom_serial.h"
#include "sim_pty_bridge.h"
#include "support/test_common.h"

namespace skyh {
namespace {

using test::SimPtyBridge;

// tests/support/rfc2217_port_server.py on `device`, ended with the object.
class PortServer {
 public:
  explicit PortServer(const std::string& device) {
    int in[2], out[2];
    if (::pipe2(in, O_CLOEXEC) != 0 || ::pipe2(out, O_CLOEXEC) != 0) return;
    const std::string script = std::string(SKYH_SOURCE_DIR) + "/tests/support/rfc2217_port_server.py";
    pid = ::fork();
    if (pid == 0) {
      ::dup2(in[0], 0);
      ::dup2(out[1], 1);
      ::execl("/usr/bin/python3", "python3", script.c_str(), device.c_str(), static_cast<char*>(nullptr));
      ::_exit(127);
    }
    ::close(in[0]);
    ::close(out[1]);
    stdinFd = in[1];
    char c;
    pollfd p{out[0], POLLIN, 0};
    while (::poll(&p, 1, 20000) == 1 && ::read(out[0], &c, 1) == 1 && c != '\n') port += c;
    ::close(out[0]);
  }
  ~PortServer() {
    if (stdinFd >= 0) ::close(stdinFd);  // the server ends when its input does
    if (pid > 0) ::waitpid(pid, nullptr, 0);
  }
  bool ok() const { return !port.empty() && port.find_first_not_of("0123456789") == std::string::npos; }
  std::string Url() const { return "rfc2217://127.0.0.1:" + port; }

 private:
  pid_t pid = -1;
  int stdinFd = -1;
  std::string port;
};

auto Filled(int count) {
  return [count](sim::ControlBox& box) { test::FillMemory(box.memory(), count); };
}

TEST(SerialLinkE2e, WalksEveryRecordAcrossAReconnectDirectlyAndThroughAPortServer) {
  SimPtyBridge bridge({}, Filled(300));
  ASSERT_TRUE(bridge.ok());
  const auto expected = bridge.Box()->memory().records();
  auto walk = [&](const std::string& port) {
    SCOPED_TRACE(port);
    CComSerial link;
    link.SetPortName(port);
    ASSERT_TRUE(link.Open()) << link.GetLastErrorText();
    std::vector<std::vector<uint8_t>> got(1);
    ComResult result = link.GetLastRecord(got[0]);
    ASSERT_EQ(result, ComResult::kOk);
    std::vector<uint8_t> record;
    while ((result = link.GetPreviousRecord(record)) == ComResult::kOk) {
      got.push_back(record);
      if (got.size() == 150) {
        const uint8_t sequenceBefore = link.Sequence();
        ASSERT_TRUE(link.Close());
        ASSERT_TRUE(link.Open()) << link.GetLastErrorText();
        EXPECT_EQ(link.Sequence(), sequenceBefore);  // runs on across the reconnect
      }
    }
    EXPECT_EQ(result, ComResult::kNoRecord);
    ASSERT_EQ(got.size(), expected.size());
    for (size_t i = 0; i < got.size(); ++i) ASSERT_EQ(got[i], expected[expected.size() - 1 - i]) << "record " << i;
    EXPECT_EQ(link.EndSession(), ComResult::kOk);
  };
  walk(bridge.Path());
  EXPECT_EQ(bridge.Box()->counters().retransmissions, 0);
  {
    PortServer server(bridge.Path());  // gone before the next user of the terminal
    ASSERT_TRUE(server.ok()) << "python3-serial missing?";
    walk(server.Url());
  }
  CComSerial link;  // an empty memory answers no bytes
  link.SetPortName(bridge.Path());
  std::vector<uint8_t> record;
  ASSERT_TRUE(link.Open() && link.ClearFlash() == ComResult::kOk);
  EXPECT_EQ(link.GetLastRecord(record), ComResult::kOk);
  EXPECT_TRUE(record.empty());

  // The AT dialogue through a device server's modem port.
  SimPtyBridge modemBridge(test::BoxWith([](auto& o) { o.modem.enabled = true; }), Filled(2));
  ASSERT_TRUE(modemBridge.ok());
  PortServer modemServer(modemBridge.Path());
  ASSERT_TRUE(modemServer.ok());
  CComModem modem;
  modem.SetPortName(modemServer.Url());
  modem.SetPhoneNumber("0612345678");
  ASSERT_TRUE(modem.Open()) << modem.GetLastErrorText();
  ASSERT_EQ(modem.GetLastRecord(record), ComResult::kOk);
  EXPECT_EQ(record, modemBridge.Box()->memory().records()[1]);
}

sim::BoxOptions ModemBox(bool echo, sim::DialResult dial, int failingDials = -1) {
  sim::BoxOptions options;
  options.modem = {.enabled = true, .echo = echo, .dialResult = dial, .failingDials = failingDials};
  return options;
}

TEST(ModemLinkE2e, DialsWithAndWithoutEchoRunsTheProtocolAndRedialsAfterClose) {
  for (bool echo : {true, false}) {
    SCOPED_TRACE(echo ? "echo" : "no echo");
    // Without echo the first two dials find no carrier: the third connects.
    SimPtyBridge bridge(ModemBox(echo, sim::DialResult::NoCarrier, echo ? 0 : 2), Filled(3));
    ASSERT_TRUE(bridge.ok());
    auto box = [&bridge] { return bridge.Box(); };
    CComModem link;
    link.SetPortName(bridge.Path());
    link.SetPhoneNumber(CleanPhoneNumber("+33 612 345 678"));  // as the configuration dialog keeps it
    ASSERT_TRUE(link.Open()) << link.GetLastErrorText();
    EXPECT_EQ(link.GetDescription(), bridge.Path() + ": Connected");
    EXPECT_EQ(box()->modem().dialCount(), echo ? 1 : 3);

    std::vector<uint8_t> settings, record;
    EXPECT_EQ(link.GetSettings(settings), ComResult::kOk);
    EXPECT_EQ(settings, box()->memory().settings());
    EXPECT_TRUE(link.Close());
    EXPECT_EQ(link.GetDescription(), bridge.Path() + ": Disconnected");
    // Reconnecting redials: the modem hung up when the line closed.
    ASSERT_TRUE(link.Open()) << link.GetLastErrorText();
    EXPECT_EQ(link.GetLastRecord(record), ComResult::kOk);
    EXPECT_EQ(record, box()->memory().records().back());
    EXPECT_EQ(box()->modem().dialCount(), echo ? 2 : 4);
  }
}

TEST(ModemLinkE2e, BusyEndsEachOfThreeDialsAndACommandInTheNumberNeverReachesTheModem) {
  sim::BoxOptions options = ModemBox(true, sim::DialResult::Busy);
  SimPtyBridge bridge(options);
  ASSERT_TRUE(bridge.ok());
  CComModem link;
  link.SetPortName(bridge.Path());
  link.SetPhoneNumber("0612345678");
  EXPECT_FALSE(link.Open());
  const std::string error = link.GetLastErrorText();
  EXPECT_EQ(error.rfind("Error no reply from: \"0612345678\": \n\"", 0), 0u) << error;
  EXPECT_TRUE(error.ends_with("BUSY|0D||0A|\"")) << error;
  EXPECT_FALSE(link.Port().IsOpen());
  EXPECT_EQ(bridge.Box()->modem().dialCount(), 3);

  options.modem.dialResult = sim::DialResult::Connect;
  SimPtyBridge answering(options);
  ASSERT_TRUE(answering.ok());
  test::TempDir home;
  test::WriteCliIni(home, "[communication]\ntype=2\nport=" + answering.Path() + "\nphone_number=0612345678\n");
  test::CliRun bad = test::RunCli(home, "time get --phone '12;ATH'");
  EXPECT_NE(bad.exitCode, 0);
  EXPECT_TRUE(test::Has(bad.err, "Error Phone number \"12;ATH\" is invalid")) << bad.err;
  EXPECT_EQ(answering.Box()->modem().dialCount(), 0);
  test::CliRun good = test::RunCli(home, "time get --phone '+33,612345678'");
  EXPECT_EQ(good.exitCode, 0) << good.err;
  EXPECT_EQ(answering.Box()->modem().dialCount(), 1);
}

}  // namespace
}  // namespace skyh
