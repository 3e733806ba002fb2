#pragma once
// The box's side of the wire format: it splits what the host sends into
// command frames (SOH seq STX cmd hex... ETB crc ETX) and raw boot-loader
// frames (55 55 data... check 04), and it encodes its replies.
#include <cstddef>
#include <cstdint>
#include <vector>

namespace skyh::sim {

struct HostFrame {
  enum class Kind { Command, Raw };
  Kind kind = Kind::Command;
  bool checksumOk = false;       // CRC for commands, zero sum for raw frames
  uint8_t sequence = 0;          // commands only
  uint8_t command = 0;           // commands only
  std::vector<uint8_t> payload;  // decoded bytes; raw frames: data without the check byte
};

class HostFrameDecoder {
 public:
  // Feeds bytes; completed frames are appended to `out`. Malformed frames
  // (non-hex payload, odd digit count, overlong) are dropped and counted.
  void Feed(const uint8_t* data, size_t size, std::vector<HostFrame>& out);
  void Reset();
  int malformedCount() const { return malformed_; }

  // Longest accepted payload, in decoded bytes (a 2048-byte code block + address fits).
  static constexpr size_t kMaxPayload = 8192;

 private:
  enum class State { Idle, RawStart, Raw, RawEscape, AfterSoh, Command, Payload, Trailer };
  void Drop();
  void FeedByte(uint8_t b, std::vector<HostFrame>& out);

  State state_ = State::Idle;
  bool haveSequence_ = false;
  uint8_t sequence_ = 0;
  uint8_t command_ = 0;
  uint16_t crc_ = 0;
  bool highNibble_ = true;
  uint8_t pending_ = 0;
  std::vector<uint8_t> payload_;
  uint8_t trailer_[4] = {};
  int trailerCount_ = 0;
  int malformed_ = 0;
};

// A reply frame: SOH, sequence, STX, command byte, payload as upper-case hex,
// ETB, CRC low then high byte as hex, ETX.
std::vector<uint8_t> EncodeReplyFrame(uint8_t sequence, uint8_t command, const uint8_t* payload, size_t size);
inline std::vector<uint8_t> EncodeReplyFrame(uint8_t sequence, uint8_t command, const std::vector<uint8_t>& payload) {
  return EncodeReplyFrame(sequence, command, payload.data(), payload.size());
}

}  // namespace skyh::sim
