#include "core/clock_sync.h"

#include <sys/timex.h>

#include <atomic>

namespace skyh {
namespace {

std::atomic<ClockSyncFunction> g_source{nullptr};

bool KernelClockSynchronised() {
  struct timex tx {};
  tx.modes = 0;  // read only
  if (::ntp_adjtime(&tx) < 0) return false;
  return (tx.status & STA_UNSYNC) == 0;
}

}  // namespace

bool ComputerClockSynchronised() {
  ClockSyncFunction f = g_source.load();
  return f ? f() : KernelClockSynchronised();
}

void SetClockSyncFunctionForTesting(ClockSyncFunction f) { g_source.store(f); }

}  // namespace skyh
