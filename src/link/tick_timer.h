#pragma once
// A stopwatch counting elapsed milliseconds in 100 ms ticks. The first tick
// counts at once, so elapsedMs is 100 right after construction, 200 from
// 100 ms on, and so on. Ticks are derived from a monotonic clock instead of
// a timer thread, which gives the same counts without a thread per watch.
#include <cstdint>

#include "link/monotonic_clock.h"

namespace skyh {

class TickTimer {
 public:
  static constexpr uint32_t kTickMs = 100;

  // Starts counting on `clock` (the process-wide clock by default).
  explicit TickTimer(MonotonicClock& clock = CurrentClock());

  // Milliseconds counted since construction or the last expiry.
  uint32_t ElapsedMs() const;
  // False while ElapsedMs() < limitMs; otherwise restarts the count from 0
  // and returns true.
  bool Expired(uint32_t limitMs);
  // Counts again from now, as if just constructed.
  void Restart();

 private:
  uint64_t TicksSoFar() const;

  MonotonicClock& clock_;
  uint64_t startMs_;
  uint64_t ticksAtReset_ = 0;
};

}  // namespace skyh
