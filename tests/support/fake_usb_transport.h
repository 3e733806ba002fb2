#pragma once
// A USB device in memory behind the link's UsbTransport interface. Time-outs
// elapse at once: a transfer that cannot complete yet answers TimedOut.
#include <algorithm>
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
  void Send(const std::vector<uint8_t>& data) { toHost.insert(toHost.end(), data.begin(), data.end()); }

  bool open = false;
  int opens = 0, submits = 0, cancels = 0, inCancels = 0;
  int overlapped = 0;      // Submit while a transfer was still in flight
  int closedInFlight = 0;  // Close while a transfer was still in flight
  int generation = 0;
  std::vector<uint8_t> fromHost;
  std::deque<uint8_t> toHost;

  // The transfer in flight.
  bool inFlight = false, cancelled = false, outDone = false, outOk = false;
  uint8_t endpoint = 0;
  uint8_t* buffer = nullptr;
  int length = 0, slowWaitsLeft = 0;
};

class FakeUsbTransport : public UsbTransport {
 public:
  explicit FakeUsbTransport(std::shared_ptr<FakeUsbDevice> device) : dev(std::move(device)) {}

  bool IsPresent(uint16_t vendorId, uint16_t productId) override {
    if (dev->beforeUse) dev->beforeUse();
    return dev->present && vendorId == 0x04DE && productId == 0xF586;
  }
  UsbOpen Open(uint16_t vendorId, uint16_t productId, std::string& reason) override {
    reason.clear();
    if (!IsPresent(vendorId, productId)) return UsbOpen::NotFound;
    if (dev->openRefused) reason = "libusb_open: LIBUSB_ERROR_ACCESS (Access denied (insufficient permissions))";
    else if (dev->openBusy) reason = "libusb_claim_interface: LIBUSB_ERROR_BUSY (Resource busy)";
    else if (dev->openFails) reason = "libusb_open: LIBUSB_ERROR_IO (Input/Output Error)";
    if (!reason.empty()) return dev->openRefused ? UsbOpen::Refused : dev->openBusy ? UsbOpen::Busy : UsbOpen::Failed;
    dev->open = true;
    openedGeneration = dev->generation;
    ++dev->opens;
    return UsbOpen::Opened;
  }
  void Close() override {
    dev->closedInFlight += dev->inFlight;
    dev->open = false;
  }
  bool Submit(uint8_t endpoint, uint8_t* buffer, int length) override {
    if (dev->beforeUse) dev->beforeUse();
    // A handle from before the device was last pulled out is dead.
    if (!dev->open || openedGeneration != dev->generation) return false;
    if (dev->inFlight) return ++dev->overlapped, false;
    ++dev->submits;
    dev->inFlight = true;
    dev->endpoint = endpoint;
    dev->buffer = buffer;
    dev->length = length;
    dev->cancelled = false;
    dev->outDone = endpoint == 0x02 && !dev->stallOut;
    dev->outOk = dev->outDone && !dev->failOut;
    if (dev->outOk) {
      dev->fromHost.insert(dev->fromHost.end(), buffer, buffer + length);
      if (dev->onHostBytes) dev->onHostBytes(buffer, size_t(length));
    }
    return true;
  }
  UsbWait Wait(uint32_t timeoutMs, int& transferred) override {
    if (dev->beforeUse) dev->beforeUse();
    transferred = 0;
    if (!dev->inFlight) return UsbWait::Failed;
    if (dev->endpoint == 0x02 && dev->outDone) {
      dev->inFlight = false;
      transferred = dev->outOk ? dev->length : 0;
      return dev->outOk ? UsbWait::Done : UsbWait::Failed;
    }
    if (dev->endpoint == 0x82 && !dev->toHost.empty()) {
      transferred = std::min<int>(dev->length, int(dev->toHost.size()));
      std::copy_n(dev->toHost.begin(), transferred, dev->buffer);
      dev->toHost.erase(dev->toHost.begin(), dev->toHost.begin() + transferred);
      dev->inFlight = false;
      return UsbWait::Done;
    }
    if (dev->cancelled && dev->slowWaitsLeft-- <= 0) {
      dev->inFlight = false;
      return UsbWait::Failed;
    }
    if (dev->clock) dev->clock->Advance(timeoutMs);
    return UsbWait::TimedOut;
  }
  void Cancel() override {
    if (!dev->inFlight) return;
    ++dev->cancels;
    dev->inCancels += dev->endpoint == 0x82;
    dev->cancelled = true;
    dev->slowWaitsLeft = dev->cancelSlowWaits;
  }

 private:
  std::shared_ptr<FakeUsbDevice> dev;
  int openedGeneration = -1;
};

}  // namespace skyh::test
