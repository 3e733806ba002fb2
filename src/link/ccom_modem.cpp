#include "link/ccom_modem.h"

#include <algorithm>
#include <condition_variable>
#include <mutex>

#include "core/format.h"
#include "link/ccom.h"
#include "link/tick_timer.h"

namespace skyh {
namespace {

constexpr uint32_t kSetUpTimeoutMs = 500;
constexpr uint8_t kSetUpRetries = 5;
constexpr uint32_t kDialTimeoutMs = 60000;
constexpr uint8_t kDialRetries = 2;
constexpr uint32_t kPauseMs = 100;

const char* const kFinalWords[] = {"BUSY", "ERROR", "NO CARRIER", "NO ANSWER", "NO DIALTONE"};

bool HasFinalWord(const std::string& line) {
  for (const char* word : kFinalWords) {
    if (line.find(word) != std::string::npos) return true;
  }
  return false;
}

std::string ShowLineEnds(const std::string& text) {
  std::string out;
  for (char c : text) {
    if (c == '\r') {
      out += "|0D|";
    } else if (c == '\n') {
      out += "|0A|";
    } else {
      out += c;
    }
  }
  return out;
}

}  // namespace

bool ModemDialer::IsValidPhoneNumber(const std::string& number) {
  size_t start = !number.empty() && number[0] == '+' ? 1 : 0;
  if (start == number.size()) return false;
  return number.find_first_not_of("0123456789*#,", start) == std::string::npos;
}

std::string CleanPhoneNumber(const std::string& text) {
  std::string clean;
  for (size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if ((c >= '0' && c <= '9') || c == '*' || c == '#' || c == ',' || (i == 0 && c == '+')) clean += c;
  }
  return clean;
}

void ModemDialer::SetClock(MonotonicClock* clock) {
  Transport::SetClock(clock);
  line_.SetClock(clock);
}

void ModemDialer::Pause(uint32_t ms) {
  std::mutex m;
  std::condition_variable never;
  std::unique_lock<std::mutex> lock(m);
  Clock().WaitFor(never, lock, ms, [] { return false; });
}

bool ModemDialer::FailOpen(const std::string& message) {
  lastError = message;
  line_.Close();
  return false;
}

bool ModemDialer::Open() {
  // The line checks its port name first; the number is checked before the
  // line is touched.
  if (!line_.PortName().empty()) {
    if (phoneNumber.empty()) {
      lastError = "Error Phone number is empty";
      return false;
    }
    if (!IsValidPhoneNumber(phoneNumber)) {
      // Anything else would reach the modem as part of its command line.
      lastError = Sprintf("Error Phone number \"%s\" is invalid: only digits, *, # and , after an optional +",
                          ShowLineEnds(phoneNumber));
      return false;
    }
  }
  if (!line_.Open()) {
    lastError = line_.LastError();
    return false;
  }
  unread_.clear();
  std::string reply;
  for (const char* command : {"AT\r", "ATZ\r", "ATE0\r", "ATM0\r"}) {
    if (!SendAt(command, "OK", kSetUpTimeoutMs, kSetUpRetries, reply))
      return FailOpen("Error no reply from modem:\n\"" + reply + "\"");
    Pause(kPauseMs);
  }
  if (!SendAt("ATD" + phoneNumber + "\r", "CONNECT", kDialTimeoutMs, kDialRetries, reply))
    return FailOpen(Sprintf("Error no reply from: \"%s\": \n\"%s\"", phoneNumber, reply));
  Pause(kPauseMs);
  return true;
}

void ModemDialer::Close() {
  // Dropping DTR makes the modem hang up.
  line_.SetRts(false);
  line_.SetDtr(false);
  line_.Close();
}

uint16_t ModemDialer::Read(uint8_t* buffer, uint16_t size, uint32_t timeoutMs) {
  if (unread_.empty()) return line_.Read(buffer, size, timeoutMs);
  uint16_t n = static_cast<uint16_t>(std::min<size_t>(size, unread_.size()));
  std::copy_n(unread_.begin(), n, buffer);
  unread_.erase(0, n);
  return n;
}

void ModemDialer::Purge() {
  unread_.clear();
  line_.Purge();
}

bool ModemDialer::SendAt(const std::string& command, const std::string& expected,
                         uint32_t timeoutMs, uint8_t retries, std::string& reply) {
  reply.clear();
  std::string lines;
  bool found = false;
  for (int attempt = 0; attempt <= retries && !found; ++attempt) {
    Purge();
    if (!line_.Write(reinterpret_cast<const uint8_t*>(command.data()),
                     static_cast<uint16_t>(command.size())))
      break;
    found = WaitModemReply(expected, timeoutMs, lines);
  }
  reply = ShowLineEnds(lines);
  return found;
}

bool ModemDialer::WaitModemReply(const std::string& expected, uint32_t timeoutMs,
                                 std::string& reply) {
  TickTimer timer(Clock());
  reply.clear();
  std::string line;
  for (;;) {
    for (size_t used = 0; used < unread_.size();) {
      line.push_back(unread_[used++]);
      if (line.find("\r\n") == std::string::npos) continue;
      bool found = line.find(expected) != std::string::npos;
      bool final = !found && HasFinalWord(line);
      reply += line;
      line.clear();
      if (found || final) {
        unread_.erase(0, used);
        return found;
      }
    }
    unread_.clear();
    if (timer.Expired(timeoutMs)) return false;
    // Sleep until bytes come or the time is up, instead of polling.
    uint32_t elapsed = timer.ElapsedMs();
    uint8_t chunk[kLinkChunkBytes];
    uint16_t n = line_.Read(chunk, sizeof chunk, elapsed < timeoutMs ? timeoutMs - elapsed : 1);
    unread_.append(chunk, chunk + n);
  }
}

}  // namespace skyh
