#include "com_port_server.h"

namespace skyh::sim {

using namespace telnet;

namespace {

// Longer subnegotiations than any of the option's are garbage: skipped, not stored.
constexpr size_t kMaxSub = 64;
// Carrier, data set ready and clear to send: a line with a box on it.
constexpr uint8_t kModemState = 0xB0;
constexpr char kSignatureText[] = "skyharvester-sim";

void PutEscaped(uint8_t b, std::vector<uint8_t>& out) {
  out.push_back(b);
  if (b == kIac) out.push_back(kIac);
}

}  // namespace

double LineSettings::BitsPerCharacter() const {
  const double stop = stopSize == 2 ? 2 : stopSize == 3 ? 1.5 : 1;
  return 1 + dataSize + (parity == 1 ? 0 : 1) + stop;
}

std::string LineSettings::Text() const {
  static const char kParity[] = "?NOEMS";
  static const char* const kStop[] = {"?", "1", "2", "1.5"};
  return std::to_string(baud) + " " + std::to_string(dataSize) + kParity[parity <= 5 ? parity : 0] +
         kStop[stopSize <= 3 ? stopSize : 0];
}

std::vector<uint8_t> ComPortServer::FromClient(const uint8_t* data, size_t size) {
  std::vector<uint8_t> answer;
  size_t runStart = 0;  // plain data is handed on in runs
  auto flushRun = [&](size_t end) {
    if (end > runStart && onData) onData(data + runStart, end - runStart);
  };
  for (size_t i = 0; i < size; ++i) {
    const uint8_t b = data[i];
    switch (state_) {
      case State::Data:
        if (b == kIac) {
          flushRun(i);
          state_ = State::Iac;
        }
        continue;  // the run goes on
      case State::Iac:
        if (b == kIac) {
          static const uint8_t kFF = kIac;
          if (onData) onData(&kFF, 1);
          state_ = State::Data;
        } else if (b >= kWill && b <= kDont) {
          verb_ = b;
          state_ = State::Option;
        } else if (b == kSb) {
          sub_.clear();
          subTooLong_ = false;
          state_ = State::Sub;
        } else {
          state_ = State::Data;  // NOP, GA, BRK, a stray SE or no command at all: nothing to do
        }
        break;
      case State::Option:
        Negotiate(verb_, b, answer);
        state_ = State::Data;
        break;
      case State::Sub:
        if (b == kIac) {
          state_ = State::SubIac;
        } else if (sub_.size() < kMaxSub) {
          sub_.push_back(b);
        } else {
          subTooLong_ = true;
        }
        break;
      case State::SubIac:
        if (b == kSe) {
          if (!subTooLong_) SubNegotiation(answer);
          state_ = State::Data;
        } else {
          // IAC IAC is a data 0xFF; anything else after IAC is not allowed
          // inside a subnegotiation and is kept as the byte it is.
          if (sub_.size() < kMaxSub) {
            sub_.push_back(b);
          } else {
            subTooLong_ = true;
          }
          state_ = State::Sub;
        }
        break;
    }
    runStart = i + 1;
  }
  if (state_ == State::Data) flushRun(size);
  return answer;
}

void ComPortServer::Negotiate(uint8_t verb, uint8_t option, std::vector<uint8_t>& answer) {
  // Binary transmission and suppressed go-ahead both ways; the client, not
  // we, does the COM-PORT-OPTION. Answers only on a change, so that no loop
  // of answers can start.
  const bool theyMay = option == kBinary || option == kSuppressGoAhead || option == kComPort;
  const bool weMay = option == kBinary || option == kSuppressGoAhead;
  auto send = [&](uint8_t v) { answer.insert(answer.end(), {kIac, v, option}); };
  switch (verb) {
    case kWill:
      if (!theyMay) {
        send(kDont);
      } else if (!remote_[option]) {
        remote_[option] = true;
        send(kDo);
      }
      break;
    case kWont:
      if (remote_[option]) {
        remote_[option] = false;
        send(kDont);
      }
      break;
    case kDo:
      if (!weMay) {
        send(kWont);
      } else if (!local_[option]) {
        local_[option] = true;
        send(kWill);
      }
      break;
    case kDont:
      if (local_[option]) {
        local_[option] = false;
        send(kWont);
      }
      break;
  }
}

void ComPortServer::AnswerSub(uint8_t code, const std::vector<uint8_t>& value, std::vector<uint8_t>& answer) {
  answer.insert(answer.end(), {kIac, kSb, kComPort, static_cast<uint8_t>(code + kServerOffset)});
  for (uint8_t b : value) PutEscaped(b, answer);
  answer.insert(answer.end(), {kIac, kSe});
}

void ComPortServer::SubNegotiation(std::vector<uint8_t>& answer) {
  // A subnegotiation of an option not agreed is ignored, and so is a short one.
  if (sub_.size() < 2 || sub_[0] != kComPort || !comPortAgreed()) return;
  const uint8_t command = sub_[1];
  const std::vector<uint8_t> value(sub_.begin() + 2, sub_.end());
  const uint8_t v = value.empty() ? 0 : value[0];
  switch (command) {
    case kSignature:
      if (value.empty())
        AnswerSub(command, std::vector<uint8_t>(kSignatureText, kSignatureText + sizeof kSignatureText - 1), answer);
      break;
    case kSetBaudRate: {
      if (value.size() != 4) return;
      const uint32_t baud = uint32_t{value[0]} << 24 | uint32_t{value[1]} << 16 | uint32_t{value[2]} << 8 | value[3];
      if (baud != 0) {
        settings_.baud = baud;
        baudSet_ = true;
        if (onBaud) onBaud(settings_);
      }
      const uint32_t now = settings_.baud;
      AnswerSub(command, {uint8_t(now >> 24), uint8_t(now >> 16), uint8_t(now >> 8), uint8_t(now)}, answer);
      break;
    }
    case kSetDataSize:
      if (v >= 5 && v <= 8) settings_.dataSize = v;
      AnswerSub(command, {settings_.dataSize}, answer);
      break;
    case kSetParity:
      if (v >= 1 && v <= 5) settings_.parity = v;
      AnswerSub(command, {settings_.parity}, answer);
      break;
    case kSetStopSize:
      if (v >= 1 && v <= 3) settings_.stopSize = v;
      AnswerSub(command, {settings_.stopSize}, answer);
      break;
    case kSetControl:
      if (const uint8_t reply = Control(v); reply != 0) AnswerSub(command, {reply}, answer);
      break;
    case kSetLineStateMask: AnswerSub(command, {v}, answer); break;
    case kSetModemStateMask:
      modemStateMask_ = v;
      AnswerSub(command, {v}, answer);
      break;
    case kPurgeData:
      if (v < 1 || v > 3) return;
      if (onPurge) onPurge(v);
      AnswerSub(command, {v}, answer);
      break;
    default: break;  // notifications are ours to send, flow suspension is not modelled
  }
}

uint8_t ComPortServer::Control(uint8_t v) {
  // Requests (0, 4, 7, 10, 13) get the state, settings themselves; 0: no answer.
  LineSettings& s = settings_;
  if (v == 0) return s.flow;
  if (v <= 3 || (v >= 17 && v <= 19)) return s.flow = v;
  if (v == 4) return s.breakOn ? 5 : 6;
  if (v <= 6) return s.breakOn = v == 5, v;
  if (v == 7) return s.dtr ? 8 : 9;
  if (v <= 9) return s.dtr = v == 8, v;
  if (v == 10) return s.rts ? 11 : 12;
  if (v <= 12) return s.rts = v == 11, v;
  if (v == 13) return s.inboundFlow;
  if (v <= 16) return s.inboundFlow = v;
  return 0;
}

std::vector<uint8_t> ComPortServer::ToClient(const uint8_t* data, size_t size) {
  std::vector<uint8_t> out;
  out.reserve(size + size / 8 + 8);
  const uint8_t state = kModemState & modemStateMask_;
  for (size_t i = 0; i < size; ++i) {
    PutEscaped(data[i], out);
    if (notifyEvery_ > 0 && comPortAgreed() && state != 0 && ++sinceNotify_ >= notifyEvery_) {
      sinceNotify_ = 0;
      AnswerSub(kNotifyModemState, {state}, out);
    }
  }
  return out;
}

}  // namespace skyh::sim
