#include "data/auto_schedule.h"

namespace skyh {

int64_t PeriodSeconds(const CConfiguration& config) {
  static const int hours[] = {1, 2, 3, 4, 6, 8, 12};
  if (config.retrievalPeriod < 7) return 3600LL * hours[config.retrievalPeriod];
  return 86400LL * (config.periodDays ? config.periodDays : 1);
}

bool ScheduleFires(const CConfiguration& config, int64_t nowUtc) {
  if (!config.automaticEnabled || nowUtc < 0) return false;
  const int64_t t = nowUtc % 86400;
  const int64_t s = config.StartSeconds();
  const int64_t d = t > s ? t - s : s - t;
  const int64_t period = PeriodSeconds(config);
  if (period <= 0 || d % period != 0) return false;
  if (config.retrievalPeriod >= 7) {
    const int64_t days = config.periodDays ? config.periodDays : 1;
    return (nowUtc / 86400) % days == 0;
  }
  return true;
}

AutomaticScheduler::Tick AutomaticScheduler::OnTick(const CConfiguration& config, int64_t now) {
  Tick tick;
  if (now == lastSeen) return tick;
  tick.newSecond = true;
  const int64_t previous = lastSeen;
  lastSeen = now;

  const bool catchUp = previous > 0 && now > previous && now - previous <= kMaxCatchUp;
  if (catchUp) {
    for (int64_t second = previous + 1; second <= now && !tick.startRun; ++second) {
      tick.startRun = ScheduleFires(config, second);
    }
    tick.powerRequest = now / 60 != previous / 60;
  } else {
    tick.startRun = ScheduleFires(config, now);
    tick.powerRequest = now % 60 == 0;
  }
  tick.keepAwake = config.automaticEnabled != 0;
  return tick;
}

}  // namespace skyh
