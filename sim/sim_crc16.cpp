#include "sim_crc16.h"

namespace skyh::sim {

uint16_t BoxCrc16Byte(uint16_t crc, uint8_t byte) {
  crc ^= byte;
  for (int bit = 0; bit < 8; ++bit) crc = (crc & 1) ? static_cast<uint16_t>((crc >> 1) ^ 0xA001) : static_cast<uint16_t>(crc >> 1);
  return crc;
}

uint16_t BoxCrc16(const uint8_t* data, size_t size, uint16_t crc) {
  for (size_t i = 0; i < size; ++i) crc = BoxCrc16Byte(crc, data[i]);
  return crc;
}

}  // namespace skyh::sim
