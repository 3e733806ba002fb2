#pragma once
// The instrument's packed date-time (32-bit little-endian: year-2000 in bits
// 31..26, month 25..22, day 21..17, hour 16..12, minute 11..6, second 5..0).
// Its fields are UTC, so they are converted with UTC arithmetic.
#include <cstddef>
#include <cstdint>
#include <string>

namespace skyh {

inline uint16_t ReadLe16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | (p[1] << 8)); }
inline uint32_t ReadLe32(const uint8_t* p) {
  return uint32_t(p[0]) | (uint32_t(p[1]) << 8) | (uint32_t(p[2]) << 16) | (uint32_t(p[3]) << 24);
}

// Seconds since 1970 of the fields (out-of-range fields carry into the next
// unit); -1 when the result cannot be represented. p = 0 is converted too.
int64_t PackedToTime(uint32_t packed);

// The packed form of a time; 0 for -1 or a time outside 2000..2063.
uint32_t TimeToPacked(int64_t time);

// "%02d/%02d/%04d,%02d:%02d:%02d" (day, month, year, hour, minute, second);
// "00/00/0000,-1:-1:-1" for a time that cannot be broken down.
std::string FormatDateTime(int64_t time);

}  // namespace skyh
