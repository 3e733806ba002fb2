#pragma once
// One parameter line of a parameter file: where a setting lies in the
// settings area, how it is scaled and which item type shows it.
#include <cstdint>
#include <string>

namespace skyh {

struct ParameterDescriptor {
  std::string name;
  std::string key;
  int32_t offset = 0;
  int32_t bits = 0;
  int32_t shift = 0;
  int32_t min = 0;
  int32_t max = 0;
  int32_t default_ = 0;  // "default" is a keyword
  int32_t bias = 0;
  int32_t multiplier = 0;
  int32_t divisor = 0;
  int32_t decimals = 0;
  char type = 0;
};

// Bytes from `offset` that the field touches: ceil((shift + bits) / 8).
// 0 for a descriptor without a usable extent (bits <= 0 or shift < 0).
int64_t FieldByteCount(const ParameterDescriptor& descriptor);

// True when the descriptor is sane (offset >= 0, bits > 0, shift >= 0) and
// its whole field lies inside a settings area of `areaSize` bytes.
bool FieldFitsArea(const ParameterDescriptor& descriptor, size_t areaSize);

}  // namespace skyh
