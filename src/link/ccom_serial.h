#pragma once
// The link over a serial port: local (real, USB-to-serial or a
// pseudo-terminal) or reached over the network (socket://, rfc2217://).
#include <string>

#include "link/ccom.h"
#include "link/port_line.h"

namespace skyh {

class CComSerial : public CCom {
 public:
  CComSerial() : CCom(line) {}

  void SetPortName(const std::string& name) { line.SetPortName(name); }
  // The local port, used for names other than network ones.
  SerialPort& Port() { return line.Local(); }
  PortLine& Line() { return line; }

 private:
  PortLine line;
};

}  // namespace skyh
