#include "link/ccom_usb.h"

#include "core/log_file.h"

namespace skyh {

CComUsb::CComUsb() = default;

CComUsb::CComUsb(std::unique_ptr<UsbTransport> transport) : device(std::move(transport)) {}

CComUsb::~CComUsb() { device.Close(); }

bool CComUsb::Write(const uint8_t* data, uint16_t length) {
  return device.Write(data, length, kWriteTimeoutMs);
}

uint16_t CComUsb::Read(uint8_t* buffer, uint32_t timeoutMs) {
  return device.Read(buffer, kLinkChunkBytes, timeoutMs);
}

bool CComUsb::Open() {
  lastError.clear();
  if (connected) return true;
  if (!device.Open()) {
    switch (device.OpenResult()) {
      case UsbOpen::Refused: lastError = kAccessRefusedText; break;
      case UsbOpen::Busy: lastError = "USB device found but it is in use by another program"; break;
      default: lastError = "Can't find USB device"; break;
    }
    if (!device.OpenReason().empty()) LogLine("USB device: %s\n", device.OpenReason());
    return false;
  }
  MarkOpened();
  return true;
}

bool CComUsb::Close() {
  device.Close();
  connected = 0;
  return true;
}

std::string CComUsb::GetDescription() {
  if (!device.IsPresent()) return "Device not found";
  return connected ? "Device found: Connected" : "Device found: Disconnected";
}

}  // namespace skyh
