#include "link/ccom_modem.h"

#include <condition_variable>
#include <mutex>

#include "core/format.h"
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

bool CComModem::IsValidPhoneNumber(const std::string& number) {
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

void CComModem::Pause(uint32_t ms) {
  std::mutex m;
  std::condition_variable never;
  std::unique_lock<std::mutex> lock(m);
  Clock().WaitFor(never, lock, ms, [] { return false; });
}

void CComModem::FailOpen(const std::string& message) {
  lastError = message;
  port.Close();
}

bool CComModem::Open() {
  lastError.clear();
  if (connected) return true;
  if (!CheckPortName()) return false;
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
  if (!OpenPort() || !StartReceiving()) return false;
  port.SetDtr(true);
  port.SetRts(true);

  std::string reply;
  for (const char* command : {"AT\r", "ATZ\r", "ATE0\r", "ATM0\r"}) {
    if (!SendAt(command, "OK", kSetUpTimeoutMs, kSetUpRetries, reply)) {
      FailOpen("Error no reply from modem:\n\"" + reply + "\"");
      return false;
    }
    Pause(kPauseMs);
  }
  if (!SendAt("ATD" + phoneNumber + "\r", "CONNECT", kDialTimeoutMs, kDialRetries, reply)) {
    FailOpen(Sprintf("Error no reply from: \"%s\": \n\"%s\"", phoneNumber, reply));
    return false;
  }
  Pause(kPauseMs);
  MarkOpened();
  return true;
}

bool CComModem::Close() {
  // Dropping DTR makes the modem hang up.
  port.SetRts(false);
  port.SetDtr(false);
  return CComSerial::Close();
}

bool CComModem::SendAt(const std::string& command, const std::string& expected,
                       uint32_t timeoutMs, uint8_t retries, std::string& reply) {
  reply.clear();
  if (!port.IsOpen()) return false;
  std::string lines;
  bool found = false;
  for (int attempt = 0; attempt <= retries && !found; ++attempt) {
    port.Purge();
    port.Write(reinterpret_cast<const uint8_t*>(command.data()),
               static_cast<uint16_t>(command.size()));
    found = WaitModemReply(expected, timeoutMs, lines);
  }
  reply = ShowLineEnds(lines);
  return found;
}

bool CComModem::WaitModemReply(const std::string& expected, uint32_t timeoutMs,
                               std::string& reply) {
  TickTimer timer(Clock());
  reply.clear();
  std::string line;
  for (;;) {
    uint8_t byte;
    while (port.rxQueue.Get(byte)) {
      line.push_back(static_cast<char>(byte));
      if (line.find("\r\n") == std::string::npos) continue;
      bool found = line.find(expected) != std::string::npos;
      bool final = !found && HasFinalWord(line);
      reply += line;
      line.clear();
      if (found) return true;
      if (final) return false;
    }
    if (timer.Expired(timeoutMs)) return false;
    // Sleep until bytes come or the time is up, instead of polling.
    uint32_t elapsed = timer.ElapsedMs();
    port.rxQueue.WaitForData(elapsed < timeoutMs ? timeoutMs - elapsed : 1, Clock());
  }
}

}  // namespace skyh
