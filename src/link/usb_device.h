#pragma once
// The control box's USB device: vendor 0x04DE, product 0xF586, bulk OUT 0x02
// and bulk IN 0x82. Every transfer has a time-out after which it is
// cancelled, and a cancelled transfer is waited for before the next starts,
// so a stalled pipe can neither block the caller nor overlap two transfers.
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "link/transport.h"
#include "link/usb_transport.h"

namespace skyh {

class UsbDevice : public Transport {
 public:
  static constexpr uint16_t kVendorId = 0x04DE;
  static constexpr uint16_t kProductId = 0xF586;
  static constexpr uint8_t kOutPipe = 0x02;
  static constexpr uint8_t kInPipe = 0x82;
  // How long a cancelled transfer may take to end before the caller's
  // transfer fails; Close waits up to kCloseWaits such periods.
  static constexpr uint32_t kCancelGraceMs = 1000;
  static constexpr int kCloseWaits = 10;
  // A write that the device does not take within this time fails.
  static constexpr uint32_t kWriteTimeoutMs = 5000;
  // The usual cause is a machine without the packaged udev rule.
  static constexpr const char* kAccessRefusedText =
      "USB device found but access was refused: install the udev rule 70-skyharvester.rules "
      "in /etc/udev/rules.d and plug the device in again";

  // On libusb.
  UsbDevice();
  explicit UsbDevice(std::unique_ptr<UsbTransport> transport);
  ~UsbDevice() override;

  // Enumerates each time, so plugging and unplugging show.
  bool IsPresent();
  // Opens the device; on a failure LastError() has the link's text and the
  // system's words go to the log.
  bool Open() override;
  // After a failed Open: what went wrong, and the system's words for it.
  UsbOpen OpenResult() const { return openResult; }
  const std::string& OpenReason() const { return openReason; }
  // Cancels a transfer in flight and waits for it to end before letting go
  // of the device; one that does not end keeps the device until it has.
  void Close() override;
  bool IsOpen() const { return isOpen; }

  // True when every byte went out within `timeoutMs`.
  bool Write(const uint8_t* data, uint16_t length, uint32_t timeoutMs);
  bool Write(const uint8_t* data, uint16_t length) override {
    return Write(data, length, kWriteTimeoutMs);
  }
  // One bulk IN transfer of up to `size` bytes; 0 on silence or error.
  uint16_t Read(uint8_t* buffer, uint16_t size, uint32_t timeoutMs) override;
  // Reads with no wait until the pipe is silent (bounded, so that a line
  // that never falls silent cannot hold us).
  void Purge() override;
  std::string Description(bool open) override;

 private:
  bool Transfer(uint8_t endpoint, int length, uint32_t timeoutMs, int& transferred);
  bool Settle();

  std::unique_ptr<UsbTransport> transport;
  // Transfers use this buffer, never the caller's: after a cancel that has
  // not ended yet the device may still write into it.
  std::vector<uint8_t> ioBuffer;
  bool isOpen = false;
  bool inFlight = false;
  bool transportOpen = false;
  UsbOpen openResult = UsbOpen::NotFound;
  std::string openReason;
};

}  // namespace skyh
