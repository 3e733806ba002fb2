#pragma once
// What the control box keeps in flash: its settings record (type "|") and its
// stored records in recording order, oldest first. Loaded from and saved to
// K8 files (the settings record followed by the raw records).
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace skyh::sim {

using Bytes = std::vector<uint8_t>;

constexpr uint8_t kSettingsRecordType = 0x7C;

// A framed record: type, 14-bit length, packed time, body, 0xFE, length.
Bytes MakeRecord(uint8_t type, uint32_t packedTime, const Bytes& body);
// The length of a well-formed record at the start of `data`, or 0.
size_t WellFormedRecordLength(const uint8_t* data, size_t size);

// Packed date-time: year-2000 in bits 31..26, month 25..22, day 21..17,
// hour 16..12, minute 11..6, second 5..0.
uint32_t PackTime(int year, int month, int day, int hour, int minute, int second);
uint32_t PackTime(int64_t utcSeconds);
// Seconds since 1970 (UTC fields) of a packed value; -1 for 0 or an invalid date.
int64_t UnpackTime(uint32_t packed);
uint32_t RecordPackedTime(const Bytes& record);

class BoxMemory {
 public:
  // False (memory unchanged) when the file cannot be read, does not start
  // with a settings record, or its first length is inconsistent. Records
  // after the first inconsistent length are ignored.
  bool LoadK8(const std::string& path, std::string* error = nullptr);
  bool LoadK8Bytes(const Bytes& data, std::string* error = nullptr);
  bool SaveK8(const std::string& path) const;
  Bytes ToK8Bytes() const;

  const Bytes& settings() const { return settings_; }
  Bytes& settings() { return settings_; }
  void SetSettings(Bytes record) { settings_ = std::move(record); }

  // Appends a record as the newest one (no reordering).
  void Append(Bytes record) { records_.push_back(std::move(record)); }
  // Stable sort by time stamp, records without one first.
  void SortByTime();
  void Clear() { records_.clear(); }
  const std::vector<Bytes>& records() const { return records_; }
  size_t size() const { return records_.size(); }

 private:
  Bytes settings_;
  std::vector<Bytes> records_;
};

}  // namespace skyh::sim
