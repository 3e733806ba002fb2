#pragma once
// The link over a local serial port (real, USB-to-serial or a pseudo-terminal).
#include <string>

#include "link/ccom.h"
#include "link/serial_port.h"

namespace skyh {

class CComSerial : public CCom {
 public:
  CComSerial() = default;
  ~CComSerial() override;

  bool Write(const uint8_t* data, uint16_t length) override;
  uint16_t Read(uint8_t* buffer, uint32_t timeoutMs) override;
  bool Open() override;
  bool Close() override;
  uint32_t GetDefaultTimeout() override { return 3000; }
  std::string GetDescription() override;
  void DiscardReceived() override;
  // The driver takes a request at once; it then needs its line time.
  uint32_t LineBitRate() override { return port.BaudRate(); }

  void SetPortName(const std::string& name) { portName = name; }
  const std::string& GetPortName() const { return portName; }
  SerialPort& Port() { return port; }

 protected:
  // The steps and messages shared with the modem link.
  bool CheckPortName();
  // Opens and configures the port; closed again on failure.
  bool OpenPort();
  bool StartReceiving();

  SerialPort port;
  std::string portName;
};

}  // namespace skyh
