// CPU time of one exchange in the engine: encode the request, decode a reply
// carrying a 200-byte record. The link hands back a prepared reply at once,
// so only the engine's own work is measured.
#include <benchmark/benchmark.h>

#include <cstring>
#include <string>
#include <vector>

#include "link/ccom.h"
#include "box_frame.h"
#include "link/transport.h"

namespace {

using skyh::CCom;

// In-memory transport that answers every written frame with one prepared reply.
class LoopbackPump : public skyh::Transport {
 public:
  explicit LoopbackPump(uint8_t command, const std::vector<uint8_t>& payload)
      : reply_(skyh::sim::EncodeReplyFrame(0x21, command, payload)) {}
  bool Open() override { return true; }
  void Close() override {}
  bool Write(const uint8_t*, uint16_t length) override {
    written_ += length;
    pending_ = reply_.size();
    return true;
  }
  // Hands the reply back in chunks of at most one Read's worth.
  uint16_t Read(uint8_t* buffer, uint16_t size, uint32_t) override {
    size_t n = pending_ < size ? pending_ : size;
    std::memcpy(buffer, reply_.data() + (reply_.size() - pending_), n);
    pending_ -= n;
    return static_cast<uint16_t>(n);
  }
  void Purge() override { pending_ = 0; }
  std::string Description(bool) override { return "loopback"; }
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
  LoopbackPump pump(0xC4, record);
  CCom link(pump);
  std::vector<uint8_t> got;
  got.reserve(record.size());
  for (auto _ : state) {
    if (link.GetPreviousRecord(got) != skyh::ComResult::kOk || got.size() != record.size())
      state.SkipWithError("exchange failed");
    benchmark::DoNotOptimize(got.data());
  }
  state.SetItemsProcessed(state.iterations());
  state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(record.size()));
}
BENCHMARK(BM_RecordExchange)->Arg(200)->Arg(16383)->Unit(benchmark::kMicrosecond);

void BM_WriteCodeFrame(benchmark::State& state) {
  LoopbackPump pump(0x23, {});
  CCom link(pump);
  std::vector<uint8_t> block(2051, 0x5A);
  for (auto _ : state) {
    if (link.WriteCode(block.data(), static_cast<uint16_t>(block.size())) != skyh::ComResult::kOk)
      state.SkipWithError("exchange failed");
  }
}
BENCHMARK(BM_WriteCodeFrame)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
