#pragma once
// A USB device in memory behind the link's UsbTransport interface. Time-outs
// elapse at once: a transfer that cannot complete yet answers TimedOut.
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "link/monotonic_clock.h"
#include "link/usb_transport.h"

namespace skyh::test {

// The device's state and the test's controls; shared with the transport,
// which the link owns.
struct FakeUsbDevice {
  bool present = true;
  bool openFails = false;
  bool openRefused = false;  // access refused, as without the udev rule
  bool openBusy = false;     // another program claimed the interface
  bool failOut = false;      // OUT transfers end with an error
  bool stallOut = false;     // OUT transfers never complete until cancelled
  int cancelSlowWaits = 0;   // a cancelled transfer ends only after this many Waits
  // The device side: gets every byte the host sends.
  std::function<void(const uint8_t*, size_t)> onHostBytes;
  // Called before every operation of the transport (a test moves the device's
  // plugging along with time there).
  std::function<void()> beforeUse;
  // When set, a Wait that times out moves this clock on by its time-out.
  ManualClock* clock = nullptr;

  // Pulled out: handles opened before are dead for good, as after a USB
  // re-enumeration. Plugging in again needs a new Open.
  void Unplug() {
    present = false;
    ++generation;
    toHost.clear();
  }
  void Plug() { present = true; }

  // Bytes the device sends; IN transfers take them.
  void Send(const uint8_t* data, size_t length) { toHost.insert(toHost.end(), data, data + length); }
  void Send(const std::vector<uint8_t>& data) { Send(data.data(), data.size()); }

  bool open = false;
  int opens = 0;
  int submits = 0;
  int cancels = 0;
  int inCancels = 0;
  int overlapped = 0;  // Submit while a transfer was still in flight
  int closedInFlight = 0;  // Close while a transfer was still in flight
  int generation = 0;
  std::vector<uint8_t> fromHost;
  std::deque<uint8_t> toHost;

  // The transfer in flight.
  bool inFlight = false;
  uint8_t endpoint = 0;
  uint8_t* buffer = nullptr;
  int length = 0;
  bool cancelled = false;
  int slowWaitsLeft = 0;
  bool outDone = false;
  bool outOk = false;
};

class FakeUsbTransport : public UsbTransport {
 public:
  explicit FakeUsbTransport(std::shared_ptr<FakeUsbDevice> device) : dev(std::move(device)) {}
  bool IsPresent(uint16_t vendorId, uint16_t productId) override;
  UsbOpen Open(uint16_t vendorId, uint16_t productId, std::string& reason) override;
  void Close() override;
  bool Submit(uint8_t endpoint, uint8_t* buffer, int length) override;
  UsbWait Wait(uint32_t timeoutMs, int& transferred) override;
  void Cancel() override;

 private:
  void BeforeUse() {
    if (dev->beforeUse) dev->beforeUse();
  }
  UsbWait TimedOut(uint32_t timeoutMs) {
    if (dev->clock) dev->clock->Advance(timeoutMs);
    return UsbWait::TimedOut;
  }

  std::shared_ptr<FakeUsbDevice> dev;
  int openedGeneration = -1;
};

}  // namespace skyh::test
