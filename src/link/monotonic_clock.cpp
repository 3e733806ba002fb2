#include "link/monotonic_clock.h"

#include <atomic>
#include <chrono>

namespace skyh {

uint64_t SystemClock::NowMs() {
  using namespace std::chrono;
  return static_cast<uint64_t>(
      duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count());
}

bool SystemClock::WaitFor(std::condition_variable& signal, std::unique_lock<std::mutex>& lock,
                          uint32_t timeoutMs, const std::function<bool()>& ready) {
  return signal.wait_for(lock, std::chrono::milliseconds(timeoutMs), ready);
}

uint64_t ManualClock::NowMs() {
  std::lock_guard<std::mutex> guard(mutex_);
  return nowMs_;
}

bool ManualClock::WaitFor(std::condition_variable&, std::unique_lock<std::mutex>&,
                          uint32_t timeoutMs, const std::function<bool()>& ready) {
  if (ready()) return true;
  Advance(timeoutMs);
  return ready();
}

void ManualClock::Advance(uint64_t ms) {
  std::lock_guard<std::mutex> guard(mutex_);
  nowMs_ += ms;
}

namespace {
SystemClock g_systemClock;
std::atomic<MonotonicClock*> g_testClock{nullptr};
}  // namespace

MonotonicClock& CurrentClock() {
  MonotonicClock* clock = g_testClock.load();
  return clock ? *clock : g_systemClock;
}

void SetClockForTesting(MonotonicClock* clock) { g_testClock.store(clock); }

}  // namespace skyh
