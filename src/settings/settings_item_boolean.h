#pragma once
// A yes/no setting: 0 is "no", anything else "yes".
#include "settings/settings_item.h"

namespace skyh {

class CSettingsItemBoolean : public CSettingsItem {
 public:
  using CSettingsItem::CSettingsItem;

  void ReadFromRecord(std::span<const uint8_t> area) override;
  void WriteToRecord(std::span<uint8_t> area) const override;
  std::string GetValueText() const override;
  void SetDescription(const std::string& text) override;
  SetValueResult SetValueFromText(const std::string& text) override;

  int32_t value() const { return value_; }

 private:
  int32_t value_ = 0;
};

}  // namespace skyh
