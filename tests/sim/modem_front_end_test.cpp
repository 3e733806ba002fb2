#include <gtest/gtest.h>

#include "control_box.h"
#include "wire_helpers.h"

namespace skyh::sim {
namespace {

using test::Bytes;

std::string Say(ControlBox& box, const std::string& text) {
  box.Receive(reinterpret_cast<const uint8_t*>(text.data()), text.size());
  Bytes out = box.TakeOutput();
  return std::string(out.begin(), out.end());
}

ControlBox MakeBox(ModemOptions m) {
  BoxOptions o;
  o.modem = m;
  o.modem.enabled = true;
  ControlBox box(o, [] { return int64_t{0}; });
  box.memory().SetSettings(test::Record(0x7C, 0, Bytes(30, 0)));
  return box;
}

TEST(ModemFrontEnd, AnswersTheSetUpDialogueWithEchoUntilATE0) {
  ControlBox box = MakeBox({});
  EXPECT_EQ(Say(box, "AT\r"), "AT\r\r\nOK\r\n");
  EXPECT_EQ(Say(box, "ATZ\r"), "ATZ\r\r\nOK\r\n");
  EXPECT_EQ(Say(box, "ATE0\r"), "ATE0\r\r\nOK\r\n");  // the echo stops after this line
  EXPECT_EQ(Say(box, "ATM0\r"), "\r\nOK\r\n");
  EXPECT_EQ(Say(box, "hello\r"), "\r\nERROR\r\n");
  // A protocol frame before the call is just noise to the modem.
  box.Receive(test::Request(0x21, 0x3E));
  EXPECT_EQ(test::Replies(box.TakeOutput()).size(), 0u);
  // The frame written right behind the dial command is the box's already.
  std::string wire = "ATD0123456789\r";
  const Bytes frame = test::Request(0x22, 0x3E);
  wire.append(frame.begin(), frame.end());
  const std::string out = Say(box, wire);
  ASSERT_EQ(out.rfind("\r\nCONNECT 9600\r\n", 0), 0u) << out;
  const test::Reply r = test::OneReply(Bytes(out.begin() + 16, out.end()));
  EXPECT_EQ(r.payload, (Bytes{2, 1, 0}));
  EXPECT_TRUE(box.modem().connected());
  // Dropping the line hangs up; ATZ restores the power-up echo.
  box.Reopen();
  EXPECT_FALSE(box.modem().connected());
  EXPECT_EQ(Say(box, "ATZ\r"), "\r\nOK\r\n");
  EXPECT_EQ(Say(box, "AT\r"), "AT\r\r\nOK\r\n");
  // No number is an error; ATDT dials too (busy, failing dials and no echo
  // are dialled by the link's end-to-end tests).
  EXPECT_EQ(Say(box, "ATD\r"), "ATD\r\r\nERROR\r\n");
  EXPECT_EQ(Say(box, "ATDT42\r"), "ATDT42\r\r\nCONNECT 9600\r\n");
}

}  // namespace
}  // namespace skyh::sim
