#include "settings/settings_item_hex_string.h"

#include <vector>

#include "core/text_util.h"
#include "settings/settings_field.h"

namespace skyh {

void CSettingsItemHexString::ReadFromRecord(std::span<const uint8_t> area) {
  const size_t count = TextFieldSize(descriptor_.get(), area.size());
  if (count == 0) return;
  const auto bytes = area.subspan(static_cast<size_t>(descriptor_->offset), count);
  const std::vector<uint8_t> reversed(bytes.rbegin(), bytes.rend());
  value_ = BytesToHex(reversed.data(), reversed.size());
}

void CSettingsItemHexString::WriteToRecord(std::span<uint8_t> area) const {
  const size_t count = TextFieldSize(descriptor_.get(), area.size());
  if (count == 0) return;
  uint8_t* field = area.data() + descriptor_->offset;
  // The text is one number: digits missing on the left are zeros.
  auto digit = [this](int64_t position) { return position < 0 ? 0 : HexDigitValue(value_[position]); };
  const auto end = static_cast<int64_t>(value_.size());
  for (size_t i = 0; i < count; ++i) {
    const int64_t low = end - 1 - 2 * static_cast<int64_t>(i);
    field[i] = static_cast<uint8_t>(digit(low - 1) * 16 + digit(low));
  }
}

SetValueResult CSettingsItemHexString::SetValueFromText(const std::string& text) {
  if (ToLowerAscii(text).find_first_not_of("0123456789abcdef") != std::string::npos) return SetValueResult::kInvalid;
  if (!descriptor_) return SetValueResult::kInvalid;
  const auto length = static_cast<int64_t>(text.size());
  // More digits than the field holds would be cut off when written.
  const int64_t fieldDigits = 2 * ((int64_t{descriptor_->bits} + 7) / 8);
  if (length > descriptor_->max || length > fieldDigits) return SetValueResult::kTooHigh;
  value_ = ToUpperAscii(text);
  return SetValueResult::kAccepted;
}

}  // namespace skyh
