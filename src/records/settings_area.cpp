#include "records/settings_area.h"

namespace skyh {

namespace {

template <typename Byte>
std::span<Byte> AreaOf(std::span<Byte> record) {
  if (record.size() <= kSettingsAreaStart + kSettingsRecordTrailer) return {};
  return record.subspan(kSettingsAreaStart, record.size() - kSettingsAreaStart - kSettingsRecordTrailer);
}

}  // namespace

bool IsSettingsRecord(std::span<const uint8_t> record) {
  const size_t n = record.size();
  if (n < kSettingsAreaStart + kSettingsRecordTrailer || n > 0x3FFF || record[0] != kSettingsRecordType) return false;
  auto lengthAt = [&](size_t i) { return static_cast<size_t>((record[i] | (record[i + 1] << 8)) & 0x3FFF); };
  return lengthAt(1) == n && lengthAt(n - 2) == n && record[n - 3] == 0xFE;
}

std::span<uint8_t> SettingsAreaOf(std::span<uint8_t> record) { return AreaOf(record); }
std::span<const uint8_t> SettingsAreaOf(std::span<const uint8_t> record) { return AreaOf(record); }

}  // namespace skyh
