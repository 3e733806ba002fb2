#include "support/fake_usb_transport.h"

#include <algorithm>

namespace skyh::test {

bool FakeUsbTransport::IsPresent(uint16_t vendorId, uint16_t productId) {
  return dev->present && vendorId == 0x04DE && productId == 0xF586;
}

bool FakeUsbTransport::Open(uint16_t vendorId, uint16_t productId) {
  if (!IsPresent(vendorId, productId) || dev->openFails) return false;
  dev->open = true;
  ++dev->opens;
  return true;
}

void FakeUsbTransport::Close() { dev->open = false; }

bool FakeUsbTransport::Submit(uint8_t endpoint, uint8_t* buffer, int length) {
  if (!dev->open) return false;
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

UsbWait FakeUsbTransport::Wait(uint32_t, int& transferred) {
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
      return UsbWait::TimedOut;
    }
    dev->inFlight = false;
    return UsbWait::Failed;
  }
  return UsbWait::TimedOut;
}

void FakeUsbTransport::Cancel() {
  if (!dev->inFlight) return;
  ++dev->cancels;
  if (dev->endpoint == 0x82) ++dev->inCancels;
  dev->cancelled = true;
  dev->slowWaitsLeft = dev->cancelSlowWaits;
}

}  // namespace skyh::test
