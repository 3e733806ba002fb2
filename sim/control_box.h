#pragma once
// The control box as a device model: bytes from the host go in, the box's
// answer comes out when its time has come. Clocks are injectable so that
// tests drive time themselves.
#include <cstdint>
#include <deque>
#include <functional>
#include <vector>

#include "box_frame.h"
#include "box_memory.h"
#include "code_flash.h"
#include "fault_random.h"
#include "modem_front_end.h"

namespace skyh::sim {

// Command bytes the box understands.
enum BoxCommand : uint8_t {
  kCmdResetBoard = 0x40,
  kCmdGetDateTime = 0x41,
  kCmdSetDateTime = 0x42,
  kCmdGetLastRecord = 0x43,
  kCmdGetPreviousRecord = 0x44,
  kCmdRepeatRecord = 0x46,
  kCmdGetSettings = 0x47,
  kCmdWriteSettings = 0x48,
  kCmdEndSession = 0x4B,
  kCmdClearFlash = 0x4D,
  kCmdGetFirmwareVersion = 0x3E,
  kCmdGetBootInfo = 0x49,
  kCmdEraseCode = 0x22,
  kCmdWriteCode = 0x23,
  kCmdWriteChecksum = 0x28,
  kCmdVerifyApplication = 0x26,
  kCmdVerifyBootBlock = 0x29,
};
constexpr uint8_t kRecordFlag = 0x80;  // set on a reply that carries a record

struct FaultOptions {
  uint64_t seed = 1;
  double corruptProbability = 0;   // one hex digit of a reply changed
  double dropProbability = 0;      // reply lost (the command still took effect)
  int silentAfterReplies = -1;     // silent after N replies until the line is reopened; -1 never
  int answerDelayMs = 0;           // every answer this late
  bool echoRequests = false;       // the host's bytes come back (half-duplex adapter)
  double lateProbability = 0;      // reply sent lateDelayMs later than usual
  int lateDelayMs = 3500;
  int hangUpAfterReplies = -1;     // the line drops once, right after reply N has gone out; -1 never
};

struct FirmwareVersion {
  uint8_t major = 2, minor = 1, patch = 0;
  bool operator==(const FirmwareVersion&) const = default;
};

struct BootOptions {
  bool installed = true;             // false: GetBootInfo answers mode 0 until an application-mode image is verified
  uint8_t version = 2;               // 0: the boot block gets written first; 0xFF: debug build
  uint8_t versionAfterBootBlock = 2;
  uint16_t blockSize = 1024;
  std::vector<uint8_t> keyBytes = {0x5C, 0x21, 0xA7, 0x3E, 0x90, 0x4B, 0xD2, 0x17};
  int rebootMs = 3000;               // silent period after VerifyApplication
  bool hasVersionAfterUpdate = false;
  FirmwareVersion versionAfterUpdate;  // otherwise the minor number goes up by one
};

struct BoxOptions {
  int baud = 0;                      // emulated line speed, 8N1; 0 = instantaneous
  int64_t clockOffsetSeconds = 0;    // the box's clock against the host's UTC clock
  FirmwareVersion firmware;
  int firmwareVersionBytes = 3;      // 2: GetFirmwareVersion answers major and minor only
  FaultOptions faults;
  BootOptions boot;
  ModemOptions modem;
};

struct BoxCounters {
  int commands = 0;          // command frames with a good checksum
  int replies = 0;           // replies produced (before faults)
  int retransmissions = 0;   // repeated sequence numbers answered from the cache
  int dropped = 0, corrupted = 0, late = 0;
  int badChecksum = 0, unknownCommands = 0, ignoredWhileSilent = 0;
  int wakeFrames = 0, rejectedWrites = 0;
};

class ControlBox {
 public:
  using Clock = std::function<int64_t()>;

  // `monotonicMs` measures reply timing; `utcSeconds` is the host's clock
  // the box's own clock runs against. Empty functions take the system clocks.
  explicit ControlBox(BoxOptions options = {}, Clock monotonicMs = {}, Clock utcSeconds = {});

  BoxMemory& memory() { return memory_; }
  const BoxMemory& memory() const { return memory_; }

