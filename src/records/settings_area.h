#pragma once
// Where the settings live inside a settings record: from byte 13 up to the
// three trailing bytes (end mark and length), L - 16 bytes for L bytes.
#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

namespace skyh {

inline constexpr size_t kSettingsAreaStart = 13;
inline constexpr size_t kSettingsRecordTrailer = 3;

inline constexpr uint8_t kSettingsRecordType = 0x7C;  // "|"

// Bytes 7..10 of a settings record: the instrument's version code, which
// names its scenario key, parameter file and output files.
using VersionCode = std::array<uint8_t, 4>;

// Whether the bytes are one whole settings record: type "|", both length
// fields equal to the size, the end mark before the trailing length.
bool IsSettingsRecord(std::span<const uint8_t> record);

// Empty when the record is too short to have a settings area.
std::span<uint8_t> SettingsAreaOf(std::span<uint8_t> record);
std::span<const uint8_t> SettingsAreaOf(std::span<const uint8_t> record);
inline std::span<uint8_t> SettingsAreaOf(std::vector<uint8_t>& record) {
  return SettingsAreaOf(std::span<uint8_t>(record));
}
inline std::span<const uint8_t> SettingsAreaOf(const std::vector<uint8_t>& record) {
  return SettingsAreaOf(std::span<const uint8_t>(record));
}

}  // namespace skyh
