#include "records/settings_area.h"

namespace skyh {

namespace {

template <typename Byte>
std::span<Byte> AreaOf(std::span<Byte> record) {
  if (record.size() <= kSettingsAreaStart + kSettingsRecordTrailer) return {};
  return record.subspan(kSettingsAreaStart, record.size() - kSettingsAreaStart - kSettingsRecordTrailer);
}

}  // namespace

std::span<uint8_t> SettingsAreaOf(std::span<uint8_t> record) { return AreaOf(record); }
std::span<const uint8_t> SettingsAreaOf(std::span<const uint8_t> record) { return AreaOf(record); }

}  // namespace skyh
