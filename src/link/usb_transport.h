#pragma once
// The few USB operations the control box's link needs, as an interface so
// that tests can put a fake device behind the link. One transfer at a time.
#include <cstdint>
#include <string>

namespace skyh {

enum class UsbWait {
  Done,      // the transfer completed
  Failed,    // it ended with an error, or was cancelled
  TimedOut,  // still in flight
};

enum class UsbOpen {
  Opened,
  NotFound,  // no such device is plugged in (any more)
  Refused,   // present, but the system refused access (no udev rule)
  Busy,      // present, but another program holds its interface
  Failed,    // present, but it could not be opened for another reason
};

class UsbTransport {
 public:
  virtual ~UsbTransport() = default;
  // Enumerates now: true when a device with these identifiers is plugged in.
  virtual bool IsPresent(uint16_t vendorId, uint16_t productId) = 0;
  // Opens the first matching device and claims its interface. On a failure
  // `reason` gets the system's words for it (for the log).
  virtual UsbOpen Open(uint16_t vendorId, uint16_t productId, std::string& reason) = 0;
  virtual void Close() = 0;
  // Starts a bulk transfer; `buffer` must stay valid until the transfer has
  // ended (Wait answered Done or Failed).
  virtual bool Submit(uint8_t endpoint, uint8_t* buffer, int length) = 0;
  virtual UsbWait Wait(uint32_t timeoutMs, int& transferred) = 0;
  // Asks the transfer in flight to end; Wait then reports how it ended.
  virtual void Cancel() = 0;
};

}  // namespace skyh
