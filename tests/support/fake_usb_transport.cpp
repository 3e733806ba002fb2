#include "support/fake_usb_transport.h"

#include <algorithm>

namespace skyh::test {

bool FakeUsbTransport::IsPresent(uint16_t vendorId, uint16_t productId) {
  BeforeUse();
  return dev->present && vendorId == 0x04DE && productId == 0xF586;
}

UsbOpen FakeUsbTransport::Open(uint16_t vendorId, uint16_t productId, std::string& reason) {
  reason.clear();
  if (!IsPresent(vendorId, productId)) return UsbOpen::NotFound;
  if (dev->openRefused) {
    reason = "libusb_open: LIBUSB_ERROR_ACCESS (Access denied (insufficient permissions))";
    return UsbOpen::Refused;
  }
  if (dev->openBusy) {
    reason = "libusb_claim_interface: LIBUSB_ERROR_BUSY (Resource busy)";
    return UsbOpen::Busy;
  }
  if (dev->openFails) {
    reason = "libusb_open: LIBUSB_ERROR_IO (Input/Output Error)";
    return UsbOpen::Failed;
  }
  dev->open = true;
  openedGeneration = dev->generation;
  ++dev->opens;
  return UsbOpen::Opened;
}

void FakeUsbTransport::Close() {
  if (dev->inFlight) ++dev->closedInFlight;
  dev->open = false;
}

bool FakeUsbTransport::Submit(uint8_t endpoint, uint8_t* buffer, int length) {
  BeforeUse();
  // A handle from before the device was last pulled out is dead.
  if (!dev->open || openedGeneration != dev->generation) return false;
  if (dev->inFlight) {
    ++dev->overlapped;
    return false;
  }
  ++dev->submits;
  dev->inFlight = true;
  dev->endpoint = endpoint;
  dev->buffer = buffer;
  dev->length = length;
  dev->cancelled = false;
  dev->outDone = false;
  if (endpoint == 0x02 && !dev->stallOut) {
    dev->outDone = true;
    dev->outOk = !dev->failOut;
    if (dev->outOk) {
      dev->fromHost.insert(dev->fromHost.end(), buffer, buffer + length);
      if (dev->onHostBytes) dev->onHostBytes(buffer, size_t(length));
    }
  }
  return true;
}

UsbWait FakeUsbTransport::Wait(uint32_t timeoutMs, int& transferred) {
  BeforeUse();
  transferred = 0;
  if (!dev->inFlight) return UsbWait::Failed;
  if (dev->endpoint == 0x02 && dev->outDone) {
    dev->inFlight = false;
    if (!dev->outOk) return UsbWait::Failed;
    transferred = dev->length;
    return UsbWait::Done;
  }
  if (dev->endpoint == 0x82 && !dev->toHost.empty()) {
    int n = std::min<int>(dev->length, int(dev->toHost.size()));
    std::copy_n(dev->toHost.begin(), n, dev->buffer);
    dev->toHost.erase(dev->toHost.begin(), dev->toHost.begin() + n);
    dev->inFlight = false;
    transferred = n;
    return UsbWait::Done;
  }
  if (dev->cancelled) {
    if (dev->slowWaitsLeft > 0) {
      --dev->slowWaitsLeft;
      return TimedOut(timeoutMs);
    }
    dev->inFlight = false;
    return UsbWait::Failed;
  }
  return TimedOut(timeoutMs);
}

void FakeUsbTransport::Cancel() {
  if (!dev->inFlight) return;
  ++dev->cancels;
  if (dev->endpoint == 0x82) ++dev->inCancels;
  dev->cancelled = true;
  dev->slowWaitsLeft = dev->cancelSlowWaits;
}

}  // namespace skyh::test
