#pragma once
// The serial line a configured port name stands for: a local port, or a
// network line for "socket://" and "rfc2217://" names, so that the serial
// and the modem link work over either.
#include <string>

#include "link/network_line.h"
#include "link/serial_port.h"
#include "link/transport.h"

namespace skyh {

class PortLine : public SerialLine {
 public:
  bool Open() override {
    bool ok = active_->Open();
    lastError = active_->LastError();
    return ok;
  }
  void Close() override { active_->Close(); }
  bool Write(const uint8_t* data, uint16_t length) override { return active_->Write(data, length); }
  uint16_t Read(uint8_t* buffer, uint16_t size, uint32_t timeoutMs) override {
    return active_->Read(buffer, size, timeoutMs);
  }
  void Purge() override { active_->Purge(); }
  std::string Description(bool open) override { return active_->Description(open); }
  uint32_t DefaultTimeoutMs() const override { return active_->DefaultTimeoutMs(); }
  uint32_t LineBitRate() const override { return active_->LineBitRate(); }
  void SetClock(MonotonicClock* clock) override {
    Transport::SetClock(clock);
    local_.SetClock(clock);
    network_.SetClock(clock);
  }

  // Takes effect at the next Open; a line of the other kind is closed.
  void SetPortName(const std::string& name) {
    SerialLine* next = IsNetworkPortName(name) ? static_cast<SerialLine*>(&network_) : &local_;
    if (next != active_) active_->Close();
    active_ = next;
    local_.SetPortName(name);
    network_.SetPortName(name);
  }
  const std::string& PortName() const override { return active_->PortName(); }
  void SetDtrOnOpen(bool on) override {
    local_.SetDtrOnOpen(on);
    network_.SetDtrOnOpen(on);
  }
  bool SetRts(bool on) override { return active_->SetRts(on); }
  bool SetDtr(bool on) override { return active_->SetDtr(on); }

  SerialPort& Local() { return local_; }
  NetworkLine& Network() { return network_; }

 private:
  SerialPort local_;
  NetworkLine network_;
  SerialLine* active_ = &local_;
};

}  // namespace skyh
