#pragma once
// One object of each link kind and the active one, chosen from the
// configured link type (0 USB, 1 serial, 2 modem).
#include "core/configuration.h"
#include "link/ccom.h"
#include "link/ccom_modem.h"
#include "link/ccom_serial.h"
#include "link/ccom_usb.h"

namespace skyh {

class LinkSelection {
 public:
  // Hands the port to the serial and modem links and the phone number to
  // the modem link, then makes the configured kind active.
  CCom& Select(const CConfiguration& config);
  CCom& Active() { return *active; }

  CComUsb usb;
  CComSerial serial;
  CComModem modem;

 private:
  CCom* active = &usb;
};

}  // namespace skyh
