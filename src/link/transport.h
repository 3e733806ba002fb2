#pragma once
// The byte transports under CCom: serial port, modem over a serial line, USB
// and the in-memory ones of the tests implement only these operations; the
// frame exchange and the commands above them are written once, in CCom.
#include <cstdint>
#include <string>

#include "link/monotonic_clock.h"

namespace skyh {

class Transport {
 public:
  virtual ~Transport() = default;

  // Opens the transport (CCom calls it only while closed); false with
  // LastError() saying why.
  virtual bool Open() = 0;
  // Lets go of the transport; harmless when it is closed.
  virtual void Close() = 0;
  // True when all `length` bytes were handed over.
  virtual bool Write(const uint8_t* data, uint16_t length) = 0;
  // Waits at most `timeoutMs` on Clock() for received bytes and copies up to
  // `size` of those there, returning as soon as some are; 0 when none came.
  // With `timeoutMs` 0 it must not block.
  virtual uint16_t Read(uint8_t* buffer, uint16_t size, uint32_t timeoutMs) = 0;
  // Drops received bytes that nobody has read yet.
  virtual void Purge() = 0;
  // One line for the status bar; `open` tells whether the link is open.
  virtual std::string Description(bool open) = 0;

  // Reply time-out in ms for commands that give none.
  virtual uint32_t DefaultTimeoutMs() const { return 3000; }
  // Bits per second at which a request is still on its way after Write has
  // returned (a serial line behind the driver's buffer); 0 when Write returns
  // only once the bytes are gone.
  virtual uint32_t LineBitRate() const { return 0; }

  const std::string& LastError() const { return lastError; }

  // The clock behind every wait: the process-wide one unless one was set
  // (null returns to it). A transport built on another forwards it.
  virtual void SetClock(MonotonicClock* clock) { clock_ = clock; }
  MonotonicClock& Clock() const { return clock_ ? *clock_ : CurrentClock(); }

 protected:
  std::string lastError;

 private:
  MonotonicClock* clock_ = nullptr;
};

// A serial line: a transport with a port name and the two modem control
// lines, so that the modem's front end can be built on any such line.
class SerialLine : public Transport {
 public:
  virtual const std::string& PortName() const = 0;
  // Whether Open raises DTR (a modem needs it; some adapters power or reset
  // the box from it, so a plain serial link keeps it low).
  virtual void SetDtrOnOpen(bool on) = 0;
  // Modem lines of the open line; a line the device lacks is not an error.
  virtual bool SetRts(bool on) = 0;
  virtual bool SetDtr(bool on) = 0;
};

}  // namespace skyh
