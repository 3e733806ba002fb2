// The modem link's checks, time-outs and reply reading on a pseudo-terminal.
#include "link/ccom_modem.h"
#include "link/serial_port.h"
#include "support/pty_peer.h"
#include "support/test_common.h"

namespace skyh {
namespace {

using test::PtyPeer;

TEST(CComModem, ChecksComeBeforeThePortIsTouched) {
  PtyPeer peer;
  CComModem link;
  link.SetPhoneNumber("123");
  EXPECT_FALSE(link.Open());
  EXPECT_EQ(link.GetLastErrorText(), "Error port name is empty");

  link.SetPortName(peer.SlavePath());
  link.SetPhoneNumber("");
  EXPECT_FALSE(link.Open());
  EXPECT_EQ(link.GetLastErrorText(), "Error Phone number is empty");

  link.SetPortName("ttyDOESNOTEXIST7");
  link.SetPhoneNumber("123");
  EXPECT_FALSE(link.Open());
  EXPECT_EQ(link.GetLastErrorText(), "Error can't open port \"ttyDOESNOTEXIST7\"");

  // A number that would carry a command (or anything but a dial string)
  // never reaches the modem, nor does anything before the checks pass.
  link.SetPortName(peer.SlavePath());
  for (const char* bad : {"12;ATH", "+", "1+2", "++12", " 123", "123\rATH0", "12W3", "12-34"}) {
    link.SetPhoneNumber(bad);
    EXPECT_FALSE(link.Open());
    const std::string error = link.GetLastErrorText();
    EXPECT_TRUE(error.rfind("Error Phone number \"", 0) == 0 && error.find('\r') == std::string::npos) << error;
    EXPECT_FALSE(link.Port().IsOpen());
  }
  EXPECT_EQ(peer.Read(1, 0).size(), 0u);
  for (const char* good : {"0612345678", "+33,612*#", "#31#0612", ","})
    EXPECT_TRUE(ModemDialer::IsValidPhoneNumber(good)) << good;
}

TEST(CComModem, SilentModemIsGivenUpAfterSixAttempts) {
  PtyPeer peer;
  CComModem link;
  ManualClock clock;
  link.SetClock(&clock);
  link.SetPortName(peer.SlavePath());
  link.SetPhoneNumber("0612345678");
  const uint64_t start = clock.NowMs();
  EXPECT_FALSE(link.Open());
  EXPECT_EQ(link.GetLastErrorText(), "Error no reply from modem:\n\"\"");
  EXPECT_FALSE(link.Port().IsOpen());
  // Each 500 ms wait ends at the tick that brings the count to 500, the first
  // tick counting at once: 400 ms on the clock per attempt.
  EXPECT_EQ(clock.NowMs() - start, 6u * 400u);
}

TEST(CComModem, WaitModemReplyCollectsLinesUntilTheWordOrAFinalResult) {
  PtyPeer peer;
  CComModem link;
  ManualClock clock;
  link.SetClock(&clock);
  // Open fails (silent), so open the port by hand.
  ASSERT_TRUE(link.Port().OpenDevice(peer.SlavePath()));
  ASSERT_TRUE(link.Port().Configure(9600));
  ASSERT_TRUE(link.Port().StartReceiveThread());

  auto feed = [&](const std::string& text) {
    uint64_t before = link.Port().ReceivedTotal();
    ASSERT_TRUE(peer.Write(text));
    ASSERT_TRUE(link.Port().WaitReceivedTotal(before + text.size(), 10000));
  };
  std::string reply;
  feed("\r\nNO CARRIER\r\n\r\nCONNECT 9600\r\n");
  EXPECT_FALSE(link.Dialer().WaitModemReply("CONNECT", 60000, reply));
  EXPECT_EQ(reply, "\r\nNO CARRIER\r\n");
  // The rest stays queued for the next wait.
  EXPECT_TRUE(link.Dialer().WaitModemReply("CONNECT", 60000, reply));
  EXPECT_EQ(reply, "\r\nCONNECT 9600\r\n");

  // Matching is case-sensitive; a line without its CR LF is not a line yet.
  feed("ok\r\nOK");
  EXPECT_FALSE(link.Dialer().WaitModemReply("OK", 500, reply));
  EXPECT_EQ(reply, "ok\r\n");

  feed("\r\nBUSY\r\n");
  EXPECT_FALSE(link.Dialer().SendAt("ATD1\r", "CONNECT", 60000, 0, reply));  // purged before sending
  EXPECT_EQ(reply, "");
  feed("x");
  link.Port().Close();
  EXPECT_FALSE(link.Dialer().SendAt("AT\r", "OK", 500, 5, reply));
  EXPECT_EQ(reply, "");
}

}  // namespace
}  // namespace skyh
