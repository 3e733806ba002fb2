#include "link/usb_device.h"

#include <algorithm>
#include <cstring>

#include "core/log_file.h"
#include "link/libusb_transport.h"

namespace skyh {

UsbDevice::UsbDevice() : UsbDevice(std::make_unique<LibUsbTransport>()) {}

UsbDevice::UsbDevice(std::unique_ptr<UsbTransport> t) : transport(std::move(t)), ioBuffer(4096) {}

UsbDevice::~UsbDevice() { Close(); }

bool UsbDevice::IsPresent() { return transport->IsPresent(kVendorId, kProductId); }

bool UsbDevice::Open() {
  if (isOpen) return true;
  openReason.clear();
  // A transfer left from before the last Close must end first.
  if (!Settle()) {
    openResult = UsbOpen::Failed;
    openReason = "a cancelled transfer has not ended yet";
  } else {
    openResult = transport->Open(kVendorId, kProductId, openReason);
    isOpen = openResult == UsbOpen::Opened;
    transportOpen = transportOpen || isOpen;
    if (isOpen) return true;
  }
  switch (openResult) {
    case UsbOpen::Refused: lastError = kAccessRefusedText; break;
    case UsbOpen::Busy: lastError = "USB device found but it is in use by another program"; break;
    default: lastError = "Can't find USB device"; break;
  }
  if (!openReason.empty()) LogLine("USB device: %s\n", openReason);
  return false;
}

void UsbDevice::Purge() {
  uint8_t scratch[4096];
  for (int i = 0; i < 16; ++i) {
    if (Read(scratch, sizeof scratch, 0) == 0) break;
  }
}

std::string UsbDevice::Description(bool open) {
  if (!IsPresent()) return "Device not found";
  return open ? "Device found: Connected" : "Device found: Disconnected";
}

void UsbDevice::Close() {
  isOpen = false;
  if (!transportOpen) return;
  if (inFlight) {
    transport->Cancel();
    for (int i = 0; i < kCloseWaits && !Settle(); ++i) {
    }
    // Still running: the device may yet write into ioBuffer and call back
    // into the transport, so both are kept until it has ended.
    if (inFlight) return;
  }
  transport->Close();
  transportOpen = false;
}

bool UsbDevice::Settle() {
  if (!inFlight) return true;
  int ignored = 0;
  if (transport->Wait(kCancelGraceMs, ignored) == UsbWait::TimedOut) return false;
  inFlight = false;
  return true;
}

bool UsbDevice::Transfer(uint8_t endpoint, int length, uint32_t timeoutMs, int& transferred) {
  transferred = 0;
  if (!isOpen || !Settle()) return false;
  if (!transport->Submit(endpoint, ioBuffer.data(), length)) return false;
  inFlight = true;
  UsbWait result = transport->Wait(timeoutMs, transferred);
  if (result == UsbWait::TimedOut) {
    transport->Cancel();
    // The transfer may have completed just before the cancel; its bytes count.
    result = transport->Wait(kCancelGraceMs, transferred);
    if (result == UsbWait::TimedOut) {
      transferred = 0;
      return false;  // still in flight: the next transfer waits for it first
    }
  }
  inFlight = false;
  if (result != UsbWait::Done) transferred = 0;
  return result == UsbWait::Done;
}

bool UsbDevice::Write(const uint8_t* data, uint16_t length, uint32_t timeoutMs) {
  // Settle before touching the buffer that an unfinished transfer may hold.
  if (!isOpen || !Settle()) return false;
  if (ioBuffer.size() < length) ioBuffer.resize(length);
  std::memcpy(ioBuffer.data(), data, length);
  int sent = 0;
  return Transfer(kOutPipe, length, timeoutMs, sent) && sent == length;
}

uint16_t UsbDevice::Read(uint8_t* buffer, uint16_t size, uint32_t timeoutMs) {
  if (!isOpen || !Settle()) return 0;
  if (ioBuffer.size() < size) ioBuffer.resize(size);
  int got = 0;
  if (!Transfer(kInPipe, size, timeoutMs, got)) return 0;
  uint16_t n = static_cast<uint16_t>(std::clamp(got, 0, int(size)));
  std::memcpy(buffer, ioBuffer.data(), n);
  return n;
}

}  // namespace skyh
