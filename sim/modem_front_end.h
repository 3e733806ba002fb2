#pragma once
// A Hayes modem in front of the box: until a call is up it answers AT
// commands line by line; after "CONNECT" the line carries the protocol.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace skyh::sim {

enum class DialResult { Connect, Busy, NoCarrier, NoAnswer };

struct ModemOptions {
  bool enabled = false;
  bool echo = true;                         // echo after power-up and ATZ
  DialResult dialResult = DialResult::Connect;
  int failingDials = -1;                    // dials answered with dialResult before one connects; -1 all
};

// "connect", "busy", "no-carrier", "no-answer"; false for anything else.
bool ParseDialResult(const std::string& text, DialResult& out);

class ModemFrontEnd {
 public:
  explicit ModemFrontEnd(ModemOptions options = {});

  bool connected() const { return connected_; }
  bool echo() const { return echo_; }
  int dialCount() const { return dials_; }
  // Takes bytes in command mode; the modem's answer (echo and result lines)
  // is appended to `answer`. Returns how many bytes it consumed: it stops
  // right after the dial command that brings the call up.
  size_t Feed(const uint8_t* data, size_t size, std::vector<uint8_t>& answer);
  // The line was dropped (DTR low): back to command mode.
  void HangUp();

 private:
  void Command(const std::string& line, std::vector<uint8_t>& answer);

  ModemOptions options_;
  bool echo_;
  bool connected_ = false;
  int dials_ = 0;
  std::string line_;
};

}  // namespace skyh::sim
