#pragma once
// CRC-16/ARC as the control box computes it over its frames. The box keeps
// its own copy so that a fault in the host's checksum is caught, not mirrored.
#include <cstddef>
#include <cstdint>

namespace skyh::sim {

// Continues `crc` over `size` bytes (reflected polynomial 0xA001, initial 0).
uint16_t BoxCrc16(const uint8_t* data, size_t size, uint16_t crc = 0);
uint16_t BoxCrc16Byte(uint16_t crc, uint8_t byte);

}  // namespace skyh::sim
