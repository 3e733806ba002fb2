#pragma once
// One record exactly as the control box stored it.
//
// A record keeps only its raw bytes, its time stamp and a shared reference to
// its scenario (which survives a reload of the scenario list). The hex text,
// the elements and the values text are built on request from those, so a
// store of a million records costs little more than their bytes.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "records/element.h"
#include "records/scenario_type.h"

namespace skyh {

class ClistScn;

class CRecord {
 public:
  static constexpr size_t kMinLength = 10;       // type, length, time, marker, length
  static constexpr size_t kMaxLength = 0x3FFF;   // 14-bit length field
  static constexpr uint8_t kEndMarker = 0xFE;

  CRecord() = default;
  CRecord(const CRecord& other);
  CRecord& operator=(const CRecord& other);
  CRecord(CRecord&&) noexcept = default;
  CRecord& operator=(CRecord&&) noexcept = default;
  ~CRecord() = default;

  // Fills the record from n bytes, matched against the application-wide
  // scenario list with the store's scenario key. False when the bytes are not
  // a well-formed record (the record is then left empty and must be dropped);
  // true otherwise, also when no scenario matches.
  bool Decode(std::string_view key, const uint8_t* bytes, size_t n);
  // The same against a given list.
  bool Decode(const ClistScn& list, std::string_view key, const uint8_t* bytes, size_t n);

  const uint8_t* raw() const { return raw_.get(); }
  uint16_t length() const { return length_; }
  uint8_t type() const { return length_ ? raw_[0] : 0; }
  // Seconds since 1970 (UTC fields); -1 without a time stamp, 0 before Decode.
  int64_t time() const { return time_; }
  // The scenario's name and description; "---" and "Unknown" without one.
  const std::string& name() const;
  const std::string& description() const;
  // Null for an unknown record.
  const CScnType* scenario() const { return scenario_.get(); }
  const std::shared_ptr<const CScnType>& scenarioShared() const { return scenario_; }
  bool IsUnknown() const { return !scenario_; }

  // The raw bytes as "%02X" each.
  std::string hex() const;
  // The element texts joined by commas.
  std::string values() const;
  // values() when the record has elements, else Unknown: "<hex>".
  std::string GetText() const;

  // The elements, decoded now from the raw bytes and the scenario.
  std::vector<std::unique_ptr<CElement>> Elements() const;
  size_t ElementCount() const;
  std::unique_ptr<CElement> ElementAt(size_t index) const;
  // The layout of one element named by the scenario definition it comes from
  // and, inside a repeat group, the copy's number (0 elsewhere); false when
  // the record has no such element.
  bool ElementDef(size_t definition, uint32_t copy, ScnElementDef& out) const;
  // How many copies of each scenario definition the record holds (1 outside
  // repeat groups; a repeat count of 0 gives 0).
  std::vector<uint32_t> CopyCounts() const;

  // Identity for duplicates: equal time stamps and equal raw bytes.
  bool IsSameRecord(const CRecord& other) const;

 private:
  void Reset();
  // Appends the values text; gives the number of elements.
  size_t BuildValues(std::string& text) const;

  std::unique_ptr<uint8_t[]> raw_;
  std::shared_ptr<const CScnType> scenario_;
  int64_t time_ = 0;
  uint16_t length_ = 0;
};

// The element layout of a scenario applied to a record: the scenario's
// definitions with every repeat group ("VAL_RPT") expanded by the count the
// record holds.
std::vector<ScnElementDef> ExpandElementDefs(const CScnType& scenario, const uint8_t* raw, size_t length);

}  // namespace skyh
