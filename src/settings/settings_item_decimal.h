#pragma once
// A scaled number: raw field minus bias, times multiplier, divided by divisor.
#include "settings/settings_item.h"

namespace skyh {

class CSettingsItemDecimal : public CSettingsItem {
 public:
  explicit CSettingsItemDecimal(std::unique_ptr<ParameterDescriptor> descriptor);

  void ReadFromRecord(std::span<const uint8_t> area) override;
  void WriteToRecord(std::span<uint8_t> area) const override;
  std::string GetValueText() const override;
  void SetDescription(const std::string& text) override;
  SetValueResult SetValueFromText(const std::string& text) override;

  double value() const { return value_; }
  double minimum() const { return minimum_; }
  double maximum() const { return maximum_; }
  double defaultValue() const { return defaultValue_; }

 private:
  std::string FormatNumber(double number) const;

  double value_ = 0;
  double minimum_ = 0;
  double maximum_ = 0;
  double defaultValue_ = 0;
};

// Digits printed after the point, whatever the file says.
inline constexpr int kMaxSettingDecimals = 15;

}  // namespace skyh
