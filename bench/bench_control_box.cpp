// The simulator's cost per exchange: a whole walk of a month of demo records
// (settings, last record, previous records to the end), frames built and
// decoded on both sides in process.
#include <benchmark/benchmark.h>

#include "control_box.h"
#include "demo_instrument.h"
#include "sim_crc16.h"

using namespace skyh::sim;

namespace {

Bytes Request(uint8_t seq, uint8_t cmd) {
  static const char kHex[] = "0123456789ABCDEF";
  const uint8_t covered[2] = {seq, cmd};
  const uint16_t crc = BoxCrc16(covered, 2);
  return {0x01, seq, 0x02, cmd, 0x17, static_cast<uint8_t>(kHex[(crc >> 4) & 15]), static_cast<uint8_t>(kHex[crc & 15]),
          static_cast<uint8_t>(kHex[(crc >> 12) & 15]), static_cast<uint8_t>(kHex[(crc >> 8) & 15]), 0x03};
}

void BM_WalkMonthOfDemoRecords(benchmark::State& state) {
  DemoOptions o;
  o.startUtc = 1780272000;  // 2026-06-01
  o.days = 30;
  BoxMemory memory;
  GenerateDemoMemory(o, memory);
  int64_t exchanges = 0, bytes = 0;
  for (auto _ : state) {
    ControlBox box({}, [] { return int64_t{0}; }, [] { return int64_t{1780272000}; });
    box.memory() = memory;
    uint8_t seq = 0x21;
    auto ask = [&](uint8_t cmd) {
      box.Receive(Request(seq, cmd));
      seq = seq == 0x7F ? 0x21 : seq + 1;
      const Bytes out = box.TakeOutput();
      bytes += static_cast<int64_t>(out.size());
      ++exchanges;
      return out.size() > 3 && out[3] == (cmd | kRecordFlag);
    };
    ask(kCmdGetSettings);
    bool more = ask(kCmdGetLastRecord);
    while (more) more = ask(kCmdGetPreviousRecord);
  }
  state.counters["records"] = static_cast<double>(memory.size());
  state.counters["exchanges/s"] = benchmark::Counter(static_cast<double>(exchanges), benchmark::Counter::kIsRate);
  state.counters["reply bytes/s"] = benchmark::Counter(static_cast<double>(bytes), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_WalkMonthOfDemoRecords)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
