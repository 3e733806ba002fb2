// Any bytes fed to the reply decoder, directly and through a whole wait of
// the engine: no crash, no access outside the buffers, always a result code.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "link/ccom.h"
#include "link/monotonic_clock.h"
#include "link/transport.h"
#include "protocol/reply_parser.h"

namespace {

using namespace skyh;

// Hands the input back in chunks of the sizes the input asks for; silence
// passes at once on a manual clock.
class FuzzPump : public Transport {
 public:
  FuzzPump(const uint8_t* data, size_t size, uint8_t chunkSeed)
      : data_(data), size_(size), chunkSeed_(chunkSeed) {
    SetClock(&clock_);
  }
  bool Open() override { return true; }
  void Close() override {}
  bool Write(const uint8_t*, uint16_t) override { return true; }
  uint16_t Read(uint8_t* buffer, uint16_t size, uint32_t timeoutMs) override {
    if (pos_ >= size_) {
      clock_.Advance(timeoutMs);
      return 0;
    }
    size_t n = 1 + (chunkSeed_ * 131u + pos_) % size;
    if (n > size_ - pos_) n = size_ - pos_;
    std::memcpy(buffer, data_ + pos_, n);
    pos_ += n;
    return static_cast<uint16_t>(n);
  }
  void Purge() override {}
  std::string Description(bool) override { return "fuzz"; }

 private:
  ManualClock clock_;
  const uint8_t* data_;
  size_t size_;
  size_t pos_ = 0;
  uint8_t chunkSeed_;
};

void Check(bool ok) {
  if (!ok) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 2) return 0;
  const uint8_t mode = data[0];
  const uint8_t chunkSeed = data[1];
  data += 2;
  size -= 2;

  // The decoder alone, on a buffer of exactly its size.
  constexpr uint16_t kCapacity = 4096;
  std::unique_ptr<uint8_t[]> buffer(new uint8_t[kCapacity + 2]);
  ReplyParser parser(buffer.get(), kCapacity);
  size_t pos = 0;
  while (pos < size) {
    size_t n = 1 + (chunkSeed * 7u + pos) % 600;
    if (n > size - pos) n = size - pos;
    size_t used = 0;
    int r = parser.Feed(data + pos, n, &used);
    Check(r >= 0 && r <= 3);
    Check(used >= 1 && used <= n);
    Check(parser.Count() <= kCapacity + 2);
    if (r == ReplyParser::kComplete) Check(parser.Count() >= 1 && parser.Count() <= kCapacity);
    pos += used;
  }

  // A whole command over a link that delivers these bytes.
  FuzzPump pump(data, size, chunkSeed);
  CCom link(pump);
  std::vector<uint8_t> record;
  ComResult result;
  switch (mode % 4) {
    case 0:
      result = link.GetLastRecord(record);
      break;
    case 1:
      result = link.GetPreviousRecord(record);
      break;
    case 2: {
      uint8_t m, v;
      uint16_t block;
      int32_t keyLength = 0;
      result = link.GetBootInfo(m, block, v, record, keyLength);
      Check(keyLength >= 0 && static_cast<size_t>(keyLength) <= kMaxRecordBytes);
      break;
    }
    default: {
      uint8_t a, b, c;
      result = link.GetFirmwareVersion(a, b, c, 0);
      break;
    }
  }
  Check(result <= ComResult::kNoRecord);
  Check(record.size() <= kMaxRecordBytes);
  if (result == ComResult::kOk) Check(link.ReplyLength() >= 1 && link.ReplyLength() <= kMaxReplyBytes);
  return 0;
}
