#pragma once
// The link over the control box's own USB interface: one bulk IN transfer
// per Read, no receive thread.
#include <memory>

#include "link/ccom.h"
#include "link/usb_device.h"

namespace skyh {

class CComUsb : public CCom {
 public:
  CComUsb() : CCom(device) {}
  // Over another USB back end (tests stand a fake device in).
  explicit CComUsb(std::unique_ptr<UsbTransport> transport)
      : CCom(device), device(std::move(transport)) {}

 private:
  UsbDevice device;
};

}  // namespace skyh
