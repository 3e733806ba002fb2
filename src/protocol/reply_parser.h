#pragma once
// Incremental decoder of reply frames: SOH, sequence, STX, raw command byte,
// payload as hexadecimal text, ETB, CRC-16/ARC as four hexadecimal digits
// (low byte first), ETX. Fed chunk by chunk as bytes arrive.
#include <cstddef>
#include <cstdint>

namespace skyh {

class ReplyParser {
 public:
  enum Result : int {
    kComplete = 0,   // a frame ended with a matching checksum (or EOT)
    kBadChecksum = 1,
    kOverflow = 2,   // the frame outgrew the buffer; it is dropped
    kIncomplete = 3,
    kNoBuffer = 4,
  };
  static constexpr uint8_t kFlagSoh = 0x01;
  static constexpr uint8_t kFlagStx = 0x02;
  static constexpr uint8_t kFlagEtb = 0x10;

  // `buffer` receives the command byte and up to `capacity` − 1 payload
  // bytes; it must hold `capacity` + 2 bytes (the checksum is decoded into
  // it before it is compared).
  ReplyParser(uint8_t* buffer, uint16_t capacity);

  // Decodes bytes until a frame ends or the chunk is used up. `consumed`
  // (if given) tells how far it got, so that bytes after a finished frame
  // can be fed again.
  Result Feed(const uint8_t* bytes, size_t n, size_t* consumed = nullptr);

  // Decoded bytes of the frame: command byte and payload.
  uint16_t Count() const { return count_; }
  // The sequence byte of the frame being decoded.
  uint8_t Sequence() const { return sequence_; }
  // CRC-16/ARC of the frame so far (equal to the received one on kComplete).
  uint16_t Crc() const { return crc_; }
  // The last complete frame ended with EOT, so no checksum was tested.
  bool EndedByEot() const { return endedByEot_; }
  // Between a frame's SOH and its end: its bytes are still arriving.
  bool InFrame() const { return (flags_ & kFlagSoh) != 0 && !ended_ && !dropping_; }
  // The frame in progress has its command byte (buffer[0]).
  bool HasCommandByte() const { return (flags_ & kFlagStx) != 0 && count_ >= 1; }

 private:
  bool Store(uint8_t digit);

  uint8_t* buffer_;
  uint16_t capacity_;
  uint16_t count_ = 0;
  uint8_t trailerChars_ = 0;
  uint16_t crc_ = 0;
  uint8_t flags_ = 0;
  bool highNibbleNext_ = true;
  bool dropping_ = false;  // after an overflow, until the next SOH
  uint8_t sequence_ = 0;
  bool endedByEot_ = false;
  bool ended_ = false;  // the frame since the last SOH has ended
  uint32_t dirty_ = 0;  // bytes of buffer_ written since the last clean start
};

}  // namespace skyh
