#pragma once
// The numeric bit field of a decimal or boolean setting: little-endian bytes
// from `offset`, `bits` bits (at most 32 are used) starting `shift` bits in.
#include <cstdint>
#include <span>

#include "records/parameter_descriptor.h"

namespace skyh {

// Bits of the field that carry the value: `bits`, at most 32.
int ValueBits(const ParameterDescriptor& descriptor);

// Bytes of a text or hex field, ceil(bits / 8) from `offset`; 0 without a
// descriptor or when the field does not lie inside the area.
size_t TextFieldSize(const ParameterDescriptor* descriptor, size_t areaSize);

// False (raw untouched) when the field does not lie inside the area.
bool ReadRawField(std::span<const uint8_t> area, const ParameterDescriptor& descriptor, uint32_t& raw);

// Replaces only the field's bits; false (area untouched) when the field does
// not lie inside the area.
bool WriteRawField(std::span<uint8_t> area, const ParameterDescriptor& descriptor, uint32_t raw);

// The raw field read as a number: two's complement when the descriptor's
// `min` is negative, else unsigned.
int64_t SignedRawValue(const ParameterDescriptor& descriptor, uint32_t raw);

// Whether a raw number can be stored without turning into another value:
// 0 it fits, 1 below the field's range, 2 above it (signed range when `min`
// is negative).
int RawFitCode(const ParameterDescriptor& descriptor, int64_t raw);

// value × multiplier ÷ divisor, each factor only when it is not 0.
double ScaleToDisplay(const ParameterDescriptor& descriptor, double raw);

// The raw number for a displayed value: value × divisor ÷ multiplier (each
// only when not 0), rounded to the nearest integer, plus bias. Returns
// 0 with `raw` set, or 1 / 2 when the result is below / above the field's range.
int RawFromDisplay(const ParameterDescriptor& descriptor, double value, int64_t& raw);

}  // namespace skyh
