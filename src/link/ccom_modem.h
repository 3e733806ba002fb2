#pragma once
// The link through a dial-up modem on a serial line: AT set-up and dialling
// on Open, then the line's bytes as they come.
#include <string>

#include "link/ccom.h"
#include "link/port_line.h"
#include "link/transport.h"

namespace skyh {

// The modem's front end over any serial line.
class ModemDialer : public Transport {
 public:
  explicit ModemDialer(SerialLine& line) : line_(line) { line_.SetDtrOnOpen(true); }

  bool Open() override;
  // Drops RTS and DTR (the modem hangs up), then closes the line.
  void Close() override;
  bool Write(const uint8_t* data, uint16_t length) override { return line_.Write(data, length); }
  uint16_t Read(uint8_t* buffer, uint16_t size, uint32_t timeoutMs) override;
  void Purge() override;
  std::string Description(bool open) override { return line_.Description(open); }
  uint32_t DefaultTimeoutMs() const override { return 10000; }
  uint32_t LineBitRate() const override { return line_.LineBitRate(); }
  void SetClock(MonotonicClock* clock) override;

  void SetPhoneNumber(const std::string& number) { phoneNumber = number; }
  // An optional leading "+", then at least one of "0123456789*#,".
  static bool IsValidPhoneNumber(const std::string& number);

  // Writes `command` and waits for a line holding `expected`, with `retries`
  // further attempts. `reply` gets the last attempt's lines with CR and LF
  // shown as "|0D|" and "|0A|".
  bool SendAt(const std::string& command, const std::string& expected, uint32_t timeoutMs,
              uint8_t retries, std::string& reply);
  // Collects lines until one holds `expected` (true), one holds a final
  // result word (false) or the time-out passes (false). Bytes after the
  // deciding line stay for the next wait.
  bool WaitModemReply(const std::string& expected, uint32_t timeoutMs, std::string& reply);

 private:
  void Pause(uint32_t ms);
  bool FailOpen(const std::string& message);

  SerialLine& line_;
  std::string phoneNumber;
  // Received but not yet handed out.
  std::string unread_;
};

class CComModem : public CCom {
 public:
  CComModem() : CCom(dialer) {}

  void SetPortName(const std::string& name) { line.SetPortName(name); }
  void SetPhoneNumber(const std::string& number) { dialer.SetPhoneNumber(number); }
  // The local port, used for names other than network ones.
  SerialPort& Port() { return line.Local(); }
  PortLine& Line() { return line; }
  ModemDialer& Dialer() { return dialer; }

 private:
  PortLine line;
  ModemDialer dialer{line};
};

// The number as the configuration dialog keeps it: an optional leading "+"
// (modems dial international numbers with it), then only the characters of
// "0123456789*#,". Open dials such a number as it is.
std::string CleanPhoneNumber(const std::string& text);

}  // namespace skyh
