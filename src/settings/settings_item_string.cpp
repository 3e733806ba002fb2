#include "settings/settings_item_string.h"

#include <algorithm>
#include <cstring>

#include "core/format.h"
#include "settings/settings_field.h"

namespace skyh {

void CSettingsItemString::ReadFromRecord(std::span<const uint8_t> area) {
  const size_t count = TextFieldSize(descriptor_.get(), area.size());
  if (count == 0) return;
  const uint8_t* field = area.data() + descriptor_->offset;
  const uint8_t* end = std::find(field, field + count, uint8_t{0});
  value_.assign(reinterpret_cast<const char*>(field), static_cast<size_t>(end - field));
}

void CSettingsItemString::WriteToRecord(std::span<uint8_t> area) const {
  const size_t count = TextFieldSize(descriptor_.get(), area.size());
  if (count == 0) return;
  uint8_t* field = area.data() + descriptor_->offset;
  const size_t copied = std::min(count, value_.size());
  std::memcpy(field, value_.data(), copied);
  std::fill(field + copied, field + count, uint8_t{0});
}

void CSettingsItemString::SetDescription(const std::string& text) {
  if (!descriptor_) {
    description_ = text;
    return;
  }
  description_ = text + Sprintf(" [ %d characters max ]", descriptor_->max);
}

SetValueResult CSettingsItemString::SetValueFromText(const std::string& text) {
  if (!descriptor_) return SetValueResult::kInvalid;
  const auto length = static_cast<int64_t>(text.size());
  // Room for the terminating zero; and never more than the field holds.
  const int64_t fieldBytes = (int64_t{descriptor_->bits} + 7) / 8;
  if (length > int64_t{descriptor_->max} - 1 || length > fieldBytes) return SetValueResult::kTooHigh;
  value_ = text;
  return SetValueResult::kAccepted;
}

void CSettingsItemPassword::WriteToRecord(std::span<uint8_t> area) const {
  if (changed_) {
    CSettingsItemString::WriteToRecord(area);
    return;
  }
  const size_t count = TextFieldSize(descriptor_.get(), area.size());
  if (count == 0) return;
  uint8_t* field = area.data() + descriptor_->offset;
  std::fill(field, field + count - 1, uint8_t{0xFF});
  field[count - 1] = 0;
}

SetValueResult CSettingsItemPassword::SetValueFromText(const std::string& text) {
  if (text == kPlaceholder) return SetValueResult::kAccepted;
  const std::string before = value_;
  const SetValueResult result = CSettingsItemString::SetValueFromText(text);
  if (result == SetValueResult::kAccepted && value_ != before) changed_ = true;
  return result;
}

void CSettingsItemPassword::NoteEditedText(const std::string& text) {
  if (text != kPlaceholder) changed_ = true;
}

}  // namespace skyh
