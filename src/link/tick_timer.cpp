#include "link/tick_timer.h"

namespace skyh {

TickTimer::TickTimer(MonotonicClock& clock) : clock_(clock), startMs_(clock.NowMs()) {}

uint64_t TickTimer::TicksSoFar() const {
  uint64_t now = clock_.NowMs();
  uint64_t sinceStart = now > startMs_ ? now - startMs_ : 0;
  return sinceStart / kTickMs + 1;
}

uint32_t TickTimer::ElapsedMs() const {
  uint64_t ms = (TicksSoFar() - ticksAtReset_) * kTickMs;
  return ms > UINT32_MAX ? UINT32_MAX : static_cast<uint32_t>(ms);
}

bool TickTimer::Expired(uint32_t limitMs) {
  uint64_t ticks = TicksSoFar();
  if ((ticks - ticksAtReset_) * kTickMs < limitMs) return false;
  ticksAtReset_ = ticks;
  return true;
}

void TickTimer::Restart() {
  startMs_ = clock_.NowMs();
  ticksAtReset_ = 0;
}

}  // namespace skyh
