#include "settings/settings_field.h"

#include <algorithm>
#include <cmath>

namespace skyh {

namespace {

// Where the value's bits start: whole bytes of the shift are skipped so a
// large shift never needs more than five bytes.
struct FieldPlace {
  size_t firstByte;
  int bitShift;
  size_t byteCount;
  uint64_t mask;  // value mask, not shifted
};

bool Locate(size_t areaSize, const ParameterDescriptor& d, FieldPlace& place) {
  if (!FieldFitsArea(d, areaSize)) return false;
  const int bits = ValueBits(d);
  place.firstByte = static_cast<size_t>(d.offset) + static_cast<size_t>(d.shift / 8);
  place.bitShift = d.shift % 8;
  place.byteCount = static_cast<size_t>((place.bitShift + bits + 7) / 8);
  place.mask = (uint64_t{1} << bits) - 1;
  return true;
}

}  // namespace

int ValueBits(const ParameterDescriptor& descriptor) { return std::clamp(descriptor.bits, 0, 32); }

size_t TextFieldSize(const ParameterDescriptor* descriptor, size_t areaSize) {
  if (!descriptor || !FieldFitsArea(*descriptor, areaSize)) return 0;
  return static_cast<size_t>((int64_t{descriptor->bits} + 7) / 8);
}

bool ReadRawField(std::span<const uint8_t> area, const ParameterDescriptor& descriptor, uint32_t& raw) {
  FieldPlace place;
  if (!Locate(area.size(), descriptor, place)) return false;
  uint64_t assembled = 0;
  for (size_t i = 0; i < place.byteCount; ++i) {
    assembled |= uint64_t{area[place.firstByte + i]} << (8 * i);
  }
  raw = static_cast<uint32_t>((assembled >> place.bitShift) & place.mask);
  return true;
}

bool WriteRawField(std::span<uint8_t> area, const ParameterDescriptor& descriptor, uint32_t raw) {
  FieldPlace place;
  if (!Locate(area.size(), descriptor, place)) return false;
  const uint64_t mask = place.mask << place.bitShift;
  const uint64_t bits = (uint64_t{raw} << place.bitShift) & mask;
  for (size_t i = 0; i < place.byteCount; ++i) {
    const auto byteMask = static_cast<uint8_t>(mask >> (8 * i));
    const auto byteBits = static_cast<uint8_t>(bits >> (8 * i));
    uint8_t& target = area[place.firstByte + i];
    target = static_cast<uint8_t>((target & ~byteMask) | byteBits);
  }
  return true;
}

int64_t SignedRawValue(const ParameterDescriptor& descriptor, uint32_t raw) {
  const int bits = ValueBits(descriptor);
  if (descriptor.min < 0 && bits > 0 && ((uint64_t{raw} >> (bits - 1)) & 1)) {
    return static_cast<int64_t>(raw) - (int64_t{1} << bits);
  }
  return raw;
}

int RawFitCode(const ParameterDescriptor& descriptor, int64_t raw) {
  const int bits = ValueBits(descriptor);
  if (bits <= 0) return raw < 0 ? 1 : (raw > 0 ? 2 : 0);
  int64_t low = 0;
  int64_t high = (int64_t{1} << bits) - 1;
  if (descriptor.min < 0) {
    low = -(int64_t{1} << (bits - 1));
    high = (int64_t{1} << (bits - 1)) - 1;
  }
  if (raw < low) return 1;
  if (raw > high) return 2;
  return 0;
}

double ScaleToDisplay(const ParameterDescriptor& descriptor, double raw) {
  double value = raw;
  if (descriptor.multiplier != 0) value *= descriptor.multiplier;
  if (descriptor.divisor != 0) value /= descriptor.divisor;
  return value;
}

int RawFromDisplay(const ParameterDescriptor& descriptor, double value, int64_t& raw) {
  double scaled = value;
  if (descriptor.divisor != 0) scaled *= descriptor.divisor;
  if (descriptor.multiplier != 0) scaled /= descriptor.multiplier;
  // Rounding, not truncation: 0.29 × 100 is 28.999... in binary.
  scaled = std::round(scaled) + descriptor.bias;
  // Anything beyond 2^40 cannot fit a 32-bit field; keeps the cast defined.
  constexpr double kLimit = 1099511627776.0;
  // A raw number the field cannot hold is refused as "too high" on either
  // side: the value itself passed its range, only the field is too narrow.
  if (std::isnan(scaled) || scaled < -kLimit || scaled > kLimit) return 2;
  const auto candidate = static_cast<int64_t>(scaled);
  if (RawFitCode(descriptor, candidate) != 0) return 2;
  raw = candidate;
  return 0;
}

}  // namespace skyh
