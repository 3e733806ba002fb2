#pragma once
// Builds record bytes in the control box's layout for tests.
#include <cstddef>
#include <cstdint>
#include <vector>

namespace skyh::test {

// The packed date-time of the given fields (no range checks: tests use it to
// build out-of-range fields too).
uint32_t PackDateTime(int year, int month, int day, int hour, int minute, int second);

// type, 14-bit length, packed time, body, 0xFE, length again.
std::vector<uint8_t> MakeRecordBytes(uint8_t type, uint32_t packed, const std::vector<uint8_t>& body);

}  // namespace skyh::test
