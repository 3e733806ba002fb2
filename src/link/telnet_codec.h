#pragma once
// The client's side of Telnet with the COM-PORT-OPTION (RFC 2217), without
// sockets: what the line's bytes become on the wire and back, and what we
// answer to the server's negotiation. A device server reached this way
// carries the box's serial line; we set it to 9600 8N1 without flow control.
//
// Nothing here waits for an answer: servers leave some requests unanswered,
// and the data flows whether or not they agree.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace skyh {

namespace telnet {
constexpr uint8_t kSe = 240;
constexpr uint8_t kSb = 250;
constexpr uint8_t kWill = 251;
constexpr uint8_t kWont = 252;
constexpr uint8_t kDo = 253;
constexpr uint8_t kDont = 254;
constexpr uint8_t kIac = 255;

constexpr uint8_t kBinary = 0;
constexpr uint8_t kSuppressGoAhead = 3;
constexpr uint8_t kComPort = 44;

// COM-PORT-OPTION commands of the client (the server answers with 100 more).
constexpr uint8_t kSetBaudRate = 1;
constexpr uint8_t kSetDataSize = 2;
constexpr uint8_t kSetParity = 3;
constexpr uint8_t kSetStopSize = 4;
constexpr uint8_t kSetControl = 5;
constexpr uint8_t kPurgeData = 12;

constexpr uint8_t kParityNone = 1;
constexpr uint8_t kStopBitsOne = 1;
constexpr uint8_t kControlNoFlow = 1;
constexpr uint8_t kControlDtrOn = 8;
constexpr uint8_t kControlDtrOff = 9;
constexpr uint8_t kControlRtsOn = 11;
constexpr uint8_t kControlRtsOff = 12;
// The server's receive buffer: bytes from the line not yet sent to us.
constexpr uint8_t kPurgeReceived = 1;
}  // namespace telnet

class TelnetCodec {
 public:
  // A longer subnegotiation is garbage (real ones are a few bytes).
  static constexpr size_t kMaxSubnegotiation = 64;

  explicit TelnetCodec(uint32_t baudRate = 9600) : baudRate_(baudRate) {}

  // Forgets the last connection and appends our offers to `out`.
  void Start(std::vector<uint8_t>& out);
  // Decodes received bytes: the line's bytes are appended to `data`, our
  // answers to `out`. False once the stream proved not to be Telnet (Error()
  // says why); nothing is decoded after that.
  bool Feed(const uint8_t* in, size_t size, std::vector<uint8_t>& data, std::vector<uint8_t>& out);
  const std::string& Error() const { return error_; }

  // Appends the line's bytes with every 0xFF doubled.
  static void Escape(const uint8_t* in, size_t size, std::vector<uint8_t>& out);

  // The modem lines: sent now when the server took the option, else with
  // the line settings once it does.
  void SetDtr(bool on, std::vector<uint8_t>& out);
  void SetRts(bool on, std::vector<uint8_t>& out);
  // Asks the server to drop what it received from the line and has not
  // sent yet (nothing before it took the option).
  void Purge(std::vector<uint8_t>& out);
  bool ComPortEnabled() const { return us_[telnet::kComPort] == Q::kYes; }

 private:
  // RFC 1143's states of one side of an option (we never ask to switch one
  // off); the "want" state is left by the answer, which is never answered
  // again, so negotiation cannot loop.
  enum class Q : uint8_t { kNo, kYes, kWantYes };
  enum class State : uint8_t { kData, kIac, kVerb, kSub, kSubIac, kGarbage };

  void Receive(uint8_t verb, uint8_t option, std::vector<uint8_t>& out);
  void Ask(uint8_t verb, uint8_t option, std::vector<uint8_t>& out);
  void Enabled(uint8_t option, std::vector<uint8_t>& out);
  void ComPortCommand(uint8_t command, const uint8_t* value, size_t size, std::vector<uint8_t>& out);
  bool Garbage(const std::string& why);

  uint32_t baudRate_;
  Q us_[256] = {};   // options we perform (WILL / WONT)
  Q him_[256] = {};  // options the server performs (DO / DONT)
  State state_ = State::kData;
  uint8_t verb_ = 0;
  std::vector<uint8_t> sub_;
  std::string error_;
  // The modem lines asked for: -1 not yet, else 0 or 1.
  int dtr_ = -1;
  int rts_ = -1;
};

}  // namespace skyh
