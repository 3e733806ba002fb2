#pragma once
// Whether the computer's clock can be trusted to set the photometer's: a
// machine without a real-time clock starts with the time of its last
// shutdown until its time service has synchronised it.
namespace skyh {

// True while the kernel reports the system clock synchronised
// (ntp_adjtime: STA_UNSYNC clear). False when it cannot be asked.
bool ComputerClockSynchronised();

// Tests replace the source; a null function restores the kernel's.
using ClockSyncFunction = bool (*)();
void SetClockSyncFunctionForTesting(ClockSyncFunction f);

}  // namespace skyh
