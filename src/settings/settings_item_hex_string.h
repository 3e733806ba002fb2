#pragma once
// Bytes shown as one hexadecimal number, most significant (last) byte first.
#include "settings/settings_item.h"

namespace skyh {

class CSettingsItemHexString : public CSettingsItem {
 public:
  using CSettingsItem::CSettingsItem;

  void ReadFromRecord(std::span<const uint8_t> area) override;
  void WriteToRecord(std::span<uint8_t> area) const override;
  std::string GetValueText() const override { return value_; }
  void SetDescription(const std::string& text) override { description_ = text; }
  SetValueResult SetValueFromText(const std::string& text) override;

 private:
  std::string value_;
};

}  // namespace skyh
