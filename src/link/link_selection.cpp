#include "link/link_selection.h"

namespace skyh {

CCom& LinkSelection::Select(const CConfiguration& config) {
  serial.SetPortName(config.port);
  modem.SetPortName(config.port);
  modem.SetPhoneNumber(config.phoneNumber);
  switch (config.linkType) {
    case kLinkSerial: active = &serial; break;
    case kLinkModem: active = &modem; break;
    default: active = &usb; break;
  }
  return *active;
}

}  // namespace skyh
