#include "control_box.h"

#include <algorithm>
#include <chrono>

#include "core/time_util.h"

namespace skyh::sim {
namespace {

int64_t SteadyMs() {
  return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

bool IsHexDigit(uint8_t c) {
  return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'F') || (c >= 'a' && c <= 'f');
}

}  // namespace

ControlBox::ControlBox(BoxOptions options, Clock monotonicMs, Clock utcSeconds)
    : options_(std::move(options)),
      monotonicMs_(monotonicMs ? std::move(monotonicMs) : Clock(SteadyMs)),
      utcSeconds_(utcSeconds ? std::move(utcSeconds) : Clock([] { return NowUtc(); })),
      modem_(options_.modem),
      random_(options_.faults.seed) {
  byteMs_ = options_.baud > 0 ? 10000.0 / options_.baud : 0;
  clockOffset_ = options_.clockOffsetSeconds;
  firmware_ = options_.firmware;
  bootInstalled_ = options_.boot.installed;
  bootVersion_ = options_.boot.version;
}

double ControlBox::NowMs() const { return static_cast<double>(monotonicMs_()); }

bool ControlBox::rebooting() const { return rebootUntil_ >= 0 && NowMs() < rebootUntil_; }

void ControlBox::Reopen() {
  silent_ = false;
  repliesSinceOpen_ = 0;
  decoder_.Reset();
  modem_.HangUp();
  output_.clear();
  inputBusyUntil_ = outputBusyUntil_ = 0;
}

bool ControlBox::TakeHangUp() {
  if (hangUpAtMs_ < 0 || NowMs() < hangUpAtMs_) return false;
  if (!output_.empty() && output_.front().first <= hangUpAtMs_) return false;  // the reply is not out yet
  hangUpAtMs_ = -1;
  return true;
}

void ControlBox::SetLine(int baud, double bitsPerCharacter) {
  if (options_.baud > 0 && baud > 0) byteMs_ = 1000.0 * bitsPerCharacter / baud;
}

void ControlBox::Schedule(const std::vector<uint8_t>& bytes, double earliestMs) {
  if (bytes.empty()) return;
  const bool inOrder = output_.empty() || output_.back().first <= earliestMs;
  double t = std::max(earliestMs, outputBusyUntil_);
  for (uint8_t b : bytes) {
    t += byteMs_;
    output_.emplace_back(t, b);
  }
  outputBusyUntil_ = std::max(outputBusyUntil_, t);
  // A late reply may be overtaken by a later one.
  if (!inOrder) std::stable_sort(output_.begin(), output_.end(), [](auto& a, auto& b) { return a.first < b.first; });
}

std::vector<uint8_t> ControlBox::TakeOutput() {
  const double now = NowMs();
  std::vector<uint8_t> out;
  while (!output_.empty() && output_.front().first <= now) {
    out.push_back(output_.front().second);
    output_.pop_front();
  }
  return out;
}

std::vector<uint8_t> ControlBox::TakeAllOutput() {
  std::vector<uint8_t> out;
  for (auto& [due, b] : output_) out.push_back(b);
  output_.clear();
  return out;
}

int64_t ControlBox::NextOutputDueMs() const {
  if (output_.empty()) return -1;
  return static_cast<int64_t>(output_.front().first + 0.999);
}

void ControlBox::Receive(const uint8_t* data, size_t size) {
  if (size == 0) return;
  const double now = NowMs();
  const double arrived = std::max(now, inputBusyUntil_) + byteMs_ * static_cast<double>(size);
  inputBusyUntil_ = arrived;
  if (options_.faults.echoRequests) Schedule(std::vector<uint8_t>(data, data + size), now);
  if (rebooting()) return;
  if (silent_) {
    ++counters_.ignoredWhileSilent;
    return;
  }
  size_t used = 0;
  if (options_.modem.enabled && !modem_.connected()) {
    std::vector<uint8_t> answer;
    used = modem_.Feed(data, size, answer);
    Schedule(answer, arrived);
  }
  if (used >= size) return;
  std::vector<HostFrame> frames;
  decoder_.Feed(data + used, size - used, frames);
  for (const HostFrame& f : frames) {
    if (silent_ || rebooting()) break;
    HandleFrame(f, arrived + options_.faults.answerDelayMs);
  }
}

void ControlBox::HandleFrame(const HostFrame& frame, double readyMs) {
  if (frame.kind == HostFrame::Kind::Raw) {
    // The boot loader's wake-up: a running application hands over to it.
    if (frame.checksumOk) {
      ++counters_.wakeFrames;
      if (bootInstalled_) inBootLoader_ = true;
    }
    return;
  }
  if (!frame.checksumOk) {
    ++counters_.badChecksum;
    return;
  }
  ++counters_.commands;
  if (haveLast_ && frame.sequence == lastSequence_ && frame.command == lastCommand_) {
    // Same number again: the host did not get the answer. Answer again, do not step.
    ++counters_.retransmissions;
    SendReply(lastReply_, readyMs);
    return;
  }
  std::vector<uint8_t> payload;
  uint8_t replyCommand = frame.command;
  if (!Execute(frame, payload, replyCommand, readyMs)) {
    ++counters_.unknownCommands;
    return;
  }
  lastReply_ = EncodeReplyFrame(frame.sequence, replyCommand, payload);
  lastSequence_ = frame.sequence;
  lastCommand_ = frame.command;
  haveLast_ = true;
  SendReply(lastReply_, readyMs);
}

void ControlBox::SendReply(const std::vector<uint8_t>& frame, double readyMs) {
  ++counters_.replies;
  ++repliesSinceOpen_;
  const FaultOptions& f = options_.faults;
  // Always draw the same numbers per reply so a seed replays exactly.
  const double dropDraw = random_.Unit();
  const double corruptDraw = random_.Unit();
  const uint64_t corruptPick = random_.Next();
  const double lateDraw = random_.Unit();
  if (f.silentAfterReplies >= 0 && repliesSinceOpen_ >= f.silentAfterReplies) silent_ = true;
  // Counted over the box's life, so the line drops only once.
  if (counters_.replies == f.hangUpAfterReplies) hangUpAtMs_ = std::max(readyMs, outputBusyUntil_);
  if (f.silentAfterReplies == 0 || dropDraw < f.dropProbability) {
    ++counters_.dropped;
    return;
  }
  std::vector<uint8_t> out = frame;
  if (corruptDraw < f.corruptProbability) {
    // Change one hex digit (payload or checksum) into another: the frame
    // stays well-formed and fails its checksum.
    std::vector<size_t> digits;
    for (size_t i = 4; i + 1 < out.size(); ++i)
      if (IsHexDigit(out[i])) digits.push_back(i);
    if (!digits.empty()) {
      const size_t at = digits[corruptPick % digits.size()];
      static const char kHex[] = "0123456789ABCDEF";
      const int shift = 1 + static_cast<int>((corruptPick >> 32) % 15);
      const int old = out[at] <= '9' ? out[at] - '0' : (out[at] | 0x20) - 'a' + 10;
      out[at] = static_cast<uint8_t>(kHex[(old + shift) % 16]);
      ++counters_.corrupted;
    }
  }
  if (lateDraw < f.lateProbability) {
    readyMs += f.lateDelayMs;
    ++counters_.late;
  }
  Schedule(out, readyMs);
  if (counters_.replies == f.hangUpAfterReplies) hangUpAtMs_ = outputBusyUntil_;
}

bool ControlBox::RecordReply(int index, uint8_t command, std::vector<uint8_t>& reply, uint8_t& replyCommand) {
  if (index < 0 || index >= static_cast<int>(memory_.size())) {
    replyCommand = command;  // no record
    return true;
  }
  reply = memory_.records()[static_cast<size_t>(index)];
  replyCommand = static_cast<uint8_t>(command | kRecordFlag);
  return true;
}

bool ControlBox::Execute(const HostFrame& frame, std::vector<uint8_t>& reply, uint8_t& replyCommand, double readyMs) {
  const std::vector<uint8_t>& p = frame.payload;
  switch (frame.command) {
    case kCmdGetDateTime: {
      DateTimeFields f;
      if (!TimeToFields(utcSeconds_() + clockOffset_, f)) f = DateTimeFields{};
      reply = {static_cast<uint8_t>(f.year - 2000), static_cast<uint8_t>(f.month), static_cast<uint8_t>(f.day),
               static_cast<uint8_t>(f.hour), static_cast<uint8_t>(f.minute), static_cast<uint8_t>(f.second)};
      return true;
    }
    case kCmdSetDateTime:
      if (p.size() >= 6) {
        const int64_t t = FieldsToTime(p[0] + 2000, p[1], p[2], p[3], p[4], p[5]);
        if (t != kInvalidTime) clockOffset_ = t - utcSeconds_();
      }
      return true;
    case kCmdGetLastRecord:
      position_ = static_cast<int>(memory_.size()) - 1;
      return RecordReply(position_, frame.command, reply, replyCommand);
    case kCmdGetPreviousRecord:
      if (position_ > 0) {
        --position_;
      } else {
        position_ = -1;
      }
      return RecordReply(position_, frame.command, reply, replyCommand);
    case kCmdRepeatRecord:
      return RecordReply(position_, frame.command, reply, replyCommand);
    case kCmdGetSettings:
      reply = memory_.settings();
      return true;
    case kCmdWriteSettings: {
      // Offset counts from the settings area, byte 13 of the settings record.
      Bytes& s = memory_.settings();
      const size_t area = s.size() >= 16 ? s.size() - 16 : 0;
      if (p.size() < 2) {
        ++counters_.rejectedWrites;
        return true;
      }
      const size_t offset = p[0] | (p[1] << 8);
      const size_t length = p.size() - 2;
      if (offset > area || length > area - offset) {
        ++counters_.rejectedWrites;  // nothing written outside the area
        return true;
      }
      std::copy(p.begin() + 2, p.end(), s.begin() + static_cast<std::ptrdiff_t>(13 + offset));
      return true;
    }
    case kCmdEndSession:
    case kCmdResetBoard:
      position_ = -1;
      inBootLoader_ = false;  // back to the application until the next wake-up
      return true;
    case kCmdClearFlash:
      memory_.Clear();
      position_ = -1;
      return true;
    case kCmdGetFirmwareVersion:
      reply = {firmware_.major, firmware_.minor};
      if (options_.firmwareVersionBytes >= 3) reply.push_back(firmware_.patch);
      return true;
    case kCmdGetBootInfo:
      if (!inBootLoader_) {
        reply = {0};
        return true;
      }
      reply = {1, static_cast<uint8_t>(options_.boot.blockSize & 0xFF), static_cast<uint8_t>(options_.boot.blockSize >> 8),
               bootVersion_};
      reply.insert(reply.end(), options_.boot.keyBytes.begin(), options_.boot.keyBytes.end());
      return true;
    case kCmdEraseCode:
      // Without a boot loader the application itself takes a plain image.
      flash_.Erase(options_.boot.keyBytes, inBootLoader_);
      checksumWritten_ = false;
      return true;
    case kCmdWriteCode:
      if (p.size() < 4 || !flash_.erased()) {
        ++counters_.rejectedWrites;
        return true;
      }
      flash_.Write(static_cast<uint32_t>(p[0] << 16 | p[1] << 8 | p[2]), p.data() + 3, p.size() - 3);
      return true;
    case kCmdWriteChecksum:
      checksumWritten_ = flash_.erased();
      return true;
    case kCmdVerifyBootBlock:
      bootBlockImage_ = flash_.image();
      if (bootVersion_ == 0) bootVersion_ = options_.boot.versionAfterBootBlock;
      return true;
    case kCmdVerifyApplication:
      applicationImage_ = flash_.image();
      if (inBootLoader_) {
        if (options_.boot.hasVersionAfterUpdate) {
          firmware_ = options_.boot.versionAfterUpdate;
        } else {
          firmware_.minor = static_cast<uint8_t>(firmware_.minor + 1);
        }
      } else {
        bootInstalled_ = true;  // the application-mode image brings the boot loader
      }
      inBootLoader_ = false;
      // Rebooting: deaf from now until the period after the answer has gone.
      rebootUntil_ = readyMs + byteMs_ * 12 + options_.boot.rebootMs;
      return true;
    default:
      return false;
  }
}

}  // namespace skyh::sim
