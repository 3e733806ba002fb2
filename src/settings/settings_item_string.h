#pragma once
// Zero-terminated text settings, and the password, whose value is never shown.
#include "settings/settings_item.h"

namespace skyh {

class CSettingsItemString : public CSettingsItem {
 public:
  using CSettingsItem::CSettingsItem;

  void ReadFromRecord(std::span<const uint8_t> area) override;
  void WriteToRecord(std::span<uint8_t> area) const override;
  std::string GetValueText() const override { return value_; }
  void SetDescription(const std::string& text) override;
  SetValueResult SetValueFromText(const std::string& text) override;

  const std::string& value() const { return value_; }

 protected:
  std::string value_;
};

// Tells the control box to keep its password when an unchanged one is written.
class CSettingsItemPassword : public CSettingsItemString {
 public:
  using CSettingsItemString::CSettingsItemString;

  static constexpr const char* kPlaceholder = "*****";

  void WriteToRecord(std::span<uint8_t> area) const override;
  std::string GetValueText() const override { return kPlaceholder; }
  // The placeholder keeps the current password; any other accepted text that
  // differs from it marks the password changed.
  SetValueResult SetValueFromText(const std::string& text) override;
  void NoteEditedText(const std::string& text) override;
  std::string GetStoredText() const override { return value_; }

  bool changed() const { return changed_; }

 private:
  bool changed_ = false;
};

}  // namespace skyh
