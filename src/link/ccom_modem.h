#pragma once
// The link through a dial-up modem on a serial port: AT set-up and dialling
// on Open, then the same byte transport as the serial link.
#include <string>

#include "link/ccom_serial.h"

namespace skyh {

class CComModem : public CComSerial {
 public:
  CComModem() = default;

  bool Open() override;
  bool Close() override;
  uint32_t GetDefaultTimeout() override { return 10000; }

  void SetPhoneNumber(const std::string& number) { phoneNumber = number; }
  const std::string& GetPhoneNumber() const { return phoneNumber; }
  // An optional leading "+", then at least one of "0123456789*#,".
  static bool IsValidPhoneNumber(const std::string& number);

  // Writes `command` and waits for a line holding `expected`, with `retries`
  // further attempts. `reply` gets the last attempt's lines with CR and LF
  // shown as "|0D|" and "|0A|".
  bool SendAt(const std::string& command, const std::string& expected, uint32_t timeoutMs,
              uint8_t retries, std::string& reply);
  // Collects lines until one holds `expected` (true), one holds a final
  // result word (false) or the time-out passes (false).
  bool WaitModemReply(const std::string& expected, uint32_t timeoutMs, std::string& reply);

 private:
  void Pause(uint32_t ms);
  void FailOpen(const std::string& message);

  std::string phoneNumber;
};

// The number as the configuration dialog keeps it: an optional leading "+"
// (modems dial international numbers with it), then only the characters of
// "0123456789*#,". Open dials such a number as it is.
std::string CleanPhoneNumber(const std::string& text);

}  // namespace skyh
