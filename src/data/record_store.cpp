#include "data/record_store.h"

#include <algorithm>
#include <cstring>
#include <string_view>

#include "core/format.h"
#include "data/k8_file.h"
#include "data/k8_layout.h"

namespace skyh {
namespace {

bool IsUnknown(const CRecord& r) { return r.scenario() == nullptr; }

std::string_view RawView(const CRecord& r) {
  return std::string_view(reinterpret_cast<const char*>(r.raw()), r.length());
}

}  // namespace

RecordStore::RecordStore() = default;
RecordStore::~RecordStore() = default;

const CRecord* RecordStore::At(int32_t index) const {
  if (index < 0 || index >= Count()) return nullptr;
  return records[static_cast<size_t>(index)].get();
}

bool RecordStore::AddCopy(const uint8_t* bytes, uint16_t length) {
  auto record = std::make_unique<CRecord>();
  if (!record->Decode(scenarioKey, bytes, length)) return false;
  if (IsUnknown(*record)) ++unknownCount;
  records.push_back(std::move(record));
  return true;
}

void RecordStore::AddAllFrom(const RecordStore& other) {
  // Counted first: adding a store to itself doubles it once.
  int32_t n = other.Count();
  records.reserve(records.size() + static_cast<size_t>(n));
  for (int32_t i = 0; i < n; ++i) {
    const CRecord& r = *other.records[static_cast<size_t>(i)];
    AddCopy(r.raw(), r.length());
  }
}

void RecordStore::RemoveAt(int32_t index) {
  if (index < 0 || index >= Count()) return;
  auto it = records.begin() + index;
  if (IsUnknown(**it)) --unknownCount;
  records.erase(it);
}

void RecordStore::Clear() {
  path.clear();
  header.reset();
  ClearRecords();
}

void RecordStore::ClearRecords() {
  records.clear();
  unknownCount = 0;
}

bool RecordStore::SetHeader(const uint8_t* bytes, uint16_t length) {
  // A header too short for the version fields gives zeros for what it lacks.
  versionCode.fill(0);
  versionNumber.fill(0);
  for (size_t i = 0; i < versionCode.size() && 7 + i < length; ++i) versionCode[i] = bytes[7 + i];
  for (size_t i = 0; i < versionNumber.size() && 11 + i < length; ++i) versionNumber[i] = bytes[11 + i];
  scenarioKey = Sprintf("SP%02X%02X%02X%02X", versionCode[0], versionCode[1], versionCode[2], versionCode[3]);
  parameterFileName = Sprintf("SP%02XFF%02X%02X.par", versionCode[0], versionCode[2], versionCode[3]);
  header = std::make_unique<CRecord>();
  return header->Decode(scenarioKey, bytes, length);
}

uint32_t RecordStore::TotalSize() const {
  uint64_t total = header ? header->length() : 0;
  for (const auto& r : records) total += r->length();
  return static_cast<uint32_t>(total);
}

int32_t RecordStore::RemoveDuplicates() {
  if (records.size() < 2) return 0;
  // Identity is (time, bytes); the first in store order survives. An open
  // addressing table of kept records, with each one's hash beside it so that
  // most mismatches never touch the records.
  size_t slots = 1;
  while (slots < records.size() * 2) slots <<= 1;
  struct Slot {
    uint64_t hash;
    const CRecord* record;
  };
  std::vector<Slot> table(slots, Slot{0, nullptr});
  size_t kept = 0;
  for (size_t i = 0; i < records.size(); ++i) {
    const CRecord& r = *records[i];
    uint64_t hash = std::hash<std::string_view>()(RawView(r)) ^ (static_cast<uint64_t>(r.time()) * 0x9E3779B97F4A7C15ull);
    size_t at = hash & (slots - 1);
    bool duplicate = false;
    while (table[at].record) {
      const CRecord& k = *table[at].record;
      if (table[at].hash == hash && k.time() == r.time() && RawView(k) == RawView(r)) {
        duplicate = true;
        break;
      }
      at = (at + 1) & (slots - 1);
    }
    if (duplicate) {
      if (IsUnknown(r)) --unknownCount;
      continue;
    }
    table[at] = Slot{hash, &r};
    // Records only move towards the front, so a kept record's address stays valid.
    if (kept != i) records[kept] = std::move(records[i]);
    ++kept;
  }
  // Duplicates were either overwritten by a later kept record or lie in the tail.
  int32_t removed = static_cast<int32_t>(records.size() - kept);
  records.resize(kept);
  return removed;
}

bool RecordStore::Order(bool ascending) {
  if (records.size() < 2) return false;
  // Sorting (time, position) pairs keeps equal times in store order, as the
  // pairwise exchange sort does, without chasing a pointer per comparison.
  std::vector<std::pair<int64_t, uint32_t>> keys(records.size());
  for (size_t i = 0; i < records.size(); ++i) {
    int64_t t = records[i]->time();
    keys[i] = {ascending ? t : ~t, static_cast<uint32_t>(i)};  // ~t reverses the order
  }
  auto byTime = [](const auto& a, const auto& b) { return a.first < b.first; };
  // The exchange sort swaps exactly when some neighbours are out of order.
  if (std::is_sorted(keys.begin(), keys.end(), byTime)) return false;
  std::sort(keys.begin(), keys.end());
  std::vector<std::unique_ptr<CRecord>> sorted(records.size());
  for (size_t i = 0; i < keys.size(); ++i) sorted[i] = std::move(records[keys[i].second]);
  records.swap(sorted);
  return true;
}

void RecordStore::Reverse() { std::reverse(records.begin(), records.end()); }

std::string RecordStore::FileImage(bool withHeader) const {
  std::string image;
  image.reserve(TotalSize());
  if (withHeader && header) image.append(RawView(*header));
  for (const auto& r : records) image.append(RawView(*r));
  return image;
}

bool RecordStore::SaveToFile(const std::string& filePath, bool append, std::string* notice) const {
  std::string image;
  try {
    image = FileImage(true);
  } catch (...) {
    return false;
  }
  return WriteK8File(filePath, image, header ? header->length() : 0, append, notice);
}

bool RecordStore::LoadFromFile(const std::string& filePath, K8Unread* unread) {
  path = filePath;
  scenarioKey.clear();
  unknownCount = 0;
  if (unread) *unread = K8Unread{};
  std::string buffer;
  if (!ReadBinaryFile(filePath, buffer)) return false;
  return LoadFromBuffer(reinterpret_cast<const uint8_t*>(buffer.data()), buffer.size(), unread);
}

bool RecordStore::LoadFromBuffer(const uint8_t* data, size_t size, K8Unread* unread) {
  bool first = true;
  size_t end = WalkK8Buffer(data, size, [&](size_t offset, size_t length) {
    auto n = static_cast<uint16_t>(length);
    if (first) {
      first = false;
      // A header that decoding rejects leaves the store without one.
      CRecord probe;
      if (probe.Decode(scenarioKey, data + offset, n)) SetHeader(data + offset, n);
      return;
    }
    AddCopy(data + offset, n);
  });
  if (unread) {
    *unread = K8Unread{};
    if (end < size && data[0] == kHeaderType) *unread = K8Unread{end, size - end};
  }
  return end > 0;
}

void RecordStore::AssignFrom(const RecordStore& other) {
  if (&other == this) return;
  Clear();
  path = other.path;
  scenarioKey = other.scenarioKey;
  records.reserve(other.records.size());
  for (const auto& r : other.records) AddCopy(r->raw(), r->length());
  if (other.header) SetHeader(other.header->raw(), other.header->length());
}

}  // namespace skyh
