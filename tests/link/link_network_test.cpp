// Serial links over TCP (socket:// and rfc2217://) against servers of the
// test on the loopback addresses: name and connect errors, the bytes both
// ways, and a connection lost while open.
#include <gtest/gtest.h>
#include <netdb.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "link/ccom_modem.h"
#include "link/ccom_serial.h"
#include "link/network_line.h"
#include "link/telnet_codec.h"

namespace skyh {
namespace {

using Bytes = std::vector<uint8_t>;

// A listening socket on a loopback address.
class Listener {
 public:
  explicit Listener(const std::string& address, int backlog = 4) {
    addrinfo hints{}, *ai = nullptr;
    hints.ai_flags = AI_NUMERICHOST;
    hints.ai_socktype = SOCK_STREAM;
    if (::getaddrinfo(address.c_str(), "0", &hints, &ai) != 0) return;
    fd = ::socket(ai->ai_family, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_storage bound{};
    socklen_t len = sizeof bound;
    if (fd < 0 || ::bind(fd, ai->ai_addr, ai->ai_addrlen) != 0 || ::listen(fd, backlog) != 0 ||
        ::getsockname(fd, reinterpret_cast<sockaddr*>(&bound), &len) != 0)
      Reset();
    else  // the port sits at the same place in both address kinds
      port = ntohs(reinterpret_cast<sockaddr_in*>(&bound)->sin_port);
    ::freeaddrinfo(ai);
  }
  ~Listener() { Reset(); }
  void Reset() {
    if (fd >= 0) ::close(fd);
    fd = -1;
  }
  bool ok() const { return fd >= 0; }
  std::string Url(const char* scheme, const std::string& host) const {
    return std::string(scheme) + host + ":" + std::to_string(port);
  }
  int Accept() {
    pollfd p{fd, POLLIN, 0};
    return ::poll(&p, 1, 10000) == 1 ? ::accept4(fd, nullptr, nullptr, SOCK_CLOEXEC) : -1;
  }

  int fd = -1;
  uint16_t port = 0;
};

// Reads until `count` bytes came or 10 s passed without one.
Bytes ReadFd(int fd, size_t count) {
  Bytes got;
  uint8_t chunk[512];
  while (got.size() < count) {
    pollfd p{fd, POLLIN, 0};
    if (::poll(&p, 1, 10000) != 1) break;
    ssize_t n = ::read(fd, chunk, std::min(sizeof chunk, count - got.size()));
    if (n <= 0) break;
    got.insert(got.end(), chunk, chunk + n);
  }
  return got;
}
void WriteFd(int fd, const Bytes& bytes) { ASSERT_EQ(::write(fd, bytes.data(), bytes.size()), ssize_t(bytes.size())); }

Bytes ReadLink(CCom& link, size_t count) {
  Bytes got;
  uint8_t buffer[kLinkChunkBytes];
  for (int quiet = 0; got.size() < count && quiet < 3;) {
    uint16_t n = link.Read(buffer, 5000);
    if (n == 0) ++quiet;
    got.insert(got.end(), buffer, buffer + n);
  }
  return got;
}

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
  uint64_t NowMs() override {
    Advance(1000);
    return ManualClock::NowMs();
  }
};

TEST(NetworkLine, NamesAndConnectFailuresHaveClearTexts) {
  struct Case {
    std::string name, error;
  };
  Listener gone("127.0.0.1");
  ASSERT_TRUE(gone.ok());
  const std::string refused = gone.Url("socket://", "127.0.0.1");
  gone.Reset();
  const std::vector<Case> cases = {
      {"socket://box1", "Error port name \"socket://box1\": the port number is missing (HOST:PORT)"},
      {"rfc2217://box1:", "the port number is missing"},
      {"socket://box1:0", "the port number \"0\" is not in 1..65535"},
      {"socket://box1:65536", "the port number \"65536\" is not in 1..65535"},
      {"socket://box1:40x1", "the port number \"40x1\" is not in 1..65535"},
      {"socket://:4001", "the host is missing"},
      {"rfc2217://::1:4001", "an IPv6 address goes in brackets"},
      {"rfc2217://[::1:4001", "lacks its closing"},
      {"socket://name.invalid:4001", "Error can't resolve the host \"name.invalid\" of \"socket://name.invalid:4001\""},
      {refused, "Error can't connect to \"" + refused + "\": the connection was refused"},
  };
  for (const Case& c : cases) {
    // The serial link and the modem link both take network names.
    CComSerial serial;
    serial.SetPortName(c.name);
    EXPECT_FALSE(serial.Open());
    EXPECT_NE(serial.GetLastErrorText().find(c.error), std::string::npos)
        << c.name << ": " << serial.GetLastErrorText();
    EXPECT_EQ(serial.GetDescription(), c.name + ": Disconnected");
    CComModem modem;
    modem.SetPortName(c.name);
    modem.SetPhoneNumber("123");
    EXPECT_FALSE(modem.Open());
    EXPECT_NE(modem.GetLastErrorText().find(c.error), std::string::npos) << c.name;
  }

  // A host that takes no more connections: the connect is given up.
  Listener full("127.0.0.1", 0);
  ASSERT_TRUE(full.ok());
  int first = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_port = htons(full.port);
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  ASSERT_EQ(::connect(first, reinterpret_cast<sockaddr*>(&a), sizeof a), 0);
  RacingClock racing;
  NetworkLine line;
  line.SetClock(&racing);
  line.SetPortName(full.Url("socket://", "localhost"));
  EXPECT_FALSE(line.Open());
  EXPECT_EQ(line.LastError(), "Error can't connect to \"" + line.PortName() + "\": no answer within 5 s");
  ::close(first);

  // A server that turns us away at once, with or without a word.
  for (const std::string& word : {std::string(), std::string("Port already in use\r\n")}) {
    Listener busy("127.0.0.1");
    std::thread server([&] {
      int c = busy.Accept();
      if (c >= 0 && !word.empty()) WriteFd(c, Bytes(word.begin(), word.end()));
      if (c >= 0) ::close(c);
    });
    EventClock events;
    CComSerial link;
    link.SetClock(&events);
    link.SetPortName(busy.Url("rfc2217://", "127.0.0.1"));
    EXPECT_FALSE(link.Open());
    server.join();
    std::string expected = "Error \"" + busy.Url("rfc2217://", "127.0.0.1") + "\" closed the connection at once";
    if (!word.empty()) expected += ": \"Port already in use\"";
    EXPECT_EQ(link.GetLastErrorText(), expected);
  }

  // Telnet garbage at once.
  Listener babbler("127.0.0.1");
  std::thread server([&] {
    int c = babbler.Accept();
    if (c >= 0) WriteFd(c, {'h', 255, 7});
    ReadFd(c, 1000);  // until the line hangs up
    ::close(c);
  });
  EventClock events;
  NetworkLine garbled;
  garbled.SetClock(&events);
  garbled.SetPortName(babbler.Url("rfc2217://", "127.0.0.1"));
  EXPECT_FALSE(garbled.Open());
  server.join();
  EXPECT_EQ(garbled.LastError(), "Error \"" + garbled.PortName() + "\" sent Telnet garbage: unknown Telnet command 7");
  EXPECT_FALSE(garbled.IsOpen());
}

TEST(NetworkLine, CarriesBytesAndALostConnectionIsSilenceUntilReopened) {
  using namespace telnet;
  for (const std::string address : {"127.0.0.1", "::1"}) {
    Listener server(address);
    if (!server.ok()) {
      EXPECT_EQ(address, "::1") << "only IPv6 may be missing";
      continue;
    }
    const std::string host = address == "::1" ? "[::1]" : address;
    for (const char* scheme : {"socket://", "rfc2217://"}) {
      SCOPED_TRACE(server.Url(scheme, host));
      const bool telnet = scheme[0] == 'r';
      CComSerial link;
      link.SetPortName(server.Url(scheme, host));
      ASSERT_TRUE(link.Open()) << link.GetLastErrorText();
      EXPECT_EQ(link.GetDescription(), server.Url(scheme, host) + ": Connected");
      EXPECT_EQ(link.Line().LineBitRate(), 9600u);
      int peer = server.Accept();
      ASSERT_GE(peer, 0);
      // Our offers come first; the line's lines go with the settings.
      if (telnet) {
        EXPECT_EQ(ReadFd(peer, 15).size(), 15u);
        WriteFd(peer, {kIac, kDo, kComPort});
        EXPECT_EQ(ReadFd(peer, 10 + 6 * 7).size(), 52u);
      }
      const uint8_t request[] = {1, 0xFF, 2};
      EXPECT_TRUE(link.Write(request, 3));
      EXPECT_EQ(ReadFd(peer, telnet ? 4 : 3), telnet ? (Bytes{1, 0xFF, 0xFF, 2}) : (Bytes{1, 0xFF, 2}));
      WriteFd(peer,
              telnet ? Bytes{'a', kIac, kIac, kIac, kSb, kComPort, 107, 0, kIac, kSe, 'b'} : Bytes{'a', 0xFF, 'b'});
      EXPECT_EQ(ReadLink(link, 3), (Bytes{'a', 0xFF, 'b'}));
      if (telnet) {
        link.DiscardReceived();
        EXPECT_EQ(ReadFd(peer, 6), (Bytes{kIac, kSb, kComPort, kPurgeData, kPurgeReceived, kIac}));
      }

      // The server goes away: reads see silence, the reply wait runs out
      // (not a write failure), and a new Open connects again.
      ::close(peer);
      ASSERT_TRUE(link.Line().Network().WaitLost(10000));
      ManualClock clock;
      link.SetClock(&clock);
      EXPECT_TRUE(link.Write(request, 3));
      uint8_t buffer[kLinkChunkBytes];
      EXPECT_EQ(link.Read(buffer, 3000), 0);
      int64_t time = 0;
      EXPECT_EQ(link.GetDateTime(time), kComTimeout);
      EXPECT_TRUE(link.Close());
      link.SetClock(nullptr);
      ASSERT_TRUE(link.Open()) << link.GetLastErrorText();
      peer = server.Accept();
      ASSERT_GE(peer, 0);
      WriteFd(peer, {'o', 'k'});
      EXPECT_EQ(ReadLink(link, 2), (Bytes{'o', 'k'}));
      ::close(peer);
      EXPECT_TRUE(link.Close());
    }
  }
}

}  // namespace
}  // namespace skyh
