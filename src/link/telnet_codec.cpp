#include "link/telnet_codec.h"

#include "core/format.h"

namespace skyh {

using namespace telnet;

namespace {

// What we perform, and what we let the server perform; anything else is
// refused. Binary both ways keeps CR and NUL untouched.
bool WeMay(uint8_t option) { return option == kBinary || option == kSuppressGoAhead || option == kComPort; }
bool ServerMay(uint8_t option) { return option == kBinary || option == kSuppressGoAhead; }

void Send(uint8_t verb, uint8_t option, std::vector<uint8_t>& out) { out.insert(out.end(), {kIac, verb, option}); }

}  // namespace

void TelnetCodec::Escape(const uint8_t* in, size_t size, std::vector<uint8_t>& out) {
  for (size_t i = 0; i < size; ++i) {
    if (in[i] == kIac) out.push_back(kIac);
    out.push_back(in[i]);
  }
}

void TelnetCodec::Start(std::vector<uint8_t>& out) {
  for (auto& q : us_) q = Q::kNo;
  for (auto& q : him_) q = Q::kNo;
  state_ = State::kData;
  sub_.clear();
  error_.clear();
  dtr_ = rts_ = -1;
  Ask(kWill, kComPort, out);
  Ask(kWill, kBinary, out);
  Ask(kDo, kBinary, out);
  Ask(kWill, kSuppressGoAhead, out);
  Ask(kDo, kSuppressGoAhead, out);
}

void TelnetCodec::Ask(uint8_t verb, uint8_t option, std::vector<uint8_t>& out) {
  (verb == kWill ? us_ : him_)[option] = Q::kWantYes;
  Send(verb, option, out);
}

void TelnetCodec::Receive(uint8_t verb, uint8_t option, std::vector<uint8_t>& out) {
  const bool offer = verb == kWill || verb == kDo;
  const bool ours = verb == kDo || verb == kDont;
  Q& q = ours ? us_[option] : him_[option];
  const uint8_t yes = ours ? kWill : kDo, no = ours ? kWont : kDont;
  switch (q) {
    case Q::kNo:
      if (!offer) break;
      if (ours ? WeMay(option) : ServerMay(option)) {
        q = Q::kYes;
        Send(yes, option, out);
        if (ours) Enabled(option, out);
      } else {
        Send(no, option, out);
      }
      break;
    case Q::kYes:
      if (offer) break;
      q = Q::kNo;
      Send(no, option, out);
      break;
    case Q::kWantYes:
      // The answer to our request.
      q = offer ? Q::kYes : Q::kNo;
      if (offer && ours) Enabled(option, out);
      break;
  }
}

void TelnetCodec::Enabled(uint8_t option, std::vector<uint8_t>& out) {
  if (option != kComPort) return;
  const uint8_t baud[4] = {uint8_t(baudRate_ >> 24), uint8_t(baudRate_ >> 16), uint8_t(baudRate_ >> 8),
                           uint8_t(baudRate_)};
  ComPortCommand(kSetBaudRate, baud, 4, out);
  const uint8_t eight = 8, none = kParityNone, one = kStopBitsOne, noFlow = kControlNoFlow;
  ComPortCommand(kSetDataSize, &eight, 1, out);
  ComPortCommand(kSetParity, &none, 1, out);
  ComPortCommand(kSetStopSize, &one, 1, out);
  ComPortCommand(kSetControl, &noFlow, 1, out);
  if (dtr_ >= 0) SetDtr(dtr_ != 0, out);
  if (rts_ >= 0) SetRts(rts_ != 0, out);
}

void TelnetCodec::ComPortCommand(uint8_t command, const uint8_t* value, size_t size, std::vector<uint8_t>& out) {
  out.insert(out.end(), {kIac, kSb, kComPort, command});
  Escape(value, size, out);
  out.insert(out.end(), {kIac, kSe});
}

void TelnetCodec::SetDtr(bool on, std::vector<uint8_t>& out) {
  dtr_ = on ? 1 : 0;
  const uint8_t value = on ? kControlDtrOn : kControlDtrOff;
  if (ComPortEnabled()) ComPortCommand(kSetControl, &value, 1, out);
}

void TelnetCodec::SetRts(bool on, std::vector<uint8_t>& out) {
  rts_ = on ? 1 : 0;
  const uint8_t value = on ? kControlRtsOn : kControlRtsOff;
  if (ComPortEnabled()) ComPortCommand(kSetControl, &value, 1, out);
}

void TelnetCodec::Purge(std::vector<uint8_t>& out) {
  const uint8_t value = kPurgeReceived;
  if (ComPortEnabled()) ComPortCommand(kPurgeData, &value, 1, out);
}

bool TelnetCodec::Garbage(const std::string& why) {
  state_ = State::kGarbage;
  sub_.clear();
  error_ = why;
  return false;
}

bool TelnetCodec::Feed(const uint8_t* in, size_t size, std::vector<uint8_t>& data, std::vector<uint8_t>& out) {
  for (size_t i = 0; i < size; ++i) {
    const uint8_t b = in[i];
    switch (state_) {
      case State::kData:
        if (b == kIac) state_ = State::kIac;
        else data.push_back(b);
        break;
      case State::kIac:
        state_ = State::kData;
        if (b == kIac) {
          data.push_back(b);
        } else if (b >= kWill) {
          verb_ = b;
          state_ = State::kVerb;
        } else if (b == kSb) {
          sub_.clear();
          state_ = State::kSub;
        } else if (b < kSe) {
          return Garbage(Sprintf("unknown Telnet command %d", b));
        }
        // SE outside a subnegotiation, NOP, GA and the like change nothing.
        break;
      case State::kVerb:
        Receive(verb_, b, out);
        state_ = State::kData;
        break;
      case State::kSub:
      case State::kSubIac:
        if (state_ == State::kSub && b == kIac) {
          state_ = State::kSubIac;
          break;
        }
        if (state_ == State::kSubIac && b == kSe) {
          // Notifications and answers to our settings: nothing needs them.
          sub_.clear();
          state_ = State::kData;
          break;
        }
        if (state_ == State::kSubIac && b != kIac)
          return Garbage(Sprintf("Telnet command %d inside a subnegotiation", b));
        if (sub_.size() >= kMaxSubnegotiation)
          return Garbage(Sprintf("a subnegotiation longer than %d bytes", int(kMaxSubnegotiation)));
        sub_.push_back(b);
        state_ = State::kSub;
        break;
      case State::kGarbage: return false;
    }
  }
  return state_ != State::kGarbage;
}

}  // namespace skyh
