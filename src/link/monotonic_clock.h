#pragma once
// The time source behind every stopwatch and every wait for received bytes.
// Tests replace it (process-wide or per link) so that time-outs pass at once
// instead of taking seconds.
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>

namespace skyh {

class MonotonicClock {
 public:
  virtual ~MonotonicClock() = default;
  // Milliseconds since an arbitrary fixed start; never goes backwards.
  virtual uint64_t NowMs() = 0;
  // Waits on `signal` (whose mutex `lock` holds) until `ready()` is true or
  // `timeoutMs` have passed on this clock; returns ready().
  virtual bool WaitFor(std::condition_variable& signal, std::unique_lock<std::mutex>& lock,
                       uint32_t timeoutMs, const std::function<bool()>& ready) = 0;
};

// std::chrono::steady_clock and real waits.
class SystemClock : public MonotonicClock {
 public:
  uint64_t NowMs() override;
  bool WaitFor(std::condition_variable& signal, std::unique_lock<std::mutex>& lock,
               uint32_t timeoutMs, const std::function<bool()>& ready) override;
};

// A clock that only moves when told to. A wait that is not satisfied at
// once never blocks: the clock jumps by the whole time-out, as if the
// silence had passed. Meant for single-threaded tests.
class ManualClock : public MonotonicClock {
 public:
  explicit ManualClock(uint64_t startMs = 1000000) : nowMs_(startMs) {}
  uint64_t NowMs() override;
  bool WaitFor(std::condition_variable& signal, std::unique_lock<std::mutex>& lock,
               uint32_t timeoutMs, const std::function<bool()>& ready) override;
  void Advance(uint64_t ms);

 private:
  std::mutex mutex_;
  uint64_t nowMs_;
};

// The process-wide clock: the system clock unless a test installed another.
MonotonicClock& CurrentClock();
// Installs `clock` for the whole process (null restores the system clock).
// The clock must outlive its use.
void SetClockForTesting(MonotonicClock* clock);

}  // namespace skyh
