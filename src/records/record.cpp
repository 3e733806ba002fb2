#include "records/record.h"

#include <algorithm>
#include <cstring>
#include <new>

#include "core/text_util.h"
#include "core/time_util.h"
#include "records/packed_time.h"
#include "records/scenario_list.h"

namespace skyh {
namespace {

const std::string kUnknownName = "---";
const std::string kUnknownDescription = "Unknown";

// The repeat count a "VAL_RPT" copy reads. One whose byte lies outside the
// record shows "error" and leaves the layout as the file writes it.
uint32_t RepeatCount(const ScnElementDef& d, const uint8_t* raw, size_t length) {
  if (d.offset < 0 || size_t(d.offset) >= length) return 1;
  return raw[d.offset];
}

}  // namespace

CRecord::CRecord(const CRecord& other) { *this = other; }

CRecord& CRecord::operator=(const CRecord& other) {
  if (this == &other) return *this;
  if (other.length_ != 0) {
    raw_.reset(new uint8_t[other.length_]);
    std::memcpy(raw_.get(), other.raw_.get(), other.length_);
  } else {
    raw_.reset();
  }
  length_ = other.length_;
  time_ = other.time_;
  scenario_ = other.scenario_;
  return *this;
}

void CRecord::Reset() {
  raw_.reset();
  scenario_.reset();
  time_ = 0;
  length_ = 0;
}

bool CRecord::Decode(std::string_view key, const uint8_t* bytes, size_t n) {
  // The snapshot stays alive until the decode ends, whatever a reload does.
  const std::shared_ptr<const ClistScn> list = GetScenarioList().Snapshot();
  return Decode(*list, key, bytes, n);
}

bool CRecord::Decode(const ClistScn& list, std::string_view key, const uint8_t* bytes, size_t n) {
  Reset();
  if (bytes == nullptr || n < kMinLength || n > kMaxLength) return false;
  const size_t leading = ReadLe16(bytes + 1) & 0x3FFF;
  const size_t trailing = ReadLe16(bytes + n - 2) & 0x3FFF;
  // The length field must cover exactly the bytes given: a record kept with
  // extra bytes would be written out longer than its own length says.
  if (leading == 0 || leading != n || trailing != leading || bytes[n - 3] != kEndMarker) return false;
  raw_.reset(new (std::nothrow) uint8_t[n]);
  if (!raw_) return false;
  std::memcpy(raw_.get(), bytes, n);
  length_ = static_cast<uint16_t>(n);
  const uint32_t packed = ReadLe32(bytes + 3);
  time_ = packed != 0 ? PackedToTime(packed) : kInvalidTime;
  scenario_ = list.Find(key, raw_.get(), n);
  return true;
}

const std::string& CRecord::name() const { return scenario_ ? scenario_->name : kUnknownName; }

const std::string& CRecord::description() const {
  return scenario_ ? scenario_->description : kUnknownDescription;
}

std::string CRecord::hex() const { return BytesToHex(raw_.get(), length_); }

namespace {

// Calls fn(definition, source index, copy) for every element definition of
// the record's layout, expanding repeat groups: the definition after a
// "VAL_RPT" is repeated by the count at consecutive positions and everything
// behind it moves along.
template <typename Fn>
void ForEachElementDef(const CScnType& scenario, const uint8_t* raw, size_t length, Fn&& fn) {
  const std::vector<ScnElementDef>& defs = scenario.elements;
  if (std::none_of(defs.begin(), defs.end(), [](const ScnElementDef& d) { return d.decodeType == kValRpt; })) {
    for (size_t i = 0; i < defs.size(); ++i) fn(defs[i], i, 0u);
    return;
  }
  uint16_t shift = 0;
  uint32_t count = 1;
  ScnElementDef last;
  bool any = false;
  for (size_t i = 0; i < defs.size(); ++i) {
    const ScnElementDef& d = defs[i];
    for (uint32_t k = 0; k < count; ++k) {
      last = d;
      last.offset = int32_t(shift) + d.offset;
      if (k + 1 < count) shift = static_cast<uint16_t>(shift + d.width);
      any = true;
      fn(last, i, k);
    }
    count = (any && last.decodeType == kValRpt) ? RepeatCount(last, raw, length) : 1;
  }
}

}  // namespace

std::vector<ScnElementDef> ExpandElementDefs(const CScnType& scenario, const uint8_t* raw, size_t length) {
  std::vector<ScnElementDef> out;
  ForEachElementDef(scenario, raw, length, [&](const ScnElementDef& d, size_t, uint32_t) { out.push_back(d); });
  return out;
}

std::vector<std::unique_ptr<CElement>> CRecord::Elements() const {
  std::vector<std::unique_ptr<CElement>> elements;
  if (!scenario_) return elements;
  ForEachElementDef(*scenario_, raw_.get(), length_,
                    [&](const ScnElementDef& d, size_t, uint32_t) { elements.push_back(CreateElement(d, raw_.get(), length_)); });
  return elements;
}

size_t CRecord::ElementCount() const {
  size_t count = 0;
  if (scenario_) ForEachElementDef(*scenario_, raw_.get(), length_, [&](const ScnElementDef&, size_t, uint32_t) { ++count; });
  return count;
}

std::unique_ptr<CElement> CRecord::ElementAt(size_t index) const {
  std::unique_ptr<CElement> element;
  size_t i = 0;
  if (scenario_) {
    ForEachElementDef(*scenario_, raw_.get(), length_, [&](const ScnElementDef& d, size_t, uint32_t) {
      if (i++ == index) element = CreateElement(d, raw_.get(), length_);
    });
  }
  return element;
}

bool CRecord::ElementDef(size_t definition, uint32_t copy, ScnElementDef& out) const {
  if (!scenario_ || definition >= scenario_->elements.size()) return false;
  bool found = false;
  ForEachElementDef(*scenario_, raw_.get(), length_, [&](const ScnElementDef& d, size_t i, uint32_t k) {
    if (i == definition && k == copy) out = d, found = true;
  });
  return found;
}

std::vector<uint32_t> CRecord::CopyCounts() const {
  std::vector<uint32_t> counts;
  if (!scenario_) return counts;
  counts.assign(scenario_->elements.size(), 0);
  ForEachElementDef(*scenario_, raw_.get(), length_, [&](const ScnElementDef&, size_t i, uint32_t) { ++counts[i]; });
  return counts;
}

size_t CRecord::BuildValues(std::string& text) const {
  size_t count = 0;
  if (!scenario_) return count;
  ForEachElementDef(*scenario_, raw_.get(), length_, [&](const ScnElementDef& d, size_t, uint32_t) {
    // An empty text adds nothing, not even its comma.
    const size_t before = text.size();
    AppendElementText(d, raw_.get(), length_, text);
    if (count > 0 && text.size() > before) text.insert(before, 1, ',');
    ++count;
  });
  return count;
}

std::string CRecord::values() const {
  std::string text;
  BuildValues(text);
  return text;
}

std::string CRecord::GetText() const {
  std::string text;
  if (BuildValues(text) == 0) return "Unknown: \"" + hex() + "\"";
  return text;
}

bool CRecord::IsSameRecord(const CRecord& other) const {
  return time_ == other.time_ && length_ == other.length_ &&
         (length_ == 0 || std::memcmp(raw_.get(), other.raw_.get(), length_) == 0);
}

}  // namespace skyh
