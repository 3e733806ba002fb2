// CPU time of one exchange in the engine: encode the request, decode a reply
// carrying a 200-byte record. The link hands back a prepared reply at once,
// so only the engine's own work is measured.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "link/ccom.h"
#include "protocol/crc16.h"

namespace {

using skyh::CCom;

std::vector<uint8_t> ReplyFrame(uint8_t command, const std::vector<uint8_t>& payload) {
  std::string covered;
  covered += static_cast<char>(0x21);
  covered += static_cast<char>(command);
  char hex[3];
  for (uint8_t b : payload) {
    std::snprintf(hex, sizeof hex, "%02X", b);
    covered += hex;
  }
  uint16_t crc = skyh::Crc16Arc(reinterpret_cast<const uint8_t*>(covered.data()), covered.size());
  std::vector<uint8_t> frame{0x01, 0x21, 0x02};
  for (size_t i = 1; i < covered.size(); ++i) frame.push_back(static_cast<uint8_t>(covered[i]));
  frame.push_back(0x17);
  std::snprintf(hex, sizeof hex, "%02X", crc & 0xFF);
  frame.insert(frame.end(), hex, hex + 2);
  std::snprintf(hex, sizeof hex, "%02X", crc >> 8);
  frame.insert(frame.end(), hex, hex + 2);
  frame.push_back(0x03);
  return frame;
}

// In-memory link that answers every written frame with one prepared reply.
class LoopbackLink : public CCom {
 public:
  explicit LoopbackLink(std::vector<uint8_t> reply) : reply_(std::move(reply)) {}
  bool Write(const uint8_t*, uint16_t length) override {
    written_ += length;
    pending_ = reply_.size();
    return true;
  }
  // Hands the reply back in chunks of at most one Read's worth.
  uint16_t Read(uint8_t* buffer, uint32_t) override {
    size_t n = pending_ < skyh::kLinkChunkBytes ? pending_ : skyh::kLinkChunkBytes;
    std::memcpy(buffer, reply_.data() + (reply_.size() - pending_), n);
    pending_ -= n;
    return static_cast<uint16_t>(n);
  }
  bool Open() override {
    connected = 1;
    return true;
  }
  bool Close() override { connected = 0; return true; }
  uint32_t GetDefaultTimeout() override { return 3000; }
  std::string GetDescription() override { return "loopback"; }
  void DiscardReceived() override { pending_ = 0; }
  uint64_t written_ = 0;

 private:
  std::vector<uint8_t> reply_;
  size_t pending_ = 0;
};

std::vector<uint8_t> Record(size_t n) {
  std::vector<uint8_t> r(n);
  for (size_t i = 0; i < n; ++i) r[i] = static_cast<uint8_t>(i * 31 + 7);
  return r;
}

void BM_RecordExchange(benchmark::State& state) {
  const std::vector<uint8_t> record = Record(static_cast<size_t>(state.range(0)));
  LoopbackLink link(ReplyFrame(0xC4, record));
  std::vector<uint8_t> got;
  got.reserve(record.size());
  for (auto _ : state) {
    if (link.GetPreviousRecord(got) != skyh::kComOk || got.size() != record.size())
      state.SkipWithError("exchange failed");
    benchmark::DoNotOptimize(got.data());
  }
  state.SetItemsProcessed(state.iterations());
  state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(record.size()));
}
BENCHMARK(BM_RecordExchange)->Arg(200)->Arg(16383)->Unit(benchmark::kMicrosecond);

void BM_WriteCodeFrame(benchmark::State& state) {
  LoopbackLink link(ReplyFrame(0x23, {}));
  std::vector<uint8_t> block(2051, 0x5A);
  for (auto _ : state) {
    if (link.WriteCode(block.data(), static_cast<uint16_t>(block.size())) != skyh::kComOk)
      state.SkipWithError("exchange failed");
  }
}
BENCHMARK(BM_WriteCodeFrame)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
