// Time per exchange over a pseudo-terminal to the simulated box, the part of
// it spent in the serial link, and the CPU a wait for a silent box costs.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <stdlib.h>
#include <unistd.h>

#include <atomic>
#include <ctime>
#include <string>
#include <thread>

#include "box_server.h"
#include "control_box.h"
#include "link/ccom_serial.h"

namespace {

using namespace skyh;

sim::ControlBox MakeBox() {
  sim::ControlBox box;
  box.memory().SetSettings(sim::MakeRecord(sim::kSettingsRecordType, 0, sim::Bytes(200, 5)));
  for (int i = 0; i < 100; ++i) {
    box.memory().Append(sim::MakeRecord(0x11, sim::PackTime(1704067200 + 60 * i), sim::Bytes(120, 9)));
  }
  return box;
}

// The box served on a pseudo-terminal by the simulator's server thread.
class PtyBox {
 public:
  PtyBox() : box(MakeBox()) {
    std::string error;
    if (server.OpenPseudoTerminal(path, error)) serving = std::thread([this] { server.Run(stop); });
  }
  ~PtyBox() {
    stop = true;
    if (serving.joinable()) serving.join();
  }
  std::string path;

 private:
  sim::ControlBox box;
  sim::BoxServer server{box};
  std::atomic<bool> stop{false};
  std::thread serving;
};

// The same box called directly: the exchange without any link.
class DirectPump : public Transport {
 public:
  bool Open() override { return true; }
  void Close() override {}
  bool Write(const uint8_t* data, uint16_t length) override {
    box.Receive(data, length);
    std::vector<uint8_t> out = box.TakeAllOutput();
    pending.insert(pending.end(), out.begin(), out.end());
    return true;
  }
  uint16_t Read(uint8_t* buffer, uint16_t size, uint32_t) override {
    uint16_t n = uint16_t(std::min<size_t>(pending.size(), size));
    std::copy_n(pending.begin(), n, buffer);
    pending.erase(pending.begin(), pending.begin() + n);
    return n;
  }
  void Purge() override { pending.clear(); }
  std::string Description(bool) override { return "direct"; }

 private:
  sim::ControlBox box = MakeBox();
  std::vector<uint8_t> pending;
};

void Exchange(benchmark::State& state, CCom& link) {
  std::vector<uint8_t> record;
  for (auto _ : state) {
    if (link.GetLastRecord(record) != ComResult::kOk) state.SkipWithError("exchange failed");
  }
  state.counters["reply_bytes"] = double(record.size());
}

void BM_ExchangeOverPty(benchmark::State& state) {
  PtyBox box;
  CComSerial link;
  link.SetPortName(box.path);
  if (!link.Open()) {
    state.SkipWithError(link.GetLastErrorText().c_str());
    return;
  }
  Exchange(state, link);
}
BENCHMARK(BM_ExchangeOverPty)->Unit(benchmark::kMicrosecond);

void BM_ExchangeWithoutLink(benchmark::State& state) {
  DirectPump pump;
  CCom link(pump);
  link.Open();
  Exchange(state, link);
}
BENCHMARK(BM_ExchangeWithoutLink)->Unit(benchmark::kMicrosecond);

double CpuSeconds() {
  timespec ts{};
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
  return double(ts.tv_sec) + double(ts.tv_nsec) * 1e-9;
}

// A Read on a silent line: real time passes, CPU must not. Nobody serves
// the terminal, so the process CPU is the link's alone.
void BM_SilentWaitCpu(benchmark::State& state) {
  int master = posix_openpt(O_RDWR | O_NOCTTY);
  grantpt(master);
  unlockpt(master);
  CComSerial link;
  link.SetPortName(ptsname(master));
  if (!link.Open()) {
    state.SkipWithError(link.GetLastErrorText().c_str());
    close(master);
    return;
  }
  uint8_t buffer[kLinkChunkBytes];
  double cpu = 0;
  for (auto _ : state) {
    double before = CpuSeconds();
    benchmark::DoNotOptimize(link.Read(buffer, 500));
    cpu += CpuSeconds() - before;
  }
  state.counters["cpu_ms_per_500ms_wait"] = cpu * 1000 / double(state.iterations());
  link.Close();
  close(master);
}
BENCHMARK(BM_SilentWaitCpu)->Unit(benchmark::kMillisecond)->Iterations(4);

// Open and Close: the receive thread starts and stops.
void BM_OpenClose(benchmark::State& state) {
  PtyBox box;
  CComSerial link;
  link.SetPortName(box.path);
  for (auto _ : state) {
    if (!link.Open()) state.SkipWithError("open failed");
    link.Close();
  }
}
BENCHMARK(BM_OpenClose)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
