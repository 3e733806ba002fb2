// The simulator's Telnet COM-PORT-OPTION face, seen from a raw socket: the
// answers to negotiation and subnegotiation, escaping both ways.
// (Notifications in the middle of replies, purges and a dropped connection
// are met by the command-line tool's network retrieval.)
#include <arpa/inet.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <thread>

#include "box_server.h"
#include "com_port_server.h"
#include "support/test_common.h"
#include "wire_helpers.h"

namespace skyh::sim {
namespace {

using test::Bytes;
using namespace telnet;

Bytes Text(const std::string& s) { return Bytes(s.begin(), s.end()); }

Bytes Sb(uint8_t command, const Bytes& value) {
  Bytes out = {kIac, kSb, kComPort, command};
  for (uint8_t b : value) {
    out.push_back(b);
    if (b == kIac) out.push_back(kIac);
  }
  out.insert(out.end(), {kIac, kSe});
  return out;
}

TEST(ComPortFace, AnswersNegotiationAndSubnegotiationAsTheTableSays) {
  BoxOptions options;
  options.faults.echoRequests = true;  // the box hands data back: escaping both ways
  options.baud = 115200;               // a modelled line speed, which the host's settings replace
  ControlBox box(options);
  BoxServer server(box);
  uint16_t port = 0;
  std::string error;
  ASSERT_TRUE(server.ListenTcp(0, port, error)) << error;
  server.SpeakComPortOption(0);
  std::atomic<bool> stop{false};
  std::thread serving([&] { server.Run(stop); });
  const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
  const std::shared_ptr<void> ender(nullptr, [&](void*) {
    stop = true;
    serving.join();
    ::close(fd);
  });
  sockaddr_in a{.sin_family = AF_INET, .sin_port = htons(port), .sin_addr = {htonl(INADDR_LOOPBACK)}, .sin_zero = {}};
  ASSERT_EQ(::connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a), 0);
  // Exactly `count` bytes, or fewer when the server closes or stays quiet long.
  auto read = [fd](size_t count) {
    Bytes got;
    pollfd p{fd, POLLIN, 0};
    for (uint8_t b; got.size() < count && ::poll(&p, 1, 10000) > 0 && ::read(fd, &b, 1) == 1;) got.push_back(b);
    return got;
  };
  struct Row {
    const char* what;
    Bytes send, answer;
  };
  // One connection, in order: each answer is read whole, so a stray or a
  // missing byte shows in the row where it happens or in the next one.
  const Row rows[] = {
      {"option before agreement", Sb(kSignature, {}), {}},
      {"client offers the option", {kIac, kWill, kComPort}, {kIac, kDo, kComPort}},
      {"offered again: no answer", Bytes{kIac, kWill, kComPort} + Sb(kSignature, {}),
       Sb(kSignature + kServerOffset, Text("skyharvester-sim"))},
      {"binary both ways", {kIac, kWill, kBinary, kIac, kDo, kBinary}, {kIac, kDo, kBinary, kIac, kWill, kBinary}},
      {"suppress go-ahead", {kIac, kDo, kSuppressGoAhead}, {kIac, kWill, kSuppressGoAhead}},
      {"unknown options refused",
       {kIac, kWill, 24, kIac, kDo, 1, kIac, kDo, kComPort},
       {kIac, kDont, 24, kIac, kWont, 1, kIac, kWont, kComPort}},
      {"binary off, once", {kIac, kDont, kBinary, kIac, kDont, kBinary, kIac, kWont, 24}, {kIac, kWont, kBinary}},
      {"baud rate", Sb(kSetBaudRate, {0, 0, 0x25, 0x80}), Sb(kSetBaudRate + kServerOffset, {0, 0, 0x25, 0x80})},
      {"baud with 0xFF bytes", Sb(kSetBaudRate, {0, 1, 0xFF, 0xFF}),
       Sb(kSetBaudRate + kServerOffset, {0, 1, 0xFF, 0xFF})},
      {"baud asked", Sb(kSetBaudRate, {0, 0, 0, 0}), Sb(kSetBaudRate + kServerOffset, {0, 1, 0xFF, 0xFF})},
      {"data size", Sb(kSetDataSize, {7}), Sb(kSetDataSize + kServerOffset, {7})},
      {"data size out of range", Sb(kSetDataSize, {9}), Sb(kSetDataSize + kServerOffset, {7})},
      {"parity even", Sb(kSetParity, {3}), Sb(kSetParity + kServerOffset, {3})},
      {"stop bits 2, 1, 2", Sb(kSetStopSize, {2}) + Sb(kSetStopSize, {1}) + Sb(kSetStopSize, {2}),
       Sb(kSetStopSize + kServerOffset, {2}) + Sb(kSetStopSize + kServerOffset, {1}) +
           Sb(kSetStopSize + kServerOffset, {2})},
      {"no flow control", Sb(kSetControl, {1}), Sb(kSetControl + kServerOffset, {1})},
      {"DTR off, then asked", Sb(kSetControl, {9}) + Sb(kSetControl, {7}),
       Sb(kSetControl + kServerOffset, {9}) + Sb(kSetControl + kServerOffset, {9})},
      {"inbound flow set, then asked", Sb(kSetControl, {16}) + Sb(kSetControl, {13}),
       Sb(kSetControl + kServerOffset, {16}) + Sb(kSetControl + kServerOffset, {16})},
      {"line state mask", Sb(kSetLineStateMask, {0x10}), Sb(kSetLineStateMask + kServerOffset, {0x10})},
      {"modem state mask", Sb(kSetModemStateMask, {0x01}), Sb(kSetModemStateMask + kServerOffset, {0x01})},
      {"purge both, purge nonsense", Sb(kPurgeData, {3}) + Sb(kPurgeData, {9}), Sb(kPurgeData + kServerOffset, {3})},
      {"garbage is swallowed",
       Bytes{kIac, 1, kIac, kSe, kIac, kSb, 24, 1, kIac, kSe} + Bytes{kIac, kSb, kComPort, kSetBaudRate} +
           Bytes(100, 0x41) + Bytes{kIac, kSe},
       {}},
      {"too long by an escaped 0xFF", Sb(kSetDataSize, Bytes(62, 8) + Bytes{kIac}), {}},
      {"0xFF in data both ways", {'A', kIac, kIac, 'B', kIac, 241 /* NOP */, 'C'}, {'A', kIac, kIac, 'B', 'C'}},
      {"client's signature needs no answer", Sb(kSignature, {'x'}) + Sb(kSetDataSize, {8}),
       Sb(kSetDataSize + kServerOffset, {8})},
  };
  for (const Row& row : rows) {
    ASSERT_EQ(::write(fd, row.send.data(), row.send.size()), static_cast<ssize_t>(row.send.size()));
    EXPECT_EQ(read(row.answer.size()), row.answer) << row.what;
  }
  const LineSettings s = server.lineSettings();
  EXPECT_EQ(s.Text(), "131071 8E2");
  EXPECT_FALSE(s.dtr);
  EXPECT_DOUBLE_EQ(server.Inspect()->msPerByte(), 12 * 1000.0 / 0x1FFFF);  // 8E2: 12 bits
  EXPECT_EQ(server.Inspect()->counters().commands, 0);
}

}  // namespace
}  // namespace skyh::sim
