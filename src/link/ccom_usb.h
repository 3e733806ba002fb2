#pragma once
// The link over the control box's own USB interface: one bulk IN transfer
// per Read, no receive thread.
#include <memory>
#include <string>

#include "link/ccom.h"
#include "link/usb_device.h"

namespace skyh {

class CComUsb : public CCom {
 public:
  // A write that the device does not take within this time fails.
  static constexpr uint32_t kWriteTimeoutMs = 5000;
  // The usual cause is a machine without the packaged udev rule.
  static constexpr const char* kAccessRefusedText =
      "USB device found but access was refused: install the udev rule 70-skyharvester.rules "
      "in /etc/udev/rules.d and plug the device in again";

  CComUsb();
  // Over another transport (tests stand a fake device in).
  explicit CComUsb(std::unique_ptr<UsbTransport> transport);
  ~CComUsb() override;

  bool Write(const uint8_t* data, uint16_t length) override;
  uint16_t Read(uint8_t* buffer, uint32_t timeoutMs) override;
  bool Open() override;
  bool Close() override;
  uint32_t GetDefaultTimeout() override { return 3000; }
  std::string GetDescription() override;

 private:
  UsbDevice device;
};

}  // namespace skyh
