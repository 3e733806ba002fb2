#include "settings/settings_item_boolean.h"

#include <cmath>

#include "core/text_util.h"
#include "settings/settings_field.h"

namespace skyh {

namespace {

const char* YesNo(int64_t value) { return value != 0 ? "yes" : "no"; }

}  // namespace

void CSettingsItemBoolean::ReadFromRecord(std::span<const uint8_t> area) {
  uint32_t raw = 0;
  if (!descriptor_ || !ReadRawField(area, *descriptor_, raw)) return;
  const double scaled = std::trunc(ScaleToDisplay(*descriptor_, double(int64_t{raw} - descriptor_->bias)));
  value_ = scaled >= INT32_MAX ? INT32_MAX : scaled <= INT32_MIN ? INT32_MIN : static_cast<int32_t>(scaled);
}

void CSettingsItemBoolean::WriteToRecord(std::span<uint8_t> area) const {
  if (!descriptor_) return;
  int64_t raw = 0;
  if (RawFromDisplay(*descriptor_, value_, raw) != 0) {
    // Masking a "yes" that does not fit could store "no" (2 in one bit is 0):
    // store the plain "yes" instead; leave the field if even that cannot fit.
    if (value_ == 0 || RawFromDisplay(*descriptor_, 1, raw) != 0) return;
  }
  WriteRawField(area, *descriptor_, static_cast<uint32_t>(raw));
}

std::string CSettingsItemBoolean::GetValueText() const { return YesNo(value_); }

void CSettingsItemBoolean::SetDescription(const std::string& text) {
  if (!descriptor_) {
    description_ = text;
    return;
  }
  description_ = text + " [" + YesNo(descriptor_->min) + " : " + YesNo(descriptor_->max) +
                 "]. Default: " + YesNo(descriptor_->default_);
}

SetValueResult CSettingsItemBoolean::SetValueFromText(const std::string& text) {
  if (EqualsNoCase(text, "yes")) {
    value_ = 1;
  } else if (EqualsNoCase(text, "no")) {
    value_ = 0;
  } else {
    value_ = ParseNumberField(text);
  }
  return SetValueResult::kAccepted;
}

}  // namespace skyh
