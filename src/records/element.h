#pragma once
// The values cut out of a record by its scenario's element definitions.
// An element keeps a copy of its definition, so it stays usable after the
// working layout of a repeat group is gone.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "records/scenario_type.h"

namespace skyh {

// Element states shown instead of a value.
enum ElementStatus : int32_t {
  kStatusValue = 0,
  kStatusAbsent = 1,     // "Abs."
  kStatusUnderflow = 2,  // "Underflow"
  kStatusOverflow = 3,   // "Overflow"
  kStatusError = 4,      // "error"; also bytes outside the record
  kStatusEmpty = 5,      // blank text
};

class CElement {
 public:
  explicit CElement(const ScnElementDef& definition) : definition_(definition) {}
  virtual ~CElement() = default;
  virtual std::string GetText() const;

  int32_t status() const { return status_; }
  const ScnElementDef& definition() const { return definition_; }

 protected:
  // True when the element's bytes lie inside the record; otherwise sets the
  // error status.
  bool CheckInside(size_t length);

  int32_t status_ = kStatusValue;
  ScnElementDef definition_;
};

class CElementDateTime : public CElement {
 public:
  CElementDateTime(const ScnElementDef& definition, const uint8_t* raw, size_t length);
  std::string GetText() const override;
  int64_t time() const { return time_; }

 private:
  int64_t time_ = 0;
};

class CElementMeasure : public CElement {
 public:
  CElementMeasure(const ScnElementDef& definition, const uint8_t* raw, size_t length);
  std::string GetText() const override;
  int32_t value() const { return value_; }
  // The number the text shows: multiplier, divisor and decimals applied.
  // False when the element shows a state, a character or hexadecimal.
  bool GetNumber(double& number) const;

 private:
  // The value with the multiplier and the divisor applied.
  int32_t Scaled() const;

  int32_t value_ = 0;
};

// The element of a definition's decode type, decoded from the record.
std::unique_ptr<CElement> CreateElement(const ScnElementDef& definition, const uint8_t* raw, size_t length);

// Appends the text of the element of a definition without keeping the
// element (the fast path of a record's values text).
void AppendElementText(const ScnElementDef& definition, const uint8_t* raw, size_t length, std::string& out);

// The number of the element of a definition (CElementMeasure::GetNumber);
// false for dates, plain elements and elements without a number.
bool ElementNumber(const ScnElementDef& definition, const uint8_t* raw, size_t length, double& number);

// Text of an element state; empty for kStatusValue and kStatusEmpty.
const char* StatusText(int32_t status);

}  // namespace skyh
