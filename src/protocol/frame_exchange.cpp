// The frame exchange of CCom: building and writing request frames, waiting
// for and decoding replies, attempts and sequence numbers.
#include <algorithm>
#include <cstdio>
#include <cstring>

#include "link/ccom.h"
#include "link/tick_timer.h"
#include "protocol/command_codes.h"
#include "protocol/crc16.h"
#include "protocol/reply_parser.h"

namespace skyh {
namespace {

void FormatHexByte(uint8_t value, char out[3]) {
  static const char kDigits[] = "0123456789ABCDEF";
  out[0] = kDigits[value >> 4];
  out[1] = kDigits[value & 0x0F];
  out[2] = '\0';
}

// Time `bytes` need on a line of `bitRate` bits per second, 8N1.
constexpr uint32_t LineTimeMs(uint64_t bytes, uint32_t bitRate) {
  return bitRate == 0 ? 0 : static_cast<uint32_t>((bytes * 10 * 1000 + bitRate - 1) / bitRate);
}

// A reply whose bytes keep coming keeps its wait alive, but not for ever:
// the largest record as hexadecimal text needs 34 s at 9600 baud, and half
// as much again is allowed for a box that sends it with pauses.
constexpr uint32_t kLongestReplyFrameBytes = 10 + 2u * kMaxReplyBytes;
constexpr uint32_t kReplyStreamCapMs = LineTimeMs(kLongestReplyFrameBytes, 9600) * 3 / 2;

}  // namespace

// Queues one byte; a byte that fills the queue sends the queue at once.
bool CCom::QueueByte(uint8_t byte) {
  if (txQueue.Put(byte)) return true;
  return FlushTx();
}

bool CCom::QueueChecked(uint8_t byte) {
  txCrc = Crc16ArcByte(txCrc, byte);
  return QueueByte(byte);
}

bool CCom::SendHexText(const char* text) {
  for (; *text != '\0'; ++text) {
    if (!QueueChecked(static_cast<uint8_t>(*text))) return false;
  }
  return true;
}

bool CCom::FlushTx() {
  uint8_t block[kLinkChunkBytes];
  uint16_t n = txQueue.GetBlock(block, sizeof block);
  if (n == 0) return true;
  writtenBytes_ += n;
  return Write(block, n);
}

bool CCom::SendFrame(uint8_t command, const uint8_t* data, uint16_t length) {
  requestSequence_ = sequence;
  requestCommand_ = command;
  if (data == nullptr) length = 0;
  requestPayload_.assign(data, data + length);

  txCrc = 0;
  QueueByte(kSoh);
  QueueChecked(sequence);
  QueueByte(kStx);
  QueueChecked(command);
  char hex[3];
  for (uint16_t i = 0; i < length; ++i) {
    FormatHexByte(data[i], hex);
    // A forced write failed: the frame is finished without the rest.
    if (!SendHexText(hex)) break;
  }
  const uint16_t crc = txCrc;
  QueueByte(kEtb);
  FormatHexByte(static_cast<uint8_t>(crc & 0xFF), hex);
  QueueByte(static_cast<uint8_t>(hex[0]));
  QueueByte(static_cast<uint8_t>(hex[1]));
  FormatHexByte(static_cast<uint8_t>(crc >> 8), hex);
  QueueByte(static_cast<uint8_t>(hex[0]));
  QueueByte(static_cast<uint8_t>(hex[1]));
  QueueByte(kEtx);
  return FlushTx();
}

void CCom::AdvanceSequence() {
  sequence = sequence >= kLastSequence ? kFirstSequence : static_cast<uint8_t>(sequence + 1);
}

ComResult CCom::RunAttempts(uint8_t command, const uint8_t* data, uint16_t length,
                            uint32_t timeoutMs, uint8_t retries) {
  ComResult result = ComResult::kTimeout;
  for (unsigned attempt = 0; attempt <= retries; ++attempt) {
    writtenBytes_ = 0;
    if (!SendFrame(command, data, length)) return ComResult::kWriteFailed;
    // On a serial line a long request (a code block) is still leaving while
    // the wait begins: its line time must not count against the box.
    const uint32_t lineMs = LineTimeMs(writtenBytes_, transport_.LineBitRate());
    result = WaitReply(command, timeoutMs + lineMs, ReplyCarriesData(command));
    if (result == ComResult::kOk) break;
  }
  AdvanceSequence();
  return result;
}

// A command that may be answered with its own request bytes can only be
// told from the line's echo of it once the line's behaviour is known; a
// command whose reply carries data teaches it.
ComResult CCom::KnowEcho() {
  if (echoState_ != EchoState::kUnknown) return ComResult::kOk;
  uint8_t major, minor, patch;
  return GetFirmwareVersion(major, minor, patch, 0);
}

ComResult CCom::SendCommand(uint8_t command, const uint8_t* data, uint16_t length,
                            uint32_t timeoutMs, uint8_t retries) {
  if (timeoutMs == 0) timeoutMs = GetDefaultTimeout();
  if (!ReplyCarriesData(command)) {
    ComResult learnt = KnowEcho();
    if (learnt != ComResult::kOk) return learnt;
  }
  // A reply that came after its time-out must not answer this command. A
  // retry keeps the sequence number, so its late reply is still valid.
  DiscardReceived();
  return RunAttempts(command, data, length, timeoutMs, retries);
}

bool CCom::IsEchoOfRequest(uint8_t receivedSequence, uint16_t count) const {
  if (receivedSequence != requestSequence_ || replyBuffer[0] != requestCommand_) return false;
  if (count != requestPayload_.size() + 1) return false;
  return std::equal(requestPayload_.begin(), requestPayload_.end(), replyBuffer + 1);
}

ComResult CCom::WaitReply(uint8_t command, uint32_t timeoutMs) {
  return WaitReply(command, timeoutMs, ReplyCarriesData(command));
}

// A half-duplex adapter hands our own frame back; it passes the checksum.
// A frame identical to the request is therefore never the reply of a
// command whose reply carries data (it teaches that the line echoes when
// the reply follows it). For the other commands it is the reply only on a
// line known not to echo, or as the second such frame on an echoing one.
ComResult CCom::WaitReply(uint8_t command, uint32_t timeoutMs, bool replyCarriesData) {
  TickTimer sinceStart(Clock());
  // Restarted whenever bytes of a frame that may answer us arrive, so that
  // a long reply on a slow line is not cut off while it is coming in.
  TickTimer quiet(Clock());
  const uint32_t capMs = timeoutMs + kReplyStreamCapMs;
  std::memset(replyBuffer, 0, sizeof replyBuffer);
  ReplyParser parser(replyBuffer, kMaxReplyBytes);
  uint8_t chunk[kLinkChunkBytes];
  bool echoSeen = false;
  for (;;) {
    uint16_t n = Read(chunk, timeoutMs);
    if (n > sizeof chunk) n = sizeof chunk;
    receivedBytes += n;
    bool ours = false;
    size_t pos = 0;
    while (pos < n) {
      size_t used = 0;
      ReplyParser::Result r = parser.Feed(chunk + pos, n - pos, &used);
      pos += used;
      if (r == ReplyParser::kBadChecksum) return ComResult::kChecksumError;
      // Someone else's frame is skipped; whatever follows it is still parsed.
      if (r != ReplyParser::kComplete || (replyBuffer[0] & 0x7F) != command) continue;
      ours = true;
      bool identical = !parser.EndedByEot() && IsEchoOfRequest(parser.Sequence(), parser.Count());
      if (identical) {
        bool isReply = !replyCarriesData && (echoState_ == EchoState::kNone ||
                                             (echoState_ == EchoState::kEchoes && echoSeen));
        if (!isReply) {
          echoSeen = true;
          continue;
        }
      }
      // An echo followed by the reply proves an echoing line; a reply alone
      // only counts until something is known (an echo may have been lost).
      if (echoSeen) echoState_ = EchoState::kEchoes;
      else if (echoState_ == EchoState::kUnknown) echoState_ = EchoState::kNone;
      replyLength = parser.Count();
      return ComResult::kOk;
    }
    if (!ours && n > 0 && parser.InFrame())
      ours = !parser.HasCommandByte() || (replyBuffer[0] & 0x7F) == command;
    if (ours) quiet.Restart();
    // Tested on every pass, so that a stream of foreign frames cannot keep
    // the wait alive.
    if (quiet.Expired(timeoutMs) || sinceStart.ElapsedMs() >= capMs) break;
  }
  return ComResult::kTimeout;
}

ComResult CCom::SendRawFrame(const uint8_t* data, uint16_t length) {
  auto queueEscaped = [this](uint8_t byte) {
    if (byte == kRawStart || byte == kRawEnd || byte == kRawEscape) QueueByte(kRawEscape);
    QueueByte(byte);
  };
  QueueByte(kRawStart);
  QueueByte(kRawStart);
  uint8_t sum = 0;
  for (uint16_t i = 0; i < length; ++i) {
    sum = static_cast<uint8_t>(sum + data[i]);
    queueEscaped(data[i]);
  }
  queueEscaped(static_cast<uint8_t>(-sum));
  QueueByte(kRawEnd);
  return ComResult::kOk;
}

ComResult CCom::SendBootloaderWake() {
  static const uint8_t kWake[2] = {0, 0};
  return SendRawFrame(kWake, sizeof kWake);
}

// Pass 1 only confirms a "no record" answer of pass 0. Any other failure is
// returned at once: a second pass would step the box past the record that
// pass 0 asked for, and it would be lost.
ComResult CCom::RecordStepExchange(std::vector<uint8_t>& record) {
  // "No record" is the request's own bytes.
  if (ComResult learnt = KnowEcho(); learnt != ComResult::kOk) return learnt;
  for (int pass = 0; pass < 2; ++pass) {
    DiscardReceived();
    ComResult result = RunAttempts(kCmdGetPreviousRecord, nullptr, 0, GetDefaultTimeout(), 1);
    if (result == ComResult::kWriteFailed) return result;
    if (result == ComResult::kOk) {
      if (replyBuffer[0] == (kCmdGetPreviousRecord | kReplyFlag)) {
        record.assign(ReplyPayload(), ReplyPayload() + ReplyPayloadLength());
        return ComResult::kOk;
      }
      result = ComResult::kNoRecord;
    }
    if (result != ComResult::kNoRecord || pass == 1) return result;
  }
  return ComResult::kNoRecord;
}

}  // namespace skyh
