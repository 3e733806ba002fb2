#pragma once
// The access-server side of a Telnet connection with the COM-PORT-OPTION:
// serial-port control over the network. It takes the client's Telnet
// commands out of the byte stream and answers them, doubles 0xFF in the data
// it sends, and keeps the line settings the client asked for. No sockets
// here: bytes in, bytes out.
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace skyh::sim {

namespace telnet {
constexpr uint8_t kIac = 255, kDont = 254, kDo = 253, kWont = 252, kWill = 251, kSb = 250, kSe = 240;
constexpr uint8_t kBinary = 0, kSuppressGoAhead = 3, kComPort = 44;
// Client subcommands; the server answers with the same number + 100.
enum ComPortCommand : uint8_t {
  kSignature = 0,
  kSetBaudRate = 1,
  kSetDataSize = 2,
  kSetParity = 3,
  kSetStopSize = 4,
  kSetControl = 5,
  kNotifyLineState = 6,
  kNotifyModemState = 7,
  kFlowSuspend = 8,
  kFlowResume = 9,
  kSetLineStateMask = 10,
  kSetModemStateMask = 11,
  kPurgeData = 12,
};
constexpr uint8_t kServerOffset = 100;
}  // namespace telnet

// What the client set; the values as the option codes them.
struct LineSettings {
  uint32_t baud = 9600;
  uint8_t dataSize = 8;
  uint8_t parity = 1;    // 1 none, 2 odd, 3 even, 4 mark, 5 space
  uint8_t stopSize = 1;  // 1 one, 2 two, 3 one and a half
  uint8_t flow = 1;      // 1 none, 2 XON/XOFF, 3 hardware, 17..19 DCD/DTR/DSR
  uint8_t inboundFlow = 14;
  bool dtr = true, rts = true, breakOn = false;
  // Bits on the line per character (start, data, parity, stop).
  double BitsPerCharacter() const;
  std::string Text() const;  // "9600 8N1"
};

class ComPortServer {
 public:
  // Data bytes from the client, Telnet removed, in order with the requests below.
  std::function<void(const uint8_t* data, size_t size)> onData;
  // PURGE-DATA: 1 the buffer toward the client, 2 the one toward the line, 3 both.
  std::function<void(uint8_t which)> onPurge;
  // SET-BAUDRATE with a new rate.
  std::function<void(const LineSettings&)> onBaud;

  // The client's bytes; returns the Telnet answers to send back.
  std::vector<uint8_t> FromClient(const uint8_t* data, size_t size);
  // Data toward the client: 0xFF doubled and, once the option is agreed, a
  // NOTIFY-MODEMSTATE after every `notifyEvery` data bytes (0: never).
  std::vector<uint8_t> ToClient(const uint8_t* data, size_t size);

  void SetNotifyEvery(size_t bytes) { notifyEvery_ = bytes; }
  bool comPortAgreed() const { return remote_[telnet::kComPort]; }
  bool baudSet() const { return baudSet_; }
  const LineSettings& settings() const { return settings_; }

 private:
  enum class State { Data, Iac, Option, Sub, SubIac };
  void Negotiate(uint8_t verb, uint8_t option, std::vector<uint8_t>& answer);
  void SubNegotiation(std::vector<uint8_t>& answer);
  uint8_t Control(uint8_t value);
  static void AnswerSub(uint8_t code, const std::vector<uint8_t>& value, std::vector<uint8_t>& answer);

  State state_ = State::Data;
  uint8_t verb_ = 0;
  std::vector<uint8_t> sub_;
  bool subTooLong_ = false;
  bool baudSet_ = false;
  bool remote_[256] = {};  // the client's WILL we agreed to
  bool local_[256] = {};   // our WILL the client asked for
  LineSettings settings_;
  uint8_t modemStateMask_ = 0xFF;
  size_t notifyEvery_ = 0, sinceNotify_ = 0;
};

}  // namespace skyh::sim
