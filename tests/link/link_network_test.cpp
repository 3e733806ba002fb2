// Serial links over TCP (socket:// and rfc2217://): the name and connect
// errors. (The bytes both ways, garbage from the server and a connection
// lost in the middle of a walk are met by the command-line tool's network
// retrieval and the link's run through another port server; escaping by the
// Telnet codec's tests.)
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <thread>

#include "link/ccom_modem.h"
#include "link/ccom_serial.h"
#include "link/network_line.h"
#include "support/test_common.h"

namespace skyh {
namespace {

// A listening socket on 127.0.0.1.
struct Listener {
  explicit Listener(int backlog = 4) : fd(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0)) {
    socklen_t len = sizeof address;
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (::bind(fd, reinterpret_cast<sockaddr*>(&address), len) == 0 && ::listen(fd, backlog) == 0 &&
        ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &len) == 0)
      port = ntohs(address.sin_port);
  }
  ~Listener() { ::close(fd); }
  std::string Url(const char* scheme, const std::string& host = "127.0.0.1") const {
    return std::string(scheme) + host + ":" + std::to_string(port);
  }
  int Accept() {
    pollfd p{fd, POLLIN, 0};
    return ::poll(&p, 1, 10000) == 1 ? ::accept4(fd, nullptr, nullptr, SOCK_CLOEXEC) : -1;
  }

  int fd;
  sockaddr_in address{};
  uint16_t port = 0;
};

// Waits for what Open watches for, in real time, up to a generous bound:
// the test waits for the server's move instead of guessing how long it takes.
class EventClock : public SystemClock {
 public:
  bool WaitFor(std::condition_variable& signal, std::unique_lock<std::mutex>& lock, uint32_t,
               const std::function<bool()>& ready) override {
    return signal.wait_for(lock, std::chrono::seconds(10), ready);
  }
};

// A clock that runs a second ahead at every look.
class RacingClock : public ManualClock {
 public:
  uint64_t NowMs() override { return Advance(1000), ManualClock::NowMs(); }
};

TEST(NetworkLine, NamesAndConnectFailuresHaveClearTexts) {
  auto gone = std::make_unique<Listener>();
  ASSERT_NE(gone->port, 0);
  const std::string refused = gone->Url("socket://");
  gone.reset();
  const std::vector<std::pair<std::string, std::string>> cases = {
      {"socket://box1", "Error port name \"socket://box1\": the port number is missing (HOST:PORT)"},
      {"rfc2217://box1:", "the port number is missing"},
      {"socket://box1:0", "the port number \"0\" is not in 1..65535"},
      {"socket://box1:65536", "the port number \"65536\" is not in 1..65535"},
      {"socket://box1:40x1", "the port number \"40x1\" is not in 1..65535"},
      {"socket://:4001", "the host is missing"},
      {"rfc2217://::1:4001", "an IPv6 address goes in brackets"},
      {"rfc2217://[::1:4001", "lacks its closing"},
      {"socket://[::1]4001", "\":PORT\" must follow the IPv6 address"},
      {"socket://[::1]", "the port number is missing"},
      {"socket://name.invalid:4001", "Error can't resolve the host \"name.invalid\" of \"socket://name.invalid:4001\""},
      {refused, "Error can't connect to \"" + refused + "\": the connection was refused"},
  };
  for (const auto& [name, error] : cases) {
    // The serial link and the modem link both take network names.
    CComSerial serial;
    serial.SetPortName(name);
    EXPECT_FALSE(serial.Open());
    EXPECT_NE(serial.GetLastErrorText().find(error), std::string::npos) << name << ": " << serial.GetLastErrorText();
    EXPECT_EQ(serial.GetDescription(), name + ": Disconnected");
    CComModem modem;
    modem.SetPortName(name);
    modem.SetPhoneNumber("123");
    EXPECT_TRUE(!modem.Open() && modem.GetLastErrorText().find(error) != std::string::npos) << name;
  }

  // A host that takes no more connections: the connect is given up.
  Listener full(0);
  ASSERT_NE(full.port, 0);
  int first = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  ASSERT_EQ(::connect(first, reinterpret_cast<sockaddr*>(&full.address), sizeof full.address), 0);
  RacingClock racing;
  NetworkLine line;
  line.SetClock(&racing);
  line.SetPortName(full.Url("socket://", "localhost"));
  EXPECT_FALSE(line.Open());
  EXPECT_EQ(line.LastError(), "Error can't connect to \"" + line.PortName() + "\": no answer within 5 s");
  ::close(first);

  // A server that turns us away at once with a word. (Without one: the
  // command-line tool's network tests.)
  Listener busy;
  std::thread server([&] {
    const int c = busy.Accept();
    EXPECT_EQ(::write(c, "Busy\r\n", 6), 6);
    ::close(c);
  });
  EventClock events;
  CComSerial link;
  link.SetClock(&events);
  link.SetPortName(busy.Url("rfc2217://"));
  EXPECT_FALSE(link.Open());
  server.join();
  EXPECT_EQ(link.GetLastErrorText(),
            "Error \"" + busy.Url("rfc2217://") + "\" closed the connection at once: \"Busy\"");
}

// More than the socket's buffers hold: the send waits for room instead of
// taking a full buffer for a lost connection.
TEST(NetworkLine, AFullSendBufferWaitsForTheReader) {
  Listener slow;
  int small = 4096;
  ASSERT_EQ(::setsockopt(slow.fd, SOL_SOCKET, SO_RCVBUF, &small, sizeof small), 0);
  const std::vector<uint8_t> chunk(60000, 0x5A);
  constexpr int kChunks = 200;
  size_t received = 0;
  std::thread server([&] {
    const int c = slow.Accept();
    uint8_t buffer[1024];
    for (ssize_t n; received < chunk.size() * kChunks && (n = ::read(c, buffer, sizeof buffer)) > 0;) received += size_t(n);
    ::close(c);
  });
  NetworkLine line;
  line.SetPortName(slow.Url("socket://"));
  ASSERT_TRUE(line.Open());
  for (int i = 0; i < kChunks; ++i) EXPECT_TRUE(line.Write(chunk.data(), uint16_t(chunk.size())));
  line.Close();  // the rest is still delivered, then the end
  server.join();
  EXPECT_EQ(received, chunk.size() * kChunks);
}

}  // namespace
}  // namespace skyh
