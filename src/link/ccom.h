#pragma once
// The link to the control box: the frame exchange and every command over a
// byte transport (serial, modem, USB, or a test's), so each command runs
// over whichever link is active. Exchanges on one object must not overlap:
// the engine takes no lock.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "core/result_code.h"
#include "link/byte_queue.h"
#include "link/monotonic_clock.h"
#include "link/transport.h"

namespace skyh {

// Result of every exchange and command; callers print its number in decimal
// (ResultCode).
enum class ComResult : uint32_t {
  kOk = 0,             // a valid reply to this command arrived
  kChecksumError = 1,  // the last reply had a wrong checksum
  kTimeout = 2,        // no complete reply within the time-out
  kNoRecord = 3,       // record stepping: the reply carried no record
  kWriteFailed = 4,    // writing the finished frame failed
};

// Largest record the instrument keeps (14-bit length); a reply carries it
// after its command byte.
constexpr uint16_t kMaxRecordBytes = 16383;
constexpr uint16_t kMaxReplyBytes = kMaxRecordBytes + 1;
// Size of one Read chunk and of the transmit queue.
constexpr uint16_t kLinkChunkBytes = 4096;

class CCom {
 public:
  // The engine over `transport`, which must outlive it; a derived link owns
  // its transport and closes it in its own destructor.
  explicit CCom(Transport& transport);
  CCom(const CCom&) = delete;
  CCom& operator=(const CCom&) = delete;
  virtual ~CCom();

  // ---- link operations over the transport ----
  // Hands `length` bytes to the transport; true when they were accepted.
  bool Write(const uint8_t* data, uint16_t length);
  // Waits at most `timeoutMs` for received bytes and copies what is there
  // (at most kLinkChunkBytes) into `buffer`, returning as soon as some bytes
  // are available; 0 when none came. With `timeoutMs` 0 it does not block.
  uint16_t Read(uint8_t* buffer, uint32_t timeoutMs);
  // Clears the last error; true at once when connected; otherwise opens the
  // transport and sets connected, or takes its error and returns false.
  // Whether the line echoes is learnt again after every open.
  bool Open();
  // Closes the transport, clears connected; always true.
  bool Close();
  // Reply time-out in ms used when a command gives none.
  uint32_t GetDefaultTimeout() const { return transport_.DefaultTimeoutMs(); }
  // One line for the status bar.
  std::string GetDescription() { return transport_.Description(connected); }
  // Drops received bytes that nobody waits for, before a command with a new
  // sequence number.
  void DiscardReceived() { transport_.Purge(); }

  std::string GetLastErrorText() const { return lastError; }
  bool IsConnected() const { return connected; }

  // The clock used for reply time-outs and receive waits: the process-wide
  // clock unless one was set (null returns to the process-wide clock).
  void SetClock(MonotonicClock* clock) { transport_.SetClock(clock); }
  MonotonicClock& Clock() const { return transport_.Clock(); }

  // ---- frame exchange ----
  // One framed command and its reply, with `retries` extra attempts on one
  // sequence number; `timeoutMs` 0 takes GetDefaultTimeout().
  ComResult SendCommand(uint8_t command, const uint8_t* data, uint16_t length,
                        uint32_t timeoutMs, uint8_t retries);
  // Reads and decodes until the reply to `command` arrives (0), a checksum
  // error is found (1) or the time-out passes (2). The time-out counts from
  // the last byte of a frame that may answer `command`, up to an overall cap.
  ComResult WaitReply(uint8_t command, uint32_t timeoutMs);
  // Queues each character of `text`, adding it to the frame checksum;
  // false when a write forced by a full queue failed.
  bool SendHexText(const char* text);
  // Drains txQueue (at most 4096 bytes) into one Write; true when nothing
  // was queued.
  bool FlushTx();
  // Queues a raw boot-loader frame (no sequence, no CRC) in front of the next
  // command frame; nothing is written yet. Always 0.
  ComResult SendRawFrame(const uint8_t* data, uint16_t length);
  // The raw frame of two zero bytes that wakes the boot loader.
  ComResult SendBootloaderWake();

