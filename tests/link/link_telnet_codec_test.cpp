// The Telnet side of an rfc2217:// line, without sockets: escaping both
// ways, the answers to the server's negotiation, subnegotiations over read
// boundaries and in the middle of data, and garbage.
#include "link/telnet_codec.h"
#include "support/test_common.h"

namespace skyh {
namespace {

using namespace telnet;
using Bytes = std::vector<uint8_t>;

Bytes Cat(std::initializer_list<Bytes> parts) {
  Bytes all;
  for (const Bytes& p : parts) all.insert(all.end(), p.begin(), p.end());
  return all;
}
Bytes Sb(const Bytes& body) { return Cat({{kIac, kSb, kComPort}, body, {kIac, kSe}}); }

// The line settings that follow the server's consent to the option.
const Bytes kSettings = Cat({Sb({kSetBaudRate, 0, 0, 0x25, 0x80}), Sb({kSetDataSize, 8}), Sb({kSetParity, kParityNone}),
                             Sb({kSetStopSize, kStopBitsOne}), Sb({kSetControl, kControlNoFlow})});

TEST(TelnetCodec, DecodesAndAnswersFromTheTable) {
  struct Case {
    const char* what;
    std::vector<Bytes> reads;
    Bytes answers;
    std::string data = {};
    std::string error = {};  // empty: the stream stays good
  };
  const std::vector<Case> cases = {
      {"IAC IAC is one 0xFF", {{'a', kIac, kIac, 'b'}}, {}, "a\377b"},
      {"IAC IAC split over two reads", {{'a', kIac}, {kIac, 'b'}}, {}, "a\377b"},
      {"consent to our requests is not answered; the settings follow DO COM-PORT",
       {{kIac, kDo, kComPort, kIac, kWill, kBinary, kIac, kDo, kBinary, kIac, kWill, kSuppressGoAhead}},
       kSettings},
      {"an offer of the server's own is accepted or refused once each",
       {{kIac, kDo, 1, kIac, kWill, 1, kIac, kWill, 24, kIac, kDo, 24}},
       {kIac, kWont, 1, kIac, kDont, 1, kIac, kDont, 24, kIac, kWont, 24}},
      {"answers are never answered, nor a repeated consent",
       {{kIac, kWill, kBinary, kIac, kWill, kBinary, kIac, kWont, 1, kIac, kDont, 24, kIac, kDont, kComPort, kIac,
         kDont, kComPort}},
       {}},
      {"an option withdrawn after consent is acknowledged once",
       {{kIac, kWill, kBinary, kIac, kWont, kBinary, kIac, kWont, kBinary}},
       {kIac, kDont, kBinary}},
      {"notifications in the middle of data, split anywhere",
       {{'x', kIac, kSb, kComPort, 106},
        {0x60, kIac},
        {kSe, 'y', kIac, kSb, kComPort, 107, kIac},
        {kIac, kIac, kSe, 'z'}},
       {},
       "xyz"},
      {"NOP, GA and a stray SE change nothing", {{'a', kIac, 241, kIac, 249, kIac, kSe, 'b'}}, {}, "ab"},
      {"an unknown command byte", {{'a', kIac, 7, 'b'}}, {}, "a", "unknown Telnet command 7"},
      {"a subnegotiation without an end", {Cat({{kIac, kSb, kComPort}, Bytes(100, 1)})}, {}, "", "longer than 64"},
      {"a command inside a subnegotiation", {{kIac, kSb, kComPort, 106, kIac, 'q'}}, {}, "", "inside a subneg"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    TelnetCodec codec;
    Bytes offers, data, answers;
    codec.Start(offers);
    bool ok = true;
    for (const Bytes& read : c.reads) ok = codec.Feed(read.data(), read.size(), data, answers) && ok;
    EXPECT_EQ(std::string(data.begin(), data.end()), c.data);
    EXPECT_EQ(answers, c.answers);
    EXPECT_EQ(ok, c.error.empty());
    EXPECT_NE(codec.Error().find(c.error), std::string::npos) << codec.Error();
    if (!ok) {
      // Nothing is decoded after garbage, however good it looks.
      data.clear();
      EXPECT_FALSE(codec.Feed(reinterpret_cast<const uint8_t*>("ok"), 2, data, answers));
      EXPECT_TRUE(data.empty());
    }
  }
}

TEST(TelnetCodec, OffersEscapesAndControlsTheLine) {
  Bytes out;
  const Bytes line = {1, kIac, 2, kIac, kIac};
  TelnetCodec::Escape(line.data(), line.size(), out);
  EXPECT_EQ(out, (Bytes{1, kIac, kIac, 2, kIac, kIac, kIac, kIac}));

  TelnetCodec codec;
  out.clear();
  codec.Start(out);
  EXPECT_EQ(out, (Bytes{kIac, kWill, kComPort, kIac, kWill, kBinary, kIac, kDo, kBinary, kIac, kWill, kSuppressGoAhead,
                        kIac, kDo, kSuppressGoAhead}));
  // Before the server takes the option, the lines and a purge wait or drop.
  out.clear();
  codec.SetDtr(false, out);
  codec.SetRts(true, out);
  codec.Purge(out);
  EXPECT_TRUE(out.empty());
  Bytes data;
  const Bytes consent = {kIac, kDo, kComPort};
  ASSERT_TRUE(codec.Feed(consent.data(), consent.size(), data, out));
  EXPECT_EQ(out, Cat({kSettings, Sb({kSetControl, kControlDtrOff}), Sb({kSetControl, kControlRtsOn})}));
  out.clear();
  codec.SetDtr(true, out);
  codec.Purge(out);
  EXPECT_EQ(out, Cat({Sb({kSetControl, kControlDtrOn}), Sb({kPurgeData, kPurgeReceived})}));

  // A baud rate with a 0xFF byte is escaped inside the subnegotiation.
  TelnetCodec odd(0x0000FF00);
  out.clear();
  odd.Start(out);
  out.clear();
  ASSERT_TRUE(odd.Feed(consent.data(), consent.size(), data, out));
  EXPECT_EQ(Bytes(out.begin(), out.begin() + 10),
            (Bytes{kIac, kSb, kComPort, kSetBaudRate, 0, 0, kIac, kIac, 0, kIac}));
}

}  // namespace
}  // namespace skyh
