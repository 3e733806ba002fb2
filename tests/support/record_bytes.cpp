#include "support/record_bytes.h"

namespace skyh::test {

uint32_t PackDateTime(int year, int month, int day, int hour, int minute, int second) {
  return (uint32_t(year - 2000) << 26) | (uint32_t(month) << 22) | (uint32_t(day) << 17) | (uint32_t(hour) << 12) |
         (uint32_t(minute) << 6) | uint32_t(second);
}

std::vector<uint8_t> MakeRecordBytes(uint8_t type, uint32_t packed, const std::vector<uint8_t>& body) {
  const size_t length = body.size() + 10;
  std::vector<uint8_t> bytes;
  bytes.reserve(length);
  bytes.push_back(type);
  bytes.push_back(static_cast<uint8_t>(length & 0xFF));
  bytes.push_back(static_cast<uint8_t>((length >> 8) & 0x3F));
  for (int i = 0; i < 4; ++i) bytes.push_back(static_cast<uint8_t>(packed >> (8 * i)));
  bytes.insert(bytes.end(), body.begin(), body.end());
  bytes.push_back(0xFE);
  bytes.push_back(static_cast<uint8_t>(length & 0xFF));
  bytes.push_back(static_cast<uint8_t>((length >> 8) & 0x3F));
  return bytes;
}

}  // namespace skyh::test
