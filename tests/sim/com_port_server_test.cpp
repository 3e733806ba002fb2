// The simulator's Telnet COM-PORT-OPTION face, seen from a raw socket: the
// answers to negotiation and subnegotiation, escaping both ways,
// notifications in the middle of data, the dropped connection, purge.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <thread>

#include "box_server.h"
#include "com_port_server.h"
#include "wire_helpers.h"

namespace skyh::sim {
namespace {

using test::Bytes;
using namespace telnet;

Bytes operator+(Bytes a, const Bytes& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

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

class ComPortFace : public ::testing::Test {
 protected:
  void Serve(const BoxOptions& options, size_t notifyEvery) {
    box = std::make_unique<ControlBox>(options);
    box->memory().SetSettings(test::Record(0x7C, 0, Bytes(30, 0)));
    for (int i = 0; i < 4; ++i) box->memory().Append(test::Record(0x11, test::Packed(2025, 5, 6, 7, i, 9), Bytes{1}));
    server = std::make_unique<BoxServer>(*box);
    std::string error;
    ASSERT_TRUE(server->ListenTcp(0, port, error)) << error;
    server->SpeakComPortOption(notifyEvery);
    serving = std::thread([this] { server->Run(stop); });
  }
  void TearDown() override {
    stop = true;
    if (serving.joinable()) serving.join();
    if (fd >= 0) ::close(fd);
  }
  void Connect() {
    if (fd >= 0) ::close(fd);
    fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(port);
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ASSERT_EQ(::connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a), 0);
  }
  void Send(const Bytes& b) { ASSERT_EQ(::write(fd, b.data(), b.size()), static_cast<ssize_t>(b.size())); }
  // Exactly `count` bytes, or fewer when the server closes or stays quiet long.
  Bytes Read(size_t count) {
    Bytes got;
    while (got.size() < count) {
      pollfd p{fd, POLLIN, 0};
      if (::poll(&p, 1, 10000) <= 0) break;
      uint8_t buf[512];
      ssize_t n = ::read(fd, buf, std::min(sizeof buf, count - got.size()));
      closed = n == 0;
      if (n <= 0) break;
      got.insert(got.end(), buf, buf + n);
    }
    return got;
  }
  // Reads one reply frame (ending in ETX) and takes the notifications out of it.
  Bytes ReadFrame(int& notifications) {
    Bytes raw, frame;
    const Bytes note = Sb(kNotifyModemState + kServerOffset, {0xB0});
    while (raw.empty() || raw.back() != 0x03) {
      Bytes b = Read(1);
      if (b.empty()) break;
      raw.push_back(b[0]);
    }
    notifications = 0;
    for (size_t i = 0; i < raw.size();) {
      if (std::equal(note.begin(), note.end(), raw.begin() + i, raw.begin() + std::min(raw.size(), i + note.size()))) {
        ++notifications;
        i += note.size();
      } else {
        frame.push_back(raw[i++]);
      }
    }
    return frame;
  }

  std::unique_ptr<ControlBox> box;
  std::unique_ptr<BoxServer> server;
  uint16_t port = 0;
  int fd = -1;
  bool closed = false;  // the last Read met the end of the stream
  std::atomic<bool> stop{false};
  std::thread serving;
};

TEST_F(ComPortFace, AnswersNegotiationAndSubnegotiationAsTheTableSays) {
  BoxOptions options;
  options.faults.echoRequests = true;  // the box hands data back: escaping both ways
  options.baud = 115200;               // a modelled line speed, which the host's settings replace
  Serve(options, 0);
  Connect();
  const Bytes longSub = [] {
    Bytes b = {kIac, kSb, kComPort, kSetBaudRate};
    b.insert(b.end(), 100, 0x41);
    b.insert(b.end(), {kIac, kSe});
    return b;
  }();
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
      {"two stop bits", Sb(kSetStopSize, {2}), Sb(kSetStopSize + kServerOffset, {2})},
      {"no flow control", Sb(kSetControl, {1}), Sb(kSetControl + kServerOffset, {1})},
      {"DTR off, then asked", Sb(kSetControl, {9}) + Sb(kSetControl, {7}),
       Sb(kSetControl + kServerOffset, {9}) + Sb(kSetControl + kServerOffset, {9})},
      {"inbound flow asked", Sb(kSetControl, {13}), Sb(kSetControl + kServerOffset, {14})},
      {"line state mask", Sb(kSetLineStateMask, {0x10}), Sb(kSetLineStateMask + kServerOffset, {0x10})},
      {"purge both, purge nonsense", Sb(kPurgeData, {3}) + Sb(kPurgeData, {9}), Sb(kPurgeData + kServerOffset, {3})},
      {"garbage is swallowed", Bytes{kIac, 1, kIac, kSe, kIac, kSb, 24, 1, kIac, kSe} + longSub, {}},
      {"0xFF in data both ways", {'A', kIac, kIac, 'B', kIac, 241 /* NOP */, 'C'}, {'A', kIac, kIac, 'B', 'C'}},
      {"client's signature needs no answer", Sb(kSignature, {'x'}) + Sb(kSetDataSize, {8}),
       Sb(kSetDataSize + kServerOffset, {8})},
  };
  for (const Row& row : rows) {
    Send(row.send);
    EXPECT_EQ(Read(row.answer.size()), row.answer) << row.what;
  }
  const LineSettings s = server->lineSettings();
  EXPECT_EQ(s.baud, 0x1FFFFu);
  EXPECT_EQ(s.Text(), "131071 8E2");
  EXPECT_FALSE(s.dtr);
  EXPECT_DOUBLE_EQ(server->Inspect()->msPerByte(), 12 * 1000.0 / 0x1FFFF);  // 8E2: 12 bits
  EXPECT_EQ(box->counters().commands, 0);
}

TEST_F(ComPortFace, NotificationsMidFrameAndADroppedConnection) {
  BoxOptions options;
  options.faults.hangUpAfterReplies = 2;
  Serve(options, 7);
  Connect();
  Send({kIac, kWill, kComPort});
  ASSERT_EQ(Read(3), (Bytes{kIac, kDo, kComPort}));

  // Reply 1 with a notification after every 7 bytes: a frame once they are taken out.
  int notes = 0;
  Send(test::Request(0x21, 0x43));
  test::Reply r = test::OneReply(ReadFrame(notes));
  EXPECT_TRUE(r.checksumOk && r.payload == box->memory().records()[3]);
  EXPECT_GE(notes, 2);

  // A mask without the modem's lines stops them. Reply 2, then the line drops.
  Send(Sb(kSetModemStateMask, {0x01}));
  ASSERT_EQ(Read(7), Sb(kSetModemStateMask + kServerOffset, {0x01}));
  Send(test::Request(0x22, 0x44));
  r = test::OneReply(ReadFrame(notes));
  EXPECT_TRUE(r.checksumOk && r.payload == box->memory().records()[2]);
  EXPECT_EQ(notes, 0);
  EXPECT_TRUE(Read(1).empty() && closed);  // closed by the server

  // The next connection negotiates afresh and the walk goes on from where it was.
  Connect();
  Send(Bytes{kIac, kWill, kComPort} + test::Request(0x23, 0x44));
  ASSERT_EQ(Read(3), (Bytes{kIac, kDo, kComPort}));
  r = test::OneReply(ReadFrame(notes));
  EXPECT_TRUE(r.checksumOk && r.payload == box->memory().records()[1]);
  EXPECT_GE(notes, 2);  // the mask was the old connection's
}

TEST_F(ComPortFace, PurgeDropsTheAnswersNotYetSent) {
  BoxOptions options;
  options.faults.answerDelayMs = 600000;
  Serve(options, 0);
  Connect();
  // The data size answer shows the request before it has reached the box.
  Send(Bytes{kIac, kWill, kComPort} + test::Request(0x21, 0x43) + Sb(kSetDataSize, {8}));
  ASSERT_EQ(Read(10), (Bytes{kIac, kDo, kComPort} + Sb(kSetDataSize + kServerOffset, {8})));
  EXPECT_GE(server->Inspect()->NextOutputDueMs(), 0);
  Send(Sb(kPurgeData, {1}));
  ASSERT_EQ(Read(7), Sb(kPurgeData + kServerOffset, {1}));
  EXPECT_EQ(server->Inspect()->NextOutputDueMs(), -1);
}

}  // namespace
}  // namespace skyh::sim
