#pragma once
// One record layout of the scenario list and the pieces it is made of.
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace skyh {

// Decode type codes of element definitions.
enum DecodeTypeCode : int32_t {
  kValDateTime = 1,
  kValTemp = 2,
  kValHum = 3,
  kValBat = 4,
  kValPres = 5,
  kValByte = 6,
  kValWord = 7,
  kValShort = 8,
  kValDword = 9,
  kValLong = 10,
  kValCn = 11,
  kValAngle = 12,
  kValRpt = 13,
  kValRg = 14,
  kValRgdev = 15,
};

// Display formats of an element definition.
enum ElementFormat : int32_t { kFormatNumber = 0, kFormatChar = 1, kFormatHex = 2 };

// The code of a decode keyword such as "VAL_TEMP" (exact, case-sensitive), 0 when unknown.
int32_t DecodeTypeFromKeyword(std::string_view keyword);
// The keyword of a code, empty for an unknown code.
std::string_view DecodeTypeKeyword(int32_t code);
// Record bytes an element of that code occupies; 0 for an unknown code.
uint16_t DecodeTypeWidth(int32_t code);

struct ScnElementDef {
  int32_t decimals = 0;
  int32_t offset = 0;  // from the record's type byte
  int32_t format = kFormatNumber;
  int32_t divisor = 1;
  int32_t multiplier = 1;
  uint16_t width = 0;
  uint8_t suffix = 0;  // character appended to the text, 0 for none
  int32_t decodeType = 0;
};

struct ScnCondition {
  uint32_t kind = 0;  // 1 "BEQ", 0 inert (never matches)
  uint16_t offset = 0;
  uint8_t value = 0;
};

class CScnType {
 public:
  std::vector<ScnElementDef> elements;
  std::vector<ScnCondition> conditions;
  std::string name;
  std::string description;
  uint8_t type = 0;
  uint16_t number = 0;
  uint16_t length = 0;  // 0: any length
  std::vector<std::string> idRanges;  // low, high, low, high, ...

  // Whether this scenario describes a record, tested in the list's order
  // of checks: type byte, key ranges, conditions, length.
  bool Matches(std::string_view key, const uint8_t* record, size_t length) const;
  bool MatchesKey(std::string_view key) const;
  bool MatchesConditions(const uint8_t* record, size_t length) const;
};

}  // namespace skyh