  // Host -> box.
  void Receive(const uint8_t* data, size_t size);
  void Receive(const std::vector<uint8_t>& data) { Receive(data.data(), data.size()); }
  // Box -> host: the bytes due by now.
  std::vector<uint8_t> TakeOutput();
  // Every queued byte, due or not (tests that do not care about timing).
  std::vector<uint8_t> TakeAllOutput();
  // When the next queued byte is due (monotonic ms), or -1 with nothing queued.
  int64_t NextOutputDueMs() const;
  // The host closed and opened the line again: silence ends, the modem hangs
  // up, half-sent bytes are lost. The walk position stays.
  void Reopen();
  // True once, when the line is to drop (hangUpAfterReplies): the reply
  // before it has been taken whole.
  bool TakeHangUp();
  // The host changed the line's speed or character size. Line timing follows
  // only when the box models a line speed at all (`baud` above 0).
  void SetLine(int baud, double bitsPerCharacter);
  double msPerByte() const { return byteMs_; }
  // Purge of the line's buffers: the answers not yet sent, the request bytes
  // not yet framed.
  void PurgeOutput() { output_.clear(); }
  void PurgeInput() { decoder_.Reset(); }

  bool silent() const { return silent_; }
  bool rebooting() const;
  bool inBootLoader() const { return inBootLoader_; }
  uint8_t bootVersion() const { return bootVersion_; }
  FirmwareVersion firmware() const { return firmware_; }
  const BoxCounters& counters() const { return counters_; }
  const ModemFrontEnd& modem() const { return modem_; }
  int64_t clockOffsetSeconds() const { return clockOffset_; }
  // Index of the record last sent in the walk, -1 before the first or past the oldest.
  int walkPosition() const { return position_; }

  // Boot loader side, for tests of the firmware update.
  void SetBootVersion(uint8_t v) { bootVersion_ = v; }
  void SetBlockSize(uint16_t size) { options_.boot.blockSize = size; }
  void SetKeyBytes(std::vector<uint8_t> key) { options_.boot.keyBytes = std::move(key); }
  const CodeFlash& codeFlash() const { return flash_; }
  // The images the last VerifyApplication / VerifyBootBlock accepted.
  const std::vector<uint8_t>& applicationImage() const { return applicationImage_; }
  const std::vector<uint8_t>& bootBlockImage() const { return bootBlockImage_; }
  bool checksumWritten() const { return checksumWritten_; }

 private:
  double NowMs() const;
  void HandleFrame(const HostFrame& frame, double readyMs);
  bool Execute(const HostFrame& frame, std::vector<uint8_t>& reply, uint8_t& replyCommand, double readyMs);
  void SendReply(const std::vector<uint8_t>& frame, double readyMs);
  void Schedule(const std::vector<uint8_t>& bytes, double earliestMs);
  bool RecordReply(int index, uint8_t command, std::vector<uint8_t>& reply, uint8_t& replyCommand);

  BoxOptions options_;
  Clock monotonicMs_, utcSeconds_;
  BoxMemory memory_;
  HostFrameDecoder decoder_;
  ModemFrontEnd modem_;
  FaultRandom random_;
  CodeFlash flash_;

  double byteMs_ = 0;
  double inputBusyUntil_ = 0, outputBusyUntil_ = 0;
  std::deque<std::pair<double, uint8_t>> output_;

  int64_t clockOffset_ = 0;
  int position_ = -1;
  bool haveLast_ = false;
  uint8_t lastSequence_ = 0, lastCommand_ = 0;
  std::vector<uint8_t> lastReply_;

  bool silent_ = false;
  int repliesSinceOpen_ = 0;
  double rebootUntil_ = -1;
  double hangUpAtMs_ = -1;

  FirmwareVersion firmware_;
  bool bootInstalled_ = true;
  bool inBootLoader_ = false;
  uint8_t bootVersion_ = 0;
  bool checksumWritten_ = false;
  std::vector<uint8_t> applicationImage_, bootBlockImage_;
  BoxCounters counters_;
};

}  // namespace skyh::sim
