#include "protocol/crc16.h"

#include <array>

namespace skyh {
namespace {

constexpr uint16_t BitwiseStep(uint16_t crc, uint8_t byte) {
  crc ^= byte;
  for (int bit = 0; bit < 8; ++bit) {
    bool out = (crc & 1) != 0;
    crc >>= 1;
    if (out) crc ^= kCrc16ArcPolynomial;
  }
  return crc;
}

// One table lookup per byte; built from the bitwise rule at compile time.
constexpr std::array<uint16_t, 256> MakeTable() {
  std::array<uint16_t, 256> table{};
  for (int i = 0; i < 256; ++i) table[i] = BitwiseStep(0, static_cast<uint8_t>(i));
  return table;
}
constexpr std::array<uint16_t, 256> kTable = MakeTable();

}  // namespace

uint16_t Crc16ArcByte(uint16_t crc, uint8_t byte) {
  return static_cast<uint16_t>((crc >> 8) ^ kTable[(crc ^ byte) & 0xFF]);
}

uint16_t Crc16Arc(const uint8_t* data, size_t size, uint16_t init) {
  uint16_t crc = init;
  for (size_t i = 0; i < size; ++i) crc = Crc16ArcByte(crc, data[i]);
  return crc;
}

}  // namespace skyh