  // The last accepted reply: command byte as received, then its payload.
  const uint8_t* ReplyPayload() const { return replyBuffer + 1; }
  uint16_t ReplyPayloadLength() const { return replyLength > 0 ? replyLength - 1 : 0; }
  uint16_t ReplyLength() const { return replyLength; }
  uint8_t Sequence() const { return sequence; }
  // Every byte read while waiting for replies; the engine never resets it.
  uint32_t ReceivedBytes() const { return receivedBytes; }
  void ResetReceivedBytes() { receivedBytes = 0; }

  // ---- command set ----
  // Times are seconds since 1970 on the instrument's clock (UTC fields).
  ComResult GetDateTime(int64_t& time);
  ComResult SetDateTime(int64_t time);
  // Record reads fill `record` with the reply's payload on result 0 and leave
  // it untouched otherwise.
  ComResult GetLastRecord(std::vector<uint8_t>& record);
  ComResult GetPreviousRecord(std::vector<uint8_t>& record);  // 3: no record
  ComResult RepeatRecord(std::vector<uint8_t>& record);
  ComResult GetSettings(std::vector<uint8_t>& settings);
  // Writes `length` bytes of the settings record `settings` starting at
  // `offset` (settings[offset] is the first byte sent).
  ComResult WriteSettings(const uint8_t* settings, uint16_t offset, uint16_t length);
  ComResult EndSession();
  ComResult ResetBoard();
  ComResult ClearFlash();
  // All three are 0xFF first; patch stays 0xFF for a two-byte version.
  ComResult GetFirmwareVersion(uint8_t& major, uint8_t& minor, uint8_t& patch,
                               uint32_t timeoutMs);
  // mode and blockSize are 0 whatever the result; keyBytes/keyLength hold the
  // scrambling key when mode is not 0.
  ComResult GetBootInfo(uint8_t& mode, uint16_t& blockSize, uint8_t& bootVersion,
                        std::vector<uint8_t>& keyBytes, int32_t& keyLength);
  ComResult EraseCode();
  // `payload`: 3-byte address, most significant first, then the code block.
  ComResult WriteCode(const uint8_t* payload, uint16_t length);
  ComResult WriteChecksum();
  ComResult VerifyApplication();
  ComResult VerifyBootBlock();

 protected:
  // ---- protocol state ----
  uint16_t txCrc = 0;
  // Decoded reply: command byte, payload, and room for the two checksum
  // bytes that are decoded before they are checked.
  uint8_t replyBuffer[kMaxReplyBytes + 2] = {};
  uint16_t replyLength = 0;
  uint8_t sequence = 0x21;
  uint32_t receivedBytes = 0;

  // ---- transport state ----
  Transport& transport_;
  bool connected = false;
  ByteQueue txQueue{kLinkChunkBytes};
  std::string lastError;

 private:
  bool QueueByte(uint8_t byte);
  bool QueueChecked(uint8_t byte);
  bool SendFrame(uint8_t command, const uint8_t* data, uint16_t length);
  ComResult RunAttempts(uint8_t command, const uint8_t* data, uint16_t length,
                        uint32_t timeoutMs, uint8_t retries);
  void AdvanceSequence();
  bool IsEchoOfRequest(uint8_t receivedSequence, uint16_t count) const;
  ComResult WaitReply(uint8_t command, uint32_t timeoutMs, bool replyCarriesData);
  // Learns whether the line echoes, unless that is known since the last Open.
  ComResult KnowEcho();
  ComResult ReadReplyPayload(uint8_t command, uint32_t timeoutMs, uint8_t retries,
                             std::vector<uint8_t>& out);
  ComResult RecordStepExchange(std::vector<uint8_t>& record);

  // Whether the line hands our frames back (a half-duplex adapter), learnt
  // from the replies of commands whose reply carries data: an echo comes
  // before the answer. Forgotten on every Open.
  enum class EchoState : uint8_t { kUnknown, kNone, kEchoes };
  EchoState echoState_ = EchoState::kUnknown;
  // Bytes handed to Write since the current attempt began.
  uint32_t writtenBytes_ = 0;
  // The request frame on the wire now, to recognise its echo.
  uint8_t requestSequence_ = 0;
  uint8_t requestCommand_ = 0;
  std::vector<uint8_t> requestPayload_;
};

}  // namespace skyh
