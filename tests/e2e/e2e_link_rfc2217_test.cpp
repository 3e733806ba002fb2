// The serial and the modem link over rfc2217:// through a port server
// written by others (python3-serial's), bridged to the simulated box on a
// pseudo-terminal. That server leaves some requests unanswered and sends
// modem-state notifications in the middle of the data.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string>

#include "link/ccom_modem.h"
#include "link/ccom_serial.h"
#include "sim_pty_bridge.h"

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
    std::string line;
    char c;
    pollfd p{out[0], POLLIN, 0};
    while (::poll(&p, 1, 20000) == 1 && ::read(out[0], &c, 1) == 1 && c != '\n') line += c;
    ::close(out[0]);
    if (!line.empty() && line.find_first_not_of("0123456789") == std::string::npos) port = line;
  }
  ~PortServer() {
    if (stdinFd >= 0) ::close(stdinFd);  // the server ends when its input does
    if (pid > 0) ::waitpid(pid, nullptr, 0);
  }
  bool ok() const { return !port.empty(); }
  std::string Url() const { return "rfc2217://127.0.0.1:" + port; }

 private:
  pid_t pid = -1;
  int stdinFd = -1;
  std::string port;
};

TEST(Rfc2217LinkE2e, SerialAndModemLinksThroughPythonSerialsPortServer) {
  SimPtyBridge bridge({}, [](sim::ControlBox& box) { test::FillMemory(box.memory(), 4); });
  ASSERT_TRUE(bridge.ok());
  PortServer server(bridge.Path());
  ASSERT_TRUE(server.ok()) << "python3-serial missing?";
  CComSerial link;
  link.SetPortName(server.Url());
  ASSERT_TRUE(link.Open()) << link.GetLastErrorText();
  uint8_t major = 0, minor = 0, patch = 0;
  ASSERT_EQ(link.GetFirmwareVersion(major, minor, patch, 0), kComOk);
  EXPECT_EQ(major * 10 + minor, 21);
  // A short walk, with a reconnection in the middle.
  std::vector<uint8_t> record;
  ASSERT_EQ(link.GetLastRecord(record), kComOk);
  EXPECT_EQ(record, bridge.Box()->memory().records()[3]);
  ASSERT_EQ(link.GetPreviousRecord(record), kComOk);
  EXPECT_TRUE(link.Close());
  ASSERT_TRUE(link.Open()) << link.GetLastErrorText();
  ASSERT_EQ(link.RepeatRecord(record), kComOk);
  EXPECT_EQ(record, bridge.Box()->memory().records()[2]);
  for (int i = 1; i >= 0; --i) {
    ASSERT_EQ(link.GetPreviousRecord(record), kComOk);
    EXPECT_EQ(record, bridge.Box()->memory().records()[size_t(i)]);
  }
  EXPECT_EQ(link.GetPreviousRecord(record), kComNoRecord);
  EXPECT_EQ(link.EndSession(), kComOk);
  link.Close();

  // The AT dialogue through a device server's modem port.
  sim::BoxOptions options;
  options.modem.enabled = true;
  SimPtyBridge modemBridge(options, [](sim::ControlBox& box) { test::FillMemory(box.memory(), 2); });
  ASSERT_TRUE(modemBridge.ok());
  PortServer modemServer(modemBridge.Path());
  ASSERT_TRUE(modemServer.ok());
  CComModem modem;
  modem.SetPortName(modemServer.Url());
  modem.SetPhoneNumber("0612345678");
  ASSERT_TRUE(modem.Open()) << modem.GetLastErrorText();
  EXPECT_TRUE(modemBridge.Box()->modem().connected());
  ASSERT_EQ(modem.GetLastRecord(record), kComOk);
  EXPECT_EQ(record, modemBridge.Box()->memory().records()[1]);
}

}  // namespace
}  // namespace skyh
