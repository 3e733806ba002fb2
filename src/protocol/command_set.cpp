// The control box's commands, each one exchange of CCom.
#include <vector>

#include "core/time_util.h"
#include "link/ccom.h"
#include "protocol/command_codes.h"

namespace skyh {

ComResult CCom::ReadReplyPayload(uint8_t command, uint32_t timeoutMs, uint8_t retries,
                                 std::vector<uint8_t>& out) {
  ComResult result = SendCommand(command, nullptr, 0, timeoutMs, retries);
  if (result == ComResult::kOk) out.assign(ReplyPayload(), ReplyPayload() + ReplyPayloadLength());
  return result;
}

ComResult CCom::GetDateTime(int64_t& time) {
  ComResult result = SendCommand(kCmdGetDateTime, nullptr, 0, 0, 1);
  if (result != ComResult::kOk) return result;
  // A short or impossible date is a damaged reply: read as zeros or carried
  // into the next month, it would look like a clock to be set.
  if (ReplyPayloadLength() < 6) return ComResult::kChecksumError;
  const uint8_t* p = ReplyPayload();
  DateTimeFields f{p[0] + 2000, p[1], p[2], p[3], p[4], p[5]};
  const int64_t t = FieldsToTime(f);
  DateTimeFields back;
  if (t == kInvalidTime || !TimeToFields(t, back) || back.year != f.year || back.month != f.month ||
      back.day != f.day || back.hour != f.hour || back.minute != f.minute || back.second != f.second)
    return ComResult::kChecksumError;
  time = t;
  return ComResult::kOk;
}

ComResult CCom::SetDateTime(int64_t time) {
  DateTimeFields f;
  // Nothing sensible can be sent for an invalid time.
  if (!TimeToFields(time, f)) return ComResult::kWriteFailed;
  const uint8_t payload[6] = {
      static_cast<uint8_t>(f.year + 48),  // year − 2000 in 8 bits
      static_cast<uint8_t>(f.month),  static_cast<uint8_t>(f.day),
      static_cast<uint8_t>(f.hour),   static_cast<uint8_t>(f.minute),
      static_cast<uint8_t>(f.second)};
  return SendCommand(kCmdSetDateTime, payload, sizeof payload, 0, 1);
}

ComResult CCom::GetLastRecord(std::vector<uint8_t>& record) {
  return ReadReplyPayload(kCmdGetLastRecord, kLastRecordTimeoutMs, 0, record);
}

ComResult CCom::GetPreviousRecord(std::vector<uint8_t>& record) {
  return RecordStepExchange(record);
}

ComResult CCom::RepeatRecord(std::vector<uint8_t>& record) {
  return ReadReplyPayload(kCmdRepeatRecord, 0, 1, record);
}

ComResult CCom::GetSettings(std::vector<uint8_t>& settings) {
  return ReadReplyPayload(kCmdGetSettings, 0, 1, settings);
}

ComResult CCom::WriteSettings(const uint8_t* settings, uint16_t offset, uint16_t length) {
  if (length > 0xFFFF - 2) return ComResult::kWriteFailed;
  std::vector<uint8_t> payload;
  payload.reserve(length + 2u);
  payload.push_back(static_cast<uint8_t>(offset & 0xFF));
  payload.push_back(static_cast<uint8_t>(offset >> 8));
  payload.insert(payload.end(), settings + offset, settings + offset + length);
  return SendCommand(kCmdWriteSettings, payload.data(), static_cast<uint16_t>(payload.size()), 0,
                     1);
}

ComResult CCom::EndSession() { return SendCommand(kCmdEndSession, nullptr, 0, 0, 1); }

ComResult CCom::ResetBoard() { return SendCommand(kCmdResetBoard, nullptr, 0, 0, 1); }

ComResult CCom::ClearFlash() {
  static const uint8_t kPayload[1] = {0x00};
  return SendCommand(kCmdClearFlash, kPayload, sizeof kPayload, 0, 1);
}

ComResult CCom::GetFirmwareVersion(uint8_t& major, uint8_t& minor, uint8_t& patch,
                                   uint32_t timeoutMs) {
  major = minor = patch = 0xFF;
  ComResult result = SendCommand(kCmdGetFirmwareVersion, nullptr, 0, timeoutMs, 1);
  if (result != ComResult::kOk) return result;
  // Fewer than two bytes would read as version 0.0.
  if (ReplyPayloadLength() < 2) return ComResult::kChecksumError;
  const uint8_t* p = ReplyPayload();
  major = p[0];
  minor = p[1];
  if (ReplyPayloadLength() == 3) patch = p[2];
  return ComResult::kOk;
}

ComResult CCom::GetBootInfo(uint8_t& mode, uint16_t& blockSize, uint8_t& bootVersion,
                            std::vector<uint8_t>& keyBytes, int32_t& keyLength) {
  mode = 0;
  blockSize = 0;
  ComResult result = SendCommand(kCmdGetBootInfo, nullptr, 0, 0, 1);
  if (result != ComResult::kOk) return result;
  const uint8_t* p = ReplyPayload();
  mode = p[0];
  blockSize = static_cast<uint16_t>(p[1] | (p[2] << 8));
  keyLength = 0;
  if (mode == 0) return ComResult::kOk;
  bootVersion = p[3];
  // A reply shorter than its fixed part carries no key (not a negative one).
  keyLength = ReplyLength() > 5 ? ReplyLength() - 5 : 0;
  keyBytes.assign(p + 4, p + 4 + keyLength);
  return ComResult::kOk;
}

ComResult CCom::EraseCode() { return SendCommand(kCmdEraseCode, nullptr, 0, kEraseCodeTimeoutMs, 1); }

ComResult CCom::WriteCode(const uint8_t* payload, uint16_t length) {
  return SendCommand(kCmdWriteCode, payload, length, 0, 5);
}

ComResult CCom::WriteChecksum() { return SendCommand(kCmdWriteChecksum, nullptr, 0, 0, 1); }

ComResult CCom::VerifyApplication() {
  return SendCommand(kCmdVerifyApplication, nullptr, 0, kVerifyApplicationTimeoutMs, 1);
}

ComResult CCom::VerifyBootBlock() {
  return SendCommand(kCmdVerifyBootBlock, nullptr, 0, kVerifyBootBlockTimeoutMs, 1);
}

}  // namespace skyh
