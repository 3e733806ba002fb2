#include "box_frame.h"

#include "sim_crc16.h"

namespace skyh::sim {
namespace {

constexpr uint8_t kSoh = 0x01, kStx = 0x02, kEtx = 0x03, kEot = 0x04, kEscape = 0x05, kEtb = 0x17, kSync = 0x55;

int HexValue(uint8_t c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

const char kHexDigits[] = "0123456789ABCDEF";

}  // namespace

void HostFrameDecoder::Reset() {
  state_ = State::Idle;
  haveSequence_ = false;
  payload_.clear();
  trailerCount_ = 0;
}

void HostFrameDecoder::Drop() {
  ++malformed_;
  Reset();
}

void HostFrameDecoder::Feed(const uint8_t* data, size_t size, std::vector<HostFrame>& out) {
  for (size_t i = 0; i < size; ++i) FeedByte(data[i], out);
}

void HostFrameDecoder::FeedByte(uint8_t b, std::vector<HostFrame>& out) {
  switch (state_) {
    case State::Idle:
      if (b == kSoh) {
        state_ = State::AfterSoh;
        haveSequence_ = false;
      } else if (b == kSync) {
        state_ = State::RawStart;
      }
      return;
    case State::RawStart:
      if (b == kSync) {
        state_ = State::Raw;
        payload_.clear();
      } else if (b == kSoh) {
        state_ = State::AfterSoh;
        haveSequence_ = false;
      } else {
        state_ = State::Idle;
      }
      return;
    case State::Raw:
      if (b == kEscape) {
        state_ = State::RawEscape;
      } else if (b == kEot) {
        HostFrame f;
        f.kind = HostFrame::Kind::Raw;
        uint8_t sum = 0;
        for (uint8_t x : payload_) sum = static_cast<uint8_t>(sum + x);
        f.checksumOk = !payload_.empty() && sum == 0;
        if (!payload_.empty()) payload_.pop_back();
        f.payload = std::move(payload_);
        out.push_back(std::move(f));
        Reset();
      } else if (payload_.size() >= kMaxPayload) {
        Drop();
      } else {
        payload_.push_back(b);
      }
      return;
    case State::RawEscape:
      if (payload_.size() >= kMaxPayload) {
        Drop();
        return;
      }
      payload_.push_back(b);
      state_ = State::Raw;
      return;
    case State::AfterSoh:
      if (b == kSoh) {
        haveSequence_ = false;
      } else if (b == kStx) {
        if (!haveSequence_) {
          Drop();
          return;
        }
        state_ = State::Command;
      } else {
        // Only the last byte before STX is the sequence number.
        sequence_ = b;
        haveSequence_ = true;
      }
      return;
    case State::Command:
      if (b == kSoh || b == kStx || b == kEtb || b == kEtx) {
        Drop();
        if (b == kSoh) state_ = State::AfterSoh;
        return;
      }
      command_ = b;
      crc_ = BoxCrc16Byte(BoxCrc16Byte(0, sequence_), command_);
      payload_.clear();
      highNibble_ = true;
      state_ = State::Payload;
      return;
    case State::Payload: {
      if (b == kEtb) {
        if (!highNibble_) {
          Drop();
          return;
        }
        trailerCount_ = 0;
        state_ = State::Trailer;
        return;
      }
      if (b == kSoh) {
        Drop();
        state_ = State::AfterSoh;
        return;
      }
      int v = HexValue(b);
      if (v < 0 || payload_.size() >= kMaxPayload) {
        Drop();
        return;
      }
      crc_ = BoxCrc16Byte(crc_, b);
      if (highNibble_) {
        pending_ = static_cast<uint8_t>(v << 4);
      } else {
        payload_.push_back(static_cast<uint8_t>(pending_ | v));
      }
      highNibble_ = !highNibble_;
      return;
    }
    case State::Trailer: {
      if (trailerCount_ < 4) {
        if (HexValue(b) < 0) {
          Drop();
          if (b == kSoh) state_ = State::AfterSoh;
          return;
        }
        trailer_[trailerCount_++] = b;
        return;
      }
      if (b != kEtx) {
        Drop();
        if (b == kSoh) state_ = State::AfterSoh;
        return;
      }
      int low = HexValue(trailer_[0]) * 16 + HexValue(trailer_[1]);
      int high = HexValue(trailer_[2]) * 16 + HexValue(trailer_[3]);
      HostFrame f;
      f.kind = HostFrame::Kind::Command;
      f.sequence = sequence_;
      f.command = command_;
      f.checksumOk = static_cast<uint16_t>(low | (high << 8)) == crc_;
      f.payload = std::move(payload_);
      out.push_back(std::move(f));
      Reset();
      return;
    }
  }
}

std::vector<uint8_t> EncodeReplyFrame(uint8_t sequence, uint8_t command, const uint8_t* payload, size_t size) {
  std::vector<uint8_t> frame;
  frame.reserve(10 + 2 * size);
  frame.push_back(kSoh);
  frame.push_back(sequence);
  frame.push_back(kStx);
  frame.push_back(command);
  uint16_t crc = BoxCrc16Byte(BoxCrc16Byte(0, sequence), command);
  auto put = [&](uint8_t c, bool covered) {
    frame.push_back(c);
    if (covered) crc = BoxCrc16Byte(crc, c);
  };
  for (size_t i = 0; i < size; ++i) {
    put(static_cast<uint8_t>(kHexDigits[payload[i] >> 4]), true);
    put(static_cast<uint8_t>(kHexDigits[payload[i] & 15]), true);
  }
  uint16_t sum = crc;
  frame.push_back(kEtb);
  put(static_cast<uint8_t>(kHexDigits[(sum >> 4) & 15]), false);
  put(static_cast<uint8_t>(kHexDigits[sum & 15]), false);
  put(static_cast<uint8_t>(kHexDigits[(sum >> 12) & 15]), false);
  put(static_cast<uint8_t>(kHexDigits[(sum >> 8) & 15]), false);
  frame.push_back(kEtx);
  return frame;
}

}  // namespace skyh::sim
