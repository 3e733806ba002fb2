#pragma once
// Command bytes and fixed reply time-outs of the control box's command set.
#include <cstdint>

namespace skyh {

constexpr uint8_t kCmdGetDateTime = 0x41;         // "A"
constexpr uint8_t kCmdSetDateTime = 0x42;         // "B"
constexpr uint8_t kCmdGetLastRecord = 0x43;       // "C"
constexpr uint8_t kCmdGetPreviousRecord = 0x44;   // "D"
constexpr uint8_t kCmdRepeatRecord = 0x46;        // "F"
constexpr uint8_t kCmdGetSettings = 0x47;         // "G"
constexpr uint8_t kCmdWriteSettings = 0x48;       // "H"
constexpr uint8_t kCmdEndSession = 0x4B;          // "K"
constexpr uint8_t kCmdResetBoard = 0x40;          // "@"
constexpr uint8_t kCmdClearFlash = 0x4D;          // "M"
constexpr uint8_t kCmdGetFirmwareVersion = 0x3E;  // ">"
constexpr uint8_t kCmdGetBootInfo = 0x49;         // "I"
constexpr uint8_t kCmdEraseCode = 0x22;           // '"'
constexpr uint8_t kCmdWriteCode = 0x23;           // "#"
constexpr uint8_t kCmdWriteChecksum = 0x28;       // "("
constexpr uint8_t kCmdVerifyApplication = 0x26;   // "&"
constexpr uint8_t kCmdVerifyBootBlock = 0x29;     // ")"

// Bit 7 of a reply's command byte is a status flag; for the record step it
// means "a record follows".
constexpr uint8_t kReplyFlag = 0x80;

// Commands whose reply always carries data, so that a frame identical to
// the request can never be their reply. The others may be answered with
// the request's own bytes (an acknowledgement, or "no record").
constexpr bool ReplyCarriesData(uint8_t command) {
  return command == kCmdGetDateTime || command == kCmdGetSettings || command == kCmdGetFirmwareVersion ||
         command == kCmdGetBootInfo;
}

constexpr uint32_t kLastRecordTimeoutMs = 5000;
constexpr uint32_t kEraseCodeTimeoutMs = 20000;
constexpr uint32_t kVerifyApplicationTimeoutMs = 20000;
constexpr uint32_t kVerifyBootBlockTimeoutMs = 10000;

// Frame control bytes.
constexpr uint8_t kSoh = 0x01;
constexpr uint8_t kStx = 0x02;
constexpr uint8_t kEtx = 0x03;
constexpr uint8_t kEot = 0x04;
constexpr uint8_t kEtb = 0x17;
// Raw boot-loader frame bytes.
constexpr uint8_t kRawStart = 0x55;
constexpr uint8_t kRawEscape = 0x05;
constexpr uint8_t kRawEnd = 0x04;

constexpr uint8_t kFirstSequence = 0x21;
constexpr uint8_t kLastSequence = 0x7F;

}  // namespace skyh
