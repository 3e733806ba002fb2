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
  return Decode(GetScenarioList(), key, bytes, n);
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

std::vector<ScnElementDef> ExpandElementDefs(const CScnType& scenario, const uint8_t* raw, size_t length) {
  const std::vector<ScnElementDef>& defs = scenario.elements;
  if (std::none_of(defs.begin(), defs.end(), [](const ScnElementDef& d) { return d.decodeType == kValRpt; }))
    return defs;
  std::vector<ScnElementDef> out;
  out.reserve(defs.size());
  uint16_t shift = 0;
  uint32_t count = 1;
  for (const ScnElementDef& d : defs) {
    for (uint32_t k = 0; k < count; ++k) {
      ScnElementDef c = d;
      c.offset = int32_t(shift) + d.offset;
      if (k + 1 < count) shift = static_cast<uint16_t>(shift + d.width);
      out.push_back(c);
    }
    count = (!out.empty() && out.back().decodeType == kValRpt) ? RepeatCount(out.back(), raw, length) : 1;
  }
  return out;
}

std::vector<std::unique_ptr<CElement>> CRecord::Elements() const {
  std::vector<std::unique_ptr<CElement>> elements;
  if (!scenario_) return elements;
  for (const ScnElementDef& d : ExpandElementDefs(*scenario_, raw_.get(), length_))
    elements.push_back(CreateElement(d, raw_.get(), length_));
  return elements;
}

size_t CRecord::ElementCount() const {
  return scenario_ ? ExpandElementDefs(*scenario_, raw_.get(), length_).size() : 0;
}

std::unique_ptr<CElement> CRecord::ElementAt(size_t index) const {
  if (!scenario_) return nullptr;
  std::vector<ScnElementDef> defs = ExpandElementDefs(*scenario_, raw_.get(), length_);
  if (index >= defs.size()) return nullptr;
  return CreateElement(defs[index], raw_.get(), length_);
}

std::string CRecord::values() const {
  std::string text;
  if (!scenario_) return text;
  bool first = true;
  for (const ScnElementDef& d : ExpandElementDefs(*scenario_, raw_.get(), length_)) {
    std::string t = CreateElement(d, raw_.get(), length_)->GetText();
    // An empty text adds nothing, not even its comma.
    if (!first && !t.empty()) text += ',';
    text += t;
    first = false;
  }
  return text;
}

std::string CRecord::GetText() const {
  if (ElementCount() == 0) return "Unknown: \"" + hex() + "\"";
  return values();
}

bool CRecord::IsSameRecord(const CRecord& other) const {
  return time_ == other.time_ && length_ == other.length_ &&
         (length_ == 0 || std::memcmp(raw_.get(), other.raw_.get(), length_) == 0);
}

}  // namespace skyh
