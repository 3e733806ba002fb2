#pragma once
// UsbTransport on libusb-1.0 (asynchronous bulk transfers).
#include <libusb.h>

#include "link/usb_transport.h"

namespace skyh {

class LibUsbTransport : public UsbTransport {
 public:
  LibUsbTransport() = default;
  ~LibUsbTransport() override;
  LibUsbTransport(const LibUsbTransport&) = delete;
  LibUsbTransport& operator=(const LibUsbTransport&) = delete;

  bool IsPresent(uint16_t vendorId, uint16_t productId) override;
  UsbOpen Open(uint16_t vendorId, uint16_t productId, std::string& reason) override;
  void Close() override;
  bool Submit(uint8_t endpoint, uint8_t* buffer, int length) override;
  UsbWait Wait(uint32_t timeoutMs, int& transferred) override;
  void Cancel() override;

 private:
  static void LIBUSB_CALL OnTransferDone(libusb_transfer* done);
  bool EnsureContext();
  // Waits for a cancelled transfer to end; true when it did.
  bool EndCancelled();
  libusb_device* FindDevice(libusb_device** list, uint16_t vendorId, uint16_t productId);

  libusb_context* context = nullptr;
  libusb_device_handle* handle = nullptr;
  libusb_transfer* transfer = nullptr;
  int claimedInterface = -1;
  int completed = 1;  // no transfer in flight
};

}  // namespace skyh
