// Time per exchange over a pseudo-terminal to the simulated box, the part of
// it spent in the serial link, and the CPU a wait for a silent box costs.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <poll.h>
#include <stdlib.h>
#include <sys/eventfd.h>
#include <termios.h>
#include <unistd.h>

#include <ctime>
#include <mutex>
#include <string>
#include <thread>

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

// The box on the master side of a pseudo-terminal, served by a thread.
class PtyBox {
 public:
  PtyBox() : box(MakeBox()) {
    master = posix_openpt(O_RDWR | O_NOCTTY);
    grantpt(master);
    unlockpt(master);
    path = ptsname(master);
    keeper = open(path.c_str(), O_RDWR | O_NOCTTY);
    termios tio{};
    tcgetattr(keeper, &tio);
    cfmakeraw(&tio);
    tcsetattr(keeper, TCSANOW, &tio);
    stop = eventfd(0, 0);
    server = std::thread([this] { Serve(); });
  }
  ~PtyBox() {
    uint64_t one = 1;
    (void)!write(stop, &one, sizeof one);
    server.join();
    close(stop);
    close(keeper);
    close(master);
  }
  std::string path;

 private:
  void Serve() {
    pollfd fds[2] = {{master, POLLIN, 0}, {stop, POLLIN, 0}};
    uint8_t buffer[4096];
    while (poll(fds, 2, -1) > 0 && fds[1].revents == 0) {
      ssize_t got = read(master, buffer, sizeof buffer);
      if (got <= 0) continue;
      box.Receive(buffer, size_t(got));
      std::vector<uint8_t> out = box.TakeAllOutput();
      if (!out.empty()) (void)!write(master, out.data(), out.size());
    }
  }
  sim::ControlBox box;
  int master = -1, keeper = -1, stop = -1;
  std::thread server;
};

// The same box called directly: the exchange without any link.
class DirectLink : public CCom {
 public:
  bool Write(const uint8_t* data, uint16_t length) override {
    box.Receive(data, length);
    std::vector<uint8_t> out = box.TakeAllOutput();
    pending.insert(pending.end(), out.begin(), out.end());
    return true;
  }
  uint16_t Read(uint8_t* buffer, uint32_t) override {
    uint16_t n = uint16_t(std::min<size_t>(pending.size(), kLinkChunkBytes));
    std::copy_n(pending.begin(), n, buffer);
    pending.erase(pending.begin(), pending.begin() + n);
    return n;
  }
  bool Open() override { return connected = 1; }
  bool Close() override { return !(connected = 0); }
  uint32_t GetDefaultTimeout() override { return 3000; }
  std::string GetDescription() override { return "direct"; }

 private:
  sim::ControlBox box = MakeBox();
  std::vector<uint8_t> pending;
};

void Exchange(benchmark::State& state, CCom& link) {
  std::vector<uint8_t> record;
  for (auto _ : state) {
    if (link.GetLastRecord(record) != kComOk) state.SkipWithError("exchange failed");
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
  DirectLink link;
  link.Open();
  Exchange(state, link);
}
BENCHMARK(BM_ExchangeWithoutLink)->Unit(benchmark::kMicrosecond);

double CpuSeconds() {
  timespec ts{};
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
  return double(ts.tv_sec) + double(ts.tv_nsec) * 1e-9;
}

// A Read on a silent line: real time passes, CPU must not.
void BM_SilentWaitCpu(benchmark::State& state) {
  PtyBox box;
  CComSerial link;
  link.SetPortName(box.path);
  if (!link.Open()) {
    state.SkipWithError(link.GetLastErrorText().c_str());
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
