#include "modem_front_end.h"

#include "core/text_util.h"

namespace skyh::sim {
namespace {

void AppendLine(std::vector<uint8_t>& out, const std::string& text) {
  std::string s = "\r\n" + text + "\r\n";
  out.insert(out.end(), s.begin(), s.end());
}

const char* DialWord(DialResult r) {
  switch (r) {
    case DialResult::Busy: return "BUSY";
    case DialResult::NoCarrier: return "NO CARRIER";
    case DialResult::NoAnswer: return "NO ANSWER";
    case DialResult::Connect: break;
  }
  return "CONNECT 9600";
}

}  // namespace

bool ParseDialResult(const std::string& text, DialResult& out) {
  const std::string t = ToLowerAscii(text);
  if (t == "connect") out = DialResult::Connect;
  else if (t == "busy") out = DialResult::Busy;
  else if (t == "no-carrier") out = DialResult::NoCarrier;
  else if (t == "no-answer") out = DialResult::NoAnswer;
  else return false;
  return true;
}

ModemFrontEnd::ModemFrontEnd(ModemOptions options) : options_(options), echo_(options.echo) {}

void ModemFrontEnd::HangUp() {
  connected_ = false;
  line_.clear();
}

size_t ModemFrontEnd::Feed(const uint8_t* data, size_t size, std::vector<uint8_t>& answer) {
  for (size_t i = 0; i < size; ++i) {
    const uint8_t b = data[i];
    if (echo_) answer.push_back(b);
    if (b == '\n') continue;
    if (b != '\r') {
      if (line_.size() < 256) line_.push_back(static_cast<char>(b));
      continue;
    }
    std::string line;
    line.swap(line_);
    Command(line, answer);
    if (connected_) return i + 1;
  }
  return size;
}

void ModemFrontEnd::Command(const std::string& raw, std::vector<uint8_t>& answer) {
  std::string line = ToUpperAscii(TrimBlanks(raw));
  if (line.empty()) return;
  // Like a real modem, skip whatever came before the attention characters.
  const size_t at = line.find("AT");
  if (at == std::string::npos) {
    AppendLine(answer, "ERROR");
    return;
  }
  const std::string body = line.substr(at + 2);
  if (body.rfind("D", 0) == 0) {
    std::string number = body.substr(1);
    if (!number.empty() && (number[0] == 'T' || number[0] == 'P')) number.erase(0, 1);
    if (number.empty()) {
      AppendLine(answer, "ERROR");
      return;
    }
    ++dials_;
    const bool fails = options_.dialResult != DialResult::Connect &&
                       (options_.failingDials < 0 || dials_ <= options_.failingDials);
    if (fails) {
      AppendLine(answer, DialWord(options_.dialResult));
    } else {
      AppendLine(answer, DialWord(DialResult::Connect));
      connected_ = true;
    }
    return;
  }
  if (body == "Z") {
    echo_ = options_.echo;
  } else if (body == "E0") {
    echo_ = false;
  } else if (body == "E1" || body == "E") {
    echo_ = true;
  } else if (body == "H" || body == "H0") {
    connected_ = false;
  }
  AppendLine(answer, "OK");
}

}  // namespace skyh::sim
