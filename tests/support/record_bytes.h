#pragma once
// Builds record bytes in the control box's layout for tests (the simulated
// box's encoder; the packed time unchecked, so tests can build out-of-range fields).
#include <cstddef>
#include <cstdint>
#include <vector>

#include "box_memory.h"

namespace skyh::test {

inline uint32_t PackDateTime(int year, int month, int day, int hour, int minute, int second) {
  return (uint32_t(year - 2000) << 26) | (uint32_t(month) << 22) | (uint32_t(day) << 17) | (uint32_t(hour) << 12) |
         (uint32_t(minute) << 6) | uint32_t(second);
}

// type, 14-bit length, packed time, body, 0xFE, length again.
inline std::vector<uint8_t> MakeRecordBytes(uint8_t type, uint32_t packed, const std::vector<uint8_t>& body) {
  return sim::MakeRecord(type, packed, body);
}

// Bytes that look random and differ by seed.
inline std::vector<uint8_t> PatternBytes(size_t n, unsigned seed) {
  std::vector<uint8_t> v(n);
  uint32_t x = seed * 2654435761u + 1;
  for (auto& b : v) b = static_cast<uint8_t>((x = x * 1103515245u + 12345u) >> 16);
  return v;
}

}  // namespace skyh::test
