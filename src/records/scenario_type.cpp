#include "records/scenario_type.h"

#include <array>

namespace skyh {
namespace {

struct DecodeTypeInfo {
  std::string_view keyword;
  uint16_t width;
};

// Indexed by code - 1.
constexpr std::array<DecodeTypeInfo, 15> kDecodeTypes = {{
    {"VAL_DATE_TIME", 4},
    {"VAL_TEMP", 2},
    {"VAL_HUM", 1},
    {"VAL_BAT", 1},
    {"VAL_PRES", 2},
    {"VAL_BYTE", 1},
    {"VAL_WORD", 2},
    {"VAL_SHORT", 2},
    {"VAL_DWORD", 4},
    {"VAL_LONG", 4},
    {"VAL_CN", 4},
    {"VAL_ANGLE", 4},
    {"VAL_RPT", 1},
    {"VAL_RG", 2},
    {"VAL_RGDEV", 2},
}};

unsigned char UpperByte(char c) {
  unsigned char u = static_cast<unsigned char>(c);
  return (u >= 'a' && u <= 'z') ? static_cast<unsigned char>(u - 'a' + 'A') : u;
}

// Byte-wise comparison of the upper-cased texts of equal length.
int CompareUpper(std::string_view a, std::string_view b) {
  for (size_t i = 0; i < a.size(); ++i) {
    unsigned char x = UpperByte(a[i]), y = UpperByte(b[i]);
    if (x != y) return x < y ? -1 : 1;
  }
  return 0;
}

}  // namespace

int32_t DecodeTypeFromKeyword(std::string_view keyword) {
  for (size_t i = 0; i < kDecodeTypes.size(); ++i) {
    if (kDecodeTypes[i].keyword == keyword) return static_cast<int32_t>(i + 1);
  }
  return 0;
}

std::string_view DecodeTypeKeyword(int32_t code) {
  if (code < 1 || code > static_cast<int32_t>(kDecodeTypes.size())) return {};
  return kDecodeTypes[code - 1].keyword;
}

uint16_t DecodeTypeWidth(int32_t code) {
  if (code < 1 || code > static_cast<int32_t>(kDecodeTypes.size())) return 0;
  return kDecodeTypes[code - 1].width;
}

bool CScnType::MatchesKey(std::string_view key) const {
  if (idRanges.empty()) return true;
  for (size_t i = 0; i + 1 < idRanges.size(); i += 2) {
    const std::string& low = idRanges[i];
    const std::string& high = idRanges[i + 1];
    if (key.size() == low.size() && CompareUpper(key, low) >= 0 && key.size() == high.size() &&
        CompareUpper(key, high) <= 0)
      return true;
  }
  return false;
}

bool CScnType::MatchesConditions(const uint8_t* record, size_t length) const {
  if (conditions.empty()) return true;
  for (const ScnCondition& c : conditions) {
    if (c.kind == 1 && c.offset < length && record[c.offset] == c.value) return true;
  }
  return false;
}

bool CScnType::Matches(std::string_view key, const uint8_t* record, size_t length) const {
  if (length == 0 || record[0] != type) return false;
  if (!MatchesKey(key)) return false;
  if (!MatchesConditions(record, length)) return false;
  return this->length == 0 || this->length == length;
}

}  // namespace skyh
