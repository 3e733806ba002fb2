#pragma once
// CRC-16/ARC: reflected polynomial 0xA001, initial value 0, no final XOR.
#include <cstddef>
#include <cstdint>

namespace skyh {

constexpr uint16_t kCrc16ArcPolynomial = 0xA001;

// Adds one byte to a running CRC-16/ARC value.
uint16_t Crc16ArcByte(uint16_t crc, uint8_t byte);
// CRC-16/ARC of `size` bytes, continuing from `init`.
uint16_t Crc16Arc(const uint8_t* data, size_t size, uint16_t init = 0);

}  // namespace skyh
