// Modem replies: any bytes from the line end in success, failure or the
// time-out, and the reply text shows every CR and LF as "|0D|" and "|0A|".
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "link/ccom_modem.h"
#include "link/monotonic_clock.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > 4000) return 0;
  static skyh::ManualClock clock;
  skyh::CComModem link;
  link.SetClock(&clock);
  for (size_t i = 0; i < size; ++i) link.Port().rxQueue.Put(data[i]);
  std::string reply;
  // Each call consumes at least one line or waits out its time-out, which
  // leaves nothing unread; the loop ends at that silence.
  for (int calls = 0;; ++calls) {
    if (calls > int(size) + 1) std::abort();
    bool found = link.Dialer().WaitModemReply("OK", 500, reply);
    if (reply.size() > size) std::abort();
    if (!found && reply.empty()) break;
  }
  return 0;
}
