#pragma once
// The few USB operations the control box's link needs, as an interface so
// that tests can put a fake device behind the link. One transfer at a time.
#include <cstdint>

namespace skyh {

enum class UsbWait {
  Done,      // the transfer completed
  Failed,    // it ended with an error, or was cancelled
  TimedOut,  // still in flight
};

class UsbTransport {
 public:
  virtual ~UsbTransport() = default;
  // Enumerates now: true when a device with these identifiers is plugged in.
  virtual bool IsPresent(uint16_t vendorId, uint16_t productId) = 0;
  // Opens the first matching device and claims its interface.
  virtual bool Open(uint16_t vendorId, uint16_t productId) = 0;
  virtual void Close() = 0;
  // Starts a bulk transfer; `buffer` must stay valid until the transfer has
  // ended (Wait answered Done or Failed).
  virtual bool Submit(uint8_t endpoint, uint8_t* buffer, int length) = 0;
  virtual UsbWait Wait(uint32_t timeoutMs, int& transferred) = 0;
  // Asks the transfer in flight to end; Wait then reports how it ended.
  virtual void Cancel() = 0;
};

}  // namespace skyh
