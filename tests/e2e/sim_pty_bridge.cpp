#include "sim_pty_bridge.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <chrono>

namespace skyh::test {
namespace {

int64_t SteadyMs() {
  return std::chrono::duration_cast<std::chrono::milliseconds>(
             std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

}  // namespace

SimPtyBridge::SimPtyBridge(sim::BoxOptions options) : box(std::move(options)) {
  stopEvent = ::eventfd(0, EFD_CLOEXEC);
  server = std::thread(&SimPtyBridge::Serve, this);
}

SimPtyBridge::~SimPtyBridge() {
  uint64_t one = 1;
  (void)!::write(stopEvent, &one, sizeof one);
  server.join();
  ::close(stopEvent);
}

void SimPtyBridge::WithBox(const std::function<void(sim::ControlBox&)>& f) {
  std::lock_guard<std::mutex> guard(boxLock);
  f(box);
}

void SimPtyBridge::Serve() {
  pollfd fds[2] = {{peer.MasterFd(), POLLIN, 0}, {stopEvent, POLLIN, 0}};
  for (;;) {
    int timeout = -1;
    {
      std::lock_guard<std::mutex> guard(boxLock);
      int64_t due = box.NextOutputDueMs();
      if (due >= 0) timeout = int(std::max<int64_t>(0, due - SteadyMs()));
    }
    int n = ::poll(fds, 2, timeout);
    if (n < 0 && errno != EINTR) return;
    if (fds[1].revents) return;
    std::vector<uint8_t> out;
    {
      std::lock_guard<std::mutex> guard(boxLock);
      if (fds[0].revents & POLLIN) {
        uint8_t buffer[4096];
        ssize_t got = ::read(peer.MasterFd(), buffer, sizeof buffer);
        if (got > 0) { box.Receive(buffer, size_t(got)); if (getenv("BRIDGE_TRACE")) fprintf(stderr, "IN  %.*s\n", int(got), (const char*)buffer); }
      }
      out = box.TakeOutput();
    }
    if (!out.empty()) { if (getenv("BRIDGE_TRACE")) fprintf(stderr, "OUT %zu %.*s\n", out.size(), int(out.size()), (const char*)out.data()); peer.Write(out); }
  }
}

void FillMemory(sim::BoxMemory& memory, int count) {
  sim::Bytes settings(120);
  for (size_t i = 0; i < settings.size(); ++i) settings[i] = uint8_t(i * 7);
  memory.SetSettings(sim::MakeRecord(sim::kSettingsRecordType, sim::PackTime(2024, 1, 1, 0, 0, 0),
                                     settings));
  int64_t t = 1704067200;  // 2024-01-01
  for (int i = 0; i < count; ++i) {
    sim::Bytes body(20 + size_t(i % 40));
    for (size_t j = 0; j < body.size(); ++j) body[j] = uint8_t(i + j);
    memory.Append(sim::MakeRecord(uint8_t(0x10 + i % 4), sim::PackTime(t + 60 * i), body));
  }
}

}  // namespace skyh::test
