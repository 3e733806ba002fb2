#include "settings/settings_item_decimal.h"

#include <algorithm>
#include <charconv>
#include <cmath>

#include "core/format.h"
#include "settings/settings_field.h"

namespace skyh {

namespace {

bool OnlyNumberCharacters(const std::string& text) {
  return text.find_first_not_of("-0123456789.") == std::string::npos;
}

// atof-like: as far as it parses, 0 when nothing does. Locale-independent.
double ParseDecimal(const std::string& text) {
  double number = 0;
  const char* first = text.data();
  const char* last = first + text.size();
  const auto result = std::from_chars(first, last, number, std::chars_format::fixed);
  if (result.ec == std::errc::result_out_of_range) {
    // No exponent is allowed here, so out of range means a huge integer part
    // or a tiny fraction.
    const bool negative = !text.empty() && text[0] == '-';
    const std::string_view whole(text.data(), std::min(text.find('.'), text.size()));
    const bool huge = whole.find_first_of("123456789") != std::string_view::npos;
    const double magnitude = huge ? HUGE_VAL : 0.0;
    return negative ? -magnitude : magnitude;
  }
  if (result.ec != std::errc()) return 0;
  return number;
}

}  // namespace

CSettingsItemDecimal::CSettingsItemDecimal(std::unique_ptr<ParameterDescriptor> descriptor)
    : CSettingsItem(std::move(descriptor)) {
  if (descriptor_) {
    minimum_ = ScaleToDisplay(*descriptor_, descriptor_->min);
    maximum_ = ScaleToDisplay(*descriptor_, descriptor_->max);
    defaultValue_ = ScaleToDisplay(*descriptor_, descriptor_->default_);
  }
}

void CSettingsItemDecimal::ReadFromRecord(std::span<const uint8_t> area) {
  uint32_t raw = 0;
  if (!descriptor_ || !ReadRawField(area, *descriptor_, raw)) return;
  const int64_t number = SignedRawValue(*descriptor_, raw) - descriptor_->bias;
  value_ = ScaleToDisplay(*descriptor_, static_cast<double>(number));
}

void CSettingsItemDecimal::WriteToRecord(std::span<uint8_t> area) const {
  int64_t raw = 0;
  if (!descriptor_ || RawFromDisplay(*descriptor_, value_, raw) != 0) return;
  WriteRawField(area, *descriptor_, static_cast<uint32_t>(raw));
}

std::string CSettingsItemDecimal::FormatNumber(double number) const {
  const int decimals = descriptor_ ? std::clamp(descriptor_->decimals, 0, kMaxSettingDecimals) : 0;
  return Sprintf(Sprintf("%%.%dlf", decimals).c_str(), number);
}

std::string CSettingsItemDecimal::GetValueText() const { return FormatNumber(value_); }

void CSettingsItemDecimal::SetDescription(const std::string& text) {
  if (!descriptor_) {
    description_ = text;
    return;
  }
  description_ = text + " [" + FormatNumber(minimum_) + " : " + FormatNumber(maximum_) +
                 "]. Default: " + FormatNumber(defaultValue_);
}

SetValueResult CSettingsItemDecimal::SetValueFromText(const std::string& text) {
  if (!OnlyNumberCharacters(text)) return SetValueResult::kInvalid;
  const double number = ParseDecimal(text);
  if (number < minimum_) return SetValueResult::kTooLow;
  if (number > maximum_) return SetValueResult::kTooHigh;
  if (!descriptor_) return SetValueResult::kInvalid;
  // A raw number outside the field would be stored as another value.
  int64_t raw = 0;
  const int fit = RawFromDisplay(*descriptor_, number, raw);
  if (fit != 0) return fit == 1 ? SetValueResult::kTooLow : SetValueResult::kTooHigh;
  value_ = number;
  return SetValueResult::kAccepted;
}

}  // namespace skyh
