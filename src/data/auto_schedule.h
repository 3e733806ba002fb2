#pragma once
// When automatic retrieval runs. The schedule is a pure function of the UTC
// time of day and the configuration; the scheduler adds the tick logic.
#include <cstdint>

#include "core/configuration.h"

namespace skyh {

// Length of the retrieval period in seconds (never 0 for a loaded configuration).
int64_t PeriodSeconds(const CConfiguration& config);

// Whether the schedule fires at `nowUtc` (seconds since 1970, UTC): the
// distance to the start time within the day is a whole number of periods.
// With "Days" and a count N it fires at the start time on days whose number
// since 1970-01-01 is a multiple of N.
bool ScheduleFires(const CConfiguration& config, int64_t nowUtc);

class AutomaticScheduler {
 public:
  struct Tick {
    bool newSecond = false;    // the clock pane needs a refresh
    bool startRun = false;     // start the automatic worker
    bool powerRequest = false; // once a minute: renew or withdraw the keep-awake request
    bool keepAwake = false;    // what the power request should say
  };

  // Called often (every 100 ms). A scheduled second that passed since the
  // last tick still fires when the gap is at most five minutes, so a busy
  // window thread does not lose a run; a larger jump (a clock change) only
  // looks at the current second. At most one run per call.
  Tick OnTick(const CConfiguration& config, int64_t nowUtc);

  int64_t LastSeen() const { return lastSeen; }

  static constexpr int64_t kMaxCatchUp = 300;

 private:
  int64_t lastSeen = 0;
};

}  // namespace skyh
