#include "data/record_store.h"

#include <algorithm>
#include <cstring>
#include <string_view>
#include <unordered_set>

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
  // Identity is (time, bytes); the first in store order survives.
  struct Key {
    const CRecord* record;
    bool operator==(const Key& o) const {
      return record->time() == o.record->time() && RawView(*record) == RawView(*o.record);
    }
  };
  struct Hash {
    size_t operator()(const Key& k) const {
      return std::hash<std::string_view>()(RawView(*k.record)) ^ static_cast<size_t>(k.record->time());
    }
  };
  std::unordered_set<Key, Hash> seen;
  seen.reserve(records.size());
  size_t kept = 0;
  for (size_t i = 0; i < records.size(); ++i) {
    if (seen.insert(Key{records[i].get()}).second) {
      if (kept != i) records[kept] = std::move(records[i]);
      ++kept;
    } else if (IsUnknown(*records[i])) {
      --unknownCount;
    }
  }
  // Duplicates were either overwritten by a later kept record or lie in the tail.
  int32_t removed = static_cast<int32_t>(records.size() - kept);
  records.resize(kept);
  return removed;
}

bool RecordStore::Order(bool ascending) {
  if (records.size() < 2) return false;
  auto before = [ascending](const std::unique_ptr<CRecord>& a, const std::unique_ptr<CRecord>& b) {
    return ascending ? a->time() < b->time() : a->time() > b->time();
  };
  // A pairwise exchange sort swaps exactly when some neighbours are out of order.
  if (std::is_sorted(records.begin(), records.end(), before)) return false;
  std::stable_sort(records.begin(), records.end(), before);
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

bool RecordStore::SaveToFile(const std::string& filePath, bool append) const {
  std::string image;
  try {
    image = FileImage(true);
  } catch (...) {
    return false;
  }
  return WriteK8File(filePath, image, header ? header->length() : 0, append);
}

bool RecordStore::LoadFromFile(const std::string& filePath) {
  path = filePath;
  scenarioKey.clear();
  unknownCount = 0;
  std::string buffer;
  if (!ReadBinaryFile(filePath, buffer)) return false;
  return LoadFromBuffer(reinterpret_cast<const uint8_t*>(buffer.data()), buffer.size());
}

bool RecordStore::LoadFromBuffer(const uint8_t* data, size_t size) {
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
