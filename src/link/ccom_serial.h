#pragma once
// The link over a local serial port (real, USB-to-serial or a pseudo-terminal).
#include <string>

#include "link/ccom.h"
#include "link/serial_port.h"

namespace skyh {

class CComSerial : public CCom {
 public:
  CComSerial() : CCom(port) {}

  void SetPortName(const std::string& name) { port.SetPortName(name); }
  SerialPort& Port() { return port; }

 private:
  SerialPort port;
};

}  // namespace skyh
