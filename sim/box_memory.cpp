#include "box_memory.h"

#include <algorithm>
#include <fstream>
#include <iterator>

#include "core/file_read.h"
#include "core/time_util.h"

namespace skyh::sim {

Bytes MakeRecord(uint8_t type, uint32_t packedTime, const Bytes& body) {
  const size_t length = body.size() + 10;
  Bytes r;
  r.reserve(length);
  r.push_back(type);
  r.push_back(static_cast<uint8_t>(length & 0xFF));
  r.push_back(static_cast<uint8_t>((length >> 8) & 0x3F));
  for (int i = 0; i < 4; ++i) r.push_back(static_cast<uint8_t>(packedTime >> (8 * i)));
  r.insert(r.end(), body.begin(), body.end());
  r.push_back(0xFE);
  r.push_back(static_cast<uint8_t>(length & 0xFF));
  r.push_back(static_cast<uint8_t>((length >> 8) & 0x3F));
  return r;
}

size_t WellFormedRecordLength(const uint8_t* data, size_t size) {
  if (size < 10) return 0;
  size_t length = (data[1] | (data[2] << 8)) & 0x3FFF;
  if (length < 10 || length > size) return 0;
  size_t trailing = (data[length - 2] | (data[length - 1] << 8)) & 0x3FFF;
  if (trailing != length || data[length - 3] != 0xFE) return 0;
  return length;
}

uint32_t PackTime(int year, int month, int day, int hour, int minute, int second) {
  return (static_cast<uint32_t>(year - 2000) & 63) << 26 | (static_cast<uint32_t>(month) & 15) << 22 |
         (static_cast<uint32_t>(day) & 31) << 17 | (static_cast<uint32_t>(hour) & 31) << 12 |
         (static_cast<uint32_t>(minute) & 63) << 6 | (static_cast<uint32_t>(second) & 63);
}

uint32_t PackTime(int64_t utcSeconds) {
  DateTimeFields f;
  if (!TimeToFields(utcSeconds, f)) return 0;
  return PackTime(f.year, f.month, f.day, f.hour, f.minute, f.second);
}

int64_t UnpackTime(uint32_t p) {
  if (p == 0) return kInvalidTime;
  return FieldsToTime(static_cast<int>(p >> 26) + 2000, (p >> 22) & 15, (p >> 17) & 31, (p >> 12) & 31,
                      (p >> 6) & 63, p & 63);
}

uint32_t RecordPackedTime(const Bytes& r) {
  if (r.size() < 7) return 0;
  return r[3] | (r[4] << 8) | (r[5] << 16) | (static_cast<uint32_t>(r[6]) << 24);
}

bool BoxMemory::LoadK8(const std::string& path, std::string* error) {
  Bytes data;
  std::string reason;
  if (ReadWholeFile(path, data, &reason) != FileReadStatus::kRead) {
    if (error) *error = "cannot read \"" + path + "\": " + reason;
    return false;
  }
  return LoadK8Bytes(data, error);
}

bool BoxMemory::LoadK8Bytes(const Bytes& data, std::string* error) {
  if (data.empty() || data[0] != kSettingsRecordType) {
    if (error) *error = "the file does not start with a settings record";
    return false;
  }
  size_t first = WellFormedRecordLength(data.data(), data.size());
  if (first < 13 + 3) {
    if (error) *error = "the settings record is malformed";
    return false;
  }
  settings_.assign(data.begin(), data.begin() + static_cast<std::ptrdiff_t>(first));
  records_.clear();
  size_t p = first;
  while (p < data.size()) {
    size_t length = WellFormedRecordLength(data.data() + p, data.size() - p);
    if (length == 0) break;
    records_.emplace_back(data.begin() + static_cast<std::ptrdiff_t>(p),
                          data.begin() + static_cast<std::ptrdiff_t>(p + length));
    p += length;
  }
  SortByTime();
  return true;
}

Bytes BoxMemory::ToK8Bytes() const {
  Bytes out = settings_;
  for (const Bytes& r : records_) out.insert(out.end(), r.begin(), r.end());
  return out;
}

bool BoxMemory::SaveK8(const std::string& path) const {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  if (!out) return false;
  Bytes data = ToK8Bytes();
  out.write(reinterpret_cast<const char*>(data.data()), static_cast<std::streamsize>(data.size()));
  return static_cast<bool>(out);
}

void BoxMemory::SortByTime() {
  std::stable_sort(records_.begin(), records_.end(), [](const Bytes& a, const Bytes& b) {
    return UnpackTime(RecordPackedTime(a)) < UnpackTime(RecordPackedTime(b));
  });
}

}  // namespace skyh::sim
