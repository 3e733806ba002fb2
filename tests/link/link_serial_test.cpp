// The serial port and the serial link over pseudo-terminals. (Reads, waits
// and purges on the link run in every end-to-end exchange.)
#include <fcntl.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include "link/ccom_serial.h"
#include "link/serial_port.h"
#include "support/pty_peer.h"
#include "support/test_common.h"

namespace skyh {
namespace {

using test::PtyPeer;

size_t ThreadCount() {
  using std::filesystem::directory_iterator;
  return static_cast<size_t>(std::distance(directory_iterator("/proc/self/task"), directory_iterator()));
}

TEST(SerialPort, OpensByPathOrLinkExclusivelyAndMovesRawBytes) {
  PtyPeer peer;
  ASSERT_TRUE(peer.ok());
  test::TempDir dir;
  const std::string link = dir / "box";
  std::filesystem::create_symlink(peer.SlavePath(), link);

  SerialPort port;
  ASSERT_TRUE(port.OpenDevice(link));
  ASSERT_TRUE(port.Configure(9600));
  // A second opener, through the other name, is refused while it is open.
  SerialPort second;
  EXPECT_FALSE(second.OpenDevice(peer.SlavePath()));

  ASSERT_TRUE(port.StartReceiveThread());
  // Raw both ways: no echo, no translation of CR, LF or control bytes.
  std::vector<uint8_t> all(256);
  for (int i = 0; i < 256; ++i) all[size_t(i)] = uint8_t(i);
  EXPECT_TRUE(port.Write(all.data(), 256));
  EXPECT_EQ(peer.Read(256, 5000), all);
  ASSERT_TRUE(peer.Write(all));
  ASSERT_TRUE(port.WaitReceivedTotal(256, 10000));
  std::vector<uint8_t> got(256);
  EXPECT_EQ(port.rxQueue.GetBlock(got.data(), 256), 256);
  EXPECT_EQ(got, all);
  EXPECT_EQ(peer.Read(1, 0).size(), 0u);

  port.Close();
  EXPECT_TRUE(second.OpenDevice(peer.SlavePath())) << "closed, the port is free";
}

TEST(CComSerial, OpenErrorsCarryTheirTexts) {
  CComSerial link;
  EXPECT_FALSE(link.Open());
  EXPECT_EQ(link.GetLastErrorText(), "Error port name is empty");
  EXPECT_FALSE(link.IsConnected());

  link.SetPortName("ttyDOESNOTEXIST7");
  EXPECT_FALSE(link.Open());
  EXPECT_EQ(link.GetLastErrorText(), "Error can't open port \"ttyDOESNOTEXIST7\"");
  EXPECT_EQ(link.GetDescription(), "ttyDOESNOTEXIST7: Disconnected");

  // A port held by another program says so.
  PtyPeer peer;
  const std::string busy = "Error can't open port \"" + peer.SlavePath() + "\": it is busy (in use by another program)";
  auto refusedAsBusy = [&] { return !link.Open() && link.GetLastErrorText() == busy; };
  SerialPort elsewhere;
  ASSERT_TRUE(elsewhere.OpenDevice(peer.SlavePath()));
  link.SetPortName(peer.SlavePath());
  EXPECT_TRUE(refusedAsBusy()) << link.GetLastErrorText();
  elsewhere.Close();

  // Another program's lock on the device, without an exclusive terminal.
  int other = ::open(peer.SlavePath().c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
  ASSERT_GE(other, 0);
  ASSERT_EQ(::flock(other, LOCK_EX | LOCK_NB), 0);
  EXPECT_TRUE(refusedAsBusy()) << link.GetLastErrorText();
  ::close(other);

  // A program that made the terminal exclusive (root passes that check, so
  // it is only seen by an ordinary user).
  if (::geteuid() != 0) {
    other = ::open(peer.SlavePath().c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
    ASSERT_GE(other, 0);
    ASSERT_EQ(::ioctl(other, TIOCEXCL), 0);
    EXPECT_TRUE(refusedAsBusy()) << link.GetLastErrorText();
    ::ioctl(other, TIOCNXCL);
    ::close(other);
  }

  EXPECT_TRUE(link.Open());
  EXPECT_EQ(link.GetLastErrorText(), "");
  EXPECT_EQ(link.GetDescription(), peer.SlavePath() + ": Connected");
  EXPECT_TRUE(link.Close());
  EXPECT_EQ(link.GetDescription(), peer.SlavePath() + ": Disconnected");
}

TEST(CComSerial, OpenLowersDtrAndRaisesRtsBeforeTheReceiveThreadStarts) {
  PtyPeer peer;
  CComSerial link;
  link.SetPortName(peer.SlavePath());
  struct Call {
    ModemLine line;
    bool on, receiving;
  };
  std::vector<Call> calls;
  bool linesWork = true;
  link.Port().SetModemLineControl([&](ModemLine line, bool on) {
    calls.push_back({line, on, link.Port().ReceiveThreadRunning()});
    return linesWork;
  });
  ASSERT_TRUE(link.Open()) << link.GetLastErrorText();
  ASSERT_EQ(calls.size(), 2u);
  EXPECT_TRUE(calls[0].line == ModemLine::Dtr && !calls[0].on && !calls[0].receiving);
  EXPECT_TRUE(calls[1].line == ModemLine::Rts && calls[1].on && !calls[1].receiving);
  EXPECT_TRUE(link.Port().ReceiveThreadRunning());

  // Lines the port cannot set do not fail the open. (The real ioctls on a
  // pseudo-terminal run in every end-to-end open.)
  EXPECT_TRUE(link.Close());
  calls.clear();
  linesWork = false;
  ASSERT_TRUE(link.Open()) << link.GetLastErrorText();
  EXPECT_EQ(calls.size(), 2u);
}

TEST(CComSerial, PulledAdapterFailsWritesAndCloseStillReturns) {
  size_t threadsBefore = ThreadCount();
  {
    auto peer = std::make_unique<PtyPeer>();
    CComSerial link;
    link.SetPortName(peer->SlavePath());
    ASSERT_TRUE(link.Open());
    EXPECT_TRUE(link.Port().ReceiveThreadRunning());
    EXPECT_EQ(ThreadCount(), threadsBefore + 1);

    peer.reset();  // the line hangs up
    const uint8_t frame[] = {1, 2, 3};
    EXPECT_FALSE(link.Write(frame, 3));
    int64_t t = 0;
    EXPECT_EQ(link.GetDateTime(t), ComResult::kWriteFailed);

    EXPECT_TRUE(link.Close());
    EXPECT_FALSE(link.Port().ReceiveThreadRunning());
    EXPECT_EQ(ThreadCount(), threadsBefore);
    // The port is gone: the reconnection reports it.
    EXPECT_FALSE(link.Open());
    EXPECT_EQ(link.GetLastErrorText().rfind("Error can't open port", 0), 0u);
    PtyPeer next;
    link.SetPortName(next.SlavePath());
    ASSERT_TRUE(link.Open());
  }
  // Destroying an open link leaves no receive thread behind.
  EXPECT_EQ(ThreadCount(), threadsBefore);
}

}  // namespace
}  // namespace skyh
