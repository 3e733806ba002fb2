#include "protocol/reply_parser.h"

#include <cstring>

#include "core/text_util.h"
#include "protocol/command_codes.h"
#include "protocol/crc16.h"

namespace skyh {

ReplyParser::ReplyParser(uint8_t* buffer, uint16_t capacity)
    : buffer_(buffer), capacity_(capacity == 0 ? 1 : capacity) {}

// Decoded bytes are counted against the buffer one by one (not the raw
// chunk length, which is twice as long), so the largest record fits. After
// ETB only the two checksum bytes may follow.
bool ReplyParser::Store(uint8_t digit) {
  if (highNibbleNext_) {
    uint32_t limit = (flags_ & kFlagEtb) ? capacity_ + 2u : capacity_;
    if (count_ >= limit) return false;
    buffer_[count_] = static_cast<uint8_t>(digit << 4);
    if (count_ >= dirty_) dirty_ = count_ + 1u;
  } else {
    buffer_[count_] = static_cast<uint8_t>(buffer_[count_] | digit);
    ++count_;
  }
  highNibbleNext_ = !highNibbleNext_;
  return true;
}

ReplyParser::Result ReplyParser::Feed(const uint8_t* bytes, size_t n, size_t* consumed) {
  if (consumed) *consumed = n;
  if (buffer_ == nullptr) {
    if (consumed) *consumed = 0;
    return kNoBuffer;
  }
  for (size_t i = 0; i < n; ++i) {
    const uint8_t b = bytes[i];
    if (dropping_ && b != kSoh) continue;
    switch (b) {
      case kSoh:
        flags_ = kFlagSoh;
        dropping_ = false;
        ended_ = false;
        break;
      case kStx:
        // A new frame starts clean: bytes past its payload read as zero,
        // not as what an earlier frame left there.
        std::memset(buffer_, 0, dirty_);
        dirty_ = 0;
        flags_ |= kFlagStx;
        count_ = 0;
        trailerChars_ = 0;
        break;
      case kEtb:
        if (flags_ & kFlagStx) {
          flags_ |= kFlagEtb;
          trailerChars_ = 0;
        }
        break;
      case kEtx:
        // A frame needs its command byte besides the two checksum bytes.
        if ((flags_ & (kFlagSoh | kFlagStx | kFlagEtb)) == (kFlagSoh | kFlagStx | kFlagEtb) &&
            trailerChars_ == 4 && count_ >= 3) {
          count_ = static_cast<uint16_t>(count_ - 2);
          uint16_t received =
              static_cast<uint16_t>(buffer_[count_] | (buffer_[count_ + 1] << 8));
          // Bytes past the payload read as zero, not as the checksum.
          buffer_[count_] = 0;
          buffer_[count_ + 1] = 0;
          if (consumed) *consumed = i + 1;
          endedByEot_ = false;
          ended_ = true;
          return received == crc_ ? kComplete : kBadChecksum;
        }
        break;
      case kEot:
        // A frame cut short by EOT is taken without a checksum, but only
        // once its command byte has arrived.
        if ((flags_ & kFlagStx) && count_ >= 1) {
          flags_ = 0;
          endedByEot_ = true;
          if (consumed) *consumed = i + 1;
          return kComplete;
        }
        flags_ = 0;
        break;
      default:
        if (flags_ == kFlagSoh) {
          crc_ = Crc16ArcByte(0, b);
          sequence_ = b;
          break;
        }
        if (count_ == 0) {
          buffer_[0] = b;
          if (dirty_ == 0) dirty_ = 1;
          count_ = 1;
          highNibbleNext_ = true;
        } else if (!Store(static_cast<uint8_t>(HexDigitValue(static_cast<char>(b))))) {
          flags_ = 0;
          dropping_ = true;
          if (consumed) *consumed = i + 1;
          return kOverflow;
        }
        if (flags_ & kFlagEtb) {
          if (trailerChars_ < 255) ++trailerChars_;
        } else {
          crc_ = Crc16ArcByte(crc_, b);
        }
        break;
    }
  }
  return kIncomplete;
}

}  // namespace skyh
